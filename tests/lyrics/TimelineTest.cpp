// Position lookups and display overrides, with and without the time order that
// lets the document search by halves.
#include "LRCHandle.h"

#include <gtest/gtest.h>

#include <random>

namespace {

TLyricHandle& Doc(TLyricHandle& doc, const std::string& lrc)
{
    doc.SetText(lrc);
    return doc;
}

}  // namespace

TEST(Timeline, EmptyDocument)
{
    TLyricHandle doc;
    EXPECT_FALSE(doc.HasLines());
    EXPECT_EQ(doc.LineStartAt(0), 0);
    EXPECT_EQ(doc.LineEndAt(0), 2147483647);
    EXPECT_EQ(doc.LineTextAt(0), "");
    EXPECT_FALSE(doc.IsLineShownAt(0));
    doc.SetLineShownAt(0, true);  // nothing to change, no failure
}

TEST(Timeline, SpanAndCurrentLineSearches)
{
    TLyricHandle doc;
    Doc(doc, "[00:01.00]a\r\n[00:05.00]b");
    EXPECT_TRUE(doc.HasLines());
    EXPECT_EQ(doc.LineStartAt(999), 0);
    EXPECT_EQ(doc.LineEndAt(999), 2147483647);
    EXPECT_EQ(doc.LineStartAt(1000), 1000);
    EXPECT_EQ(doc.LineEndAt(1000), 4999);
    EXPECT_EQ(doc.LineStartAt(4999), 1000);
    EXPECT_EQ(doc.LineEndAt(5000), 2147483646);
    EXPECT_EQ(doc.LineEndAt(2147483647), 2147483647);  // after the last line's end
    EXPECT_EQ(doc.LineTextAt(999), "");
    EXPECT_EQ(doc.LineTextAt(4999), "a");
    EXPECT_EQ(doc.LineTextAt(100000), "b");
    EXPECT_EQ(doc.LineTextAt(-2147483647 - 1), "");

    // Equal times: the span search skips the empty span, the current-line
    // search takes the last line walked.
    Doc(doc, "[00:01.00]a\r\n[00:01.00]b");
    EXPECT_EQ(doc.LineTextAt(1000), "a");
    EXPECT_EQ(doc.LineStartAt(1000), 1000);
    EXPECT_EQ(doc.LineEndAt(1000), 2147483646);
}

TEST(Timeline, VisibilityOverrides)
{
    TLyricHandle doc;
    Doc(doc, "[00:01.00]a\r\n[00:02.00]b");
    doc.SetShowAll(false);
    EXPECT_EQ(doc.LineTextAt(1000), "");
    EXPECT_FALSE(doc.IsLineShownAt(1000));
    doc.SetLineShownAt(1000, true);
    EXPECT_EQ(doc.LineTextAt(1000), "a");
    EXPECT_TRUE(doc.IsLineShownAt(1500));
    EXPECT_EQ(doc.GetItem(0).Visibility, lvShown);
    EXPECT_EQ(doc.LineTextAt(2000), "");

    doc.SetShowAll(true);
    doc.SetLineShownAt(1000, false);
    EXPECT_EQ(doc.LineTextAt(1000), "");
    EXPECT_EQ(doc.LineTextAt(2000), "b");
    doc.SetShowAll(true);  // every override is gone
    EXPECT_EQ(doc.LineTextAt(1000), "a");
    EXPECT_EQ(doc.GetItem(0).Visibility, lvDefault);

    doc.SetShowAll(false);
    doc.SetText("[00:01.00]c");  // a new text keeps ShowAll, drops overrides
    EXPECT_FALSE(doc.ShowAll());
    EXPECT_EQ(doc.LineTextAt(1000), "");
}

// Lines added out of order, or with end times that do not follow the times,
// must be searched exactly as the plain walk from the first line does.
TEST(Timeline, MatchesThePlainWalkOnAnyLines)
{
    std::mt19937 random(7);
    for (int round = 0; round < 300; ++round) {
        TLyricHandle doc;
        const int count = 1 + static_cast<int>(random() % 12);
        const bool ordered = round % 3 != 0;
        std::int32_t t = -50;
        for (int i = 0; i < count; ++i) {
            t = ordered ? t + static_cast<std::int32_t>(random() % 40) : static_cast<std::int32_t>(random() % 400) - 50;
            const std::int32_t end = round % 2 ? t + static_cast<std::int32_t>(random() % 100) - 20 : t + 30;
            doc.Add(TLyricItem{"l" + std::to_string(i), "", t, end, lvDefault});
        }
        if (round % 5 == 0 && doc.Count() > 1)
            doc.Delete(static_cast<int>(random() % static_cast<unsigned>(doc.Count())));
        if (round % 7 == 0)
            doc.SetItem(0, TLyricItem{"moved", "", static_cast<std::int32_t>(random() % 300), 10, lvDefault});

        for (std::int32_t pos = -80; pos < 520; pos += 3) {
            std::int32_t start = 0;
            std::int32_t stop = 2147483647;
            for (int i = 0; i < doc.Count(); ++i) {
                const TLyricItem line = doc.GetItem(i);
                if (line.Time <= pos && pos <= line.EndTime) {
                    start = line.Time;
                    stop = line.EndTime;
                    break;
                }
            }
            std::string text;
            for (int i = 0; i < doc.Count() && doc.GetItem(i).Time <= pos; ++i)
                text = doc.GetItem(i).Text;
            ASSERT_EQ(doc.LineStartAt(pos), start) << "round " << round << " pos " << pos;
            ASSERT_EQ(doc.LineEndAt(pos), stop) << "round " << round << " pos " << pos;
            ASSERT_EQ(doc.LineTextAt(pos), text) << "round " << round << " pos " << pos;
        }
    }
}
