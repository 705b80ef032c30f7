// Placement of glyph and caption inside a button's client rectangle.
#include "FR_Ctrls.h"

#include <gtest/gtest.h>

namespace {

const QSize NoGlyph(0, 0);
const QSize NoText(0, 0);

TEST(ButtonLayout, CaptionOnlyIsCentredInTheRaisedPaintRect) {
    // The insert-label button: client (1, 1, 119, 23), no glyph, so spacing drops to 0.
    const auto R = CalcButtonLayout({1, 1, 119, 23}, NoGlyph, QSize(50, 14), blGlyphLeft, -1, 4);
    EXPECT_EQ(R.TextBounds, (TRect{1 + (118 - 50 + 1) / 2, 1 + (22 - 14 + 1) / 2, 1 + 34 + 50, 5 + 14}));
    EXPECT_EQ(R.TextBounds.Left, 35);
    EXPECT_EQ(R.TextBounds.Top, 5);
}

TEST(ButtonLayout, HorizontalMarginAndSpacingRules) {
    const TRect C{0, 0, 100, 30};
    const QSize G(16, 16), T(30, 14);

    // Automatic margin, fixed spacing: the pair is centred.
    auto R = CalcButtonLayout(C, G, T, blGlyphLeft, -1, 4);
    EXPECT_EQ(R.GlyphPos, QPoint(25, 7));
    EXPECT_EQ(R.TextBounds, (TRect{45, 8, 75, 22}));

    // Both automatic: margin and spacing share the free space in thirds.
    R = CalcButtonLayout(C, G, T, blGlyphLeft, -1, -1);
    EXPECT_EQ(R.GlyphPos.x(), 18);
    EXPECT_EQ(R.TextBounds.Left, 18 + 16 + 18);

    // Fixed margin, automatic spacing: the text is centred in what is left.
    R = CalcButtonLayout(C, G, T, blGlyphLeft, 5, -1);
    EXPECT_EQ(R.GlyphPos.x(), 5);
    EXPECT_EQ(R.TextBounds.Left, 5 + 16 + (100 - 5 - 16 - 30) / 2);

    // Glyph on the right: measured from the right edge, text before it.
    R = CalcButtonLayout(C, G, T, blGlyphRight, 5, 4);
    EXPECT_EQ(R.GlyphPos.x(), 100 - 5 - 16);
    EXPECT_EQ(R.TextBounds.Left, 79 - 4 - 30);
}

TEST(ButtonLayout, VerticalLayoutsWorkAlongY) {
    const TRect C{0, 0, 60, 60};
    const QSize G(16, 16), T(30, 14);
    auto R = CalcButtonLayout(C, G, T, blGlyphTop, -1, 4);
    EXPECT_EQ(R.GlyphPos, QPoint((60 - 16 + 1) / 2, 13));
    EXPECT_EQ(R.TextBounds, (TRect{15, 33, 45, 47}));

    R = CalcButtonLayout(C, G, T, blGlyphBottom, -1, 4);
    EXPECT_EQ(R.GlyphPos, QPoint(22, 60 - 13 - 16));
    EXPECT_EQ(R.TextBounds.Top, 31 - 4 - 14);
}

TEST(ButtonLayout, ClientOffsetMovesBothParts) {
    const auto A = CalcButtonLayout({0, 0, 50, 20}, QSize(8, 8), QSize(10, 10), blGlyphLeft, 2, 3);
    const auto B = CalcButtonLayout({7, 9, 57, 29}, QSize(8, 8), QSize(10, 10), blGlyphLeft, 2, 3);
    EXPECT_EQ(B.GlyphPos, A.GlyphPos + QPoint(7, 9));
    EXPECT_EQ(B.TextBounds.Left, A.TextBounds.Left + 7);
    EXPECT_EQ(B.TextBounds.Top, A.TextBounds.Top + 9);
}

TEST(ButtonLayout, DivisionsTruncateTowardZeroWhenContentOverflows) {
    // Text wider than the client: (20 - 30 + 1) / 2 is -4, not -5.
    const auto R = CalcButtonLayout({0, 0, 20, 10}, NoGlyph, QSize(30, 12), blGlyphLeft, -1, 4);
    EXPECT_EQ(R.TextBounds.Left, -4);
    EXPECT_EQ(R.TextBounds.Top, (10 - 12 + 1) / 2);
    EXPECT_EQ(R.TextBounds.Top, 0);
}

TEST(ButtonLayout, GlyphOnlyHasNoSpacing) {
    const auto R = CalcButtonLayout({0, 0, 40, 40}, QSize(16, 16), NoText, blGlyphLeft, -1, 10);
    EXPECT_EQ(R.GlyphPos, QPoint((40 - 16 + 1) / 2, (40 - 16 + 1) / 2));
}

}  // namespace
