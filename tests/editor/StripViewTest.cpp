// The waveform strip's geometry, cursor and auto-scroll rule.
#include "StripView.h"

#include <gtest/gtest.h>

#include <QImage>

TEST(StripView, WidthAndColumns)
{
    EXPECT_EQ(StripWidth(240000, 50, 965), 4800);
    EXPECT_EQ(StripWidth(240000, 20, 965), 12000);
    EXPECT_EQ(StripWidth(10000, 50, 965), 965);  // raised to the view's width
    EXPECT_EQ(StripWidth(0, 50, 965), 965);
    // A ten-hour file at 20 ms would want 1800000 columns: capped, so the bitmaps fit.
    EXPECT_EQ(StripWidth(36000000, 20, 965), kMaxStripWidth);
    EXPECT_EQ(StripWidth(36000000, 0, 965), 965);
    EXPECT_EQ(CursorColumn(441000, 8820), 50);
    EXPECT_EQ(CursorColumn(882000, 8820), 100);
    EXPECT_EQ(CursorColumn(123456, 0), 0);  // no strip scale yet
    EXPECT_EQ(CursorCaption(2500), "0:02");
    EXPECT_EQ(CursorCaption(187000), "3:07");
    EXPECT_EQ(CursorCaption(4503000), "75:03");
    EXPECT_EQ(CaptionLeft(100, 965), 102);
    EXPECT_EQ(CaptionLeft(945, 965), 947);
    EXPECT_EQ(CaptionLeft(946, 965), 908);
    EXPECT_EQ(CaptionLeft(3000, 965), 2962);
}

TEST(StripView, AutoScrollTurnsPageByPage)
{
    EXPECT_EQ(AutoScrollTarget(964, 0, 965), std::nullopt);
    EXPECT_EQ(AutoScrollTarget(965, 0, 965), 965);
    EXPECT_EQ(AutoScrollTarget(1500, 965, 965), std::nullopt);
    EXPECT_EQ(AutoScrollTarget(100, 965, 965), 100);   // a seek back
    EXPECT_EQ(AutoScrollTarget(965, 965, 965), 965);   // at the left edge itself
}

TEST(StripView, CursorLineAndCaption)
{
    QImage strip(1200, 113, QImage::Format_RGB32);
    strip.fill(Qt::black);
    DrawPlayCursor(strip, 50, CursorCaption(2500), 0, Qt::white, 965, 600);
    for (int y = 0; y < 113; ++y)
        ASSERT_EQ(strip.pixel(50, y), qRgb(255, 255, 255)) << y;
    EXPECT_EQ(strip.pixel(49, 60), qRgb(0, 0, 0));
    // The caption sits right of the line near the top.
    int captionPixels = 0;
    for (int x = 52; x < 90; ++x)
        for (int y = 0; y < 20; ++y)
            captionPixels += strip.pixel(x, y) != qRgb(0, 0, 0);
    EXPECT_GT(captionPixels, 10);
    int leftOfLine = 0;
    for (int x = 10; x < 49; ++x)
        for (int y = 0; y < 20; ++y)
            leftOfLine += strip.pixel(x, y) != qRgb(0, 0, 0);
    EXPECT_EQ(leftOfLine, 0);
}
