// The tag grammar, header tags, labels and tie order of the lyric parser.
#include "Exceptions.h"
#include "LRCHandle.h"
#include "Streams.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

struct Line {
    std::int32_t time;
    std::string text;
    bool operator==(const Line&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Line& line)
{
    return out << "{" << line.time << ", \"" << line.text << "\"}";
}

std::vector<Line> LinesOf(const std::string& lrc)
{
    TLyricHandle doc;
    doc.SetText(lrc);
    std::vector<Line> lines;
    for (int i = 0; i < doc.Count(); ++i)
        lines.push_back({doc.GetItem(i).Time, doc.GetItem(i).Text});
    return lines;
}

}  // namespace

TEST(FormatTimeLabel, LeavesOutEmptyHourAndMinuteFields)
{
    const std::pair<std::int32_t, const char*> cases[] = {
        {0, "00.00"},           {5000, "05.00"},           {59990, "59.99"},
        {62030, "01:02.03"},    {3600000, "01:00:00.00"},  {3723450, "01:02:03.45"},
        {-1500, "-01.50"},      {2147483646, "596:31:23.64"}, {9, "00.00"},
        {999, "00.99"},         {-2147483647 - 1, "-596:31:23.64"}, {36000000, "10:00:00.00"},
    };
    for (const auto& [ms, label] : cases)
        EXPECT_EQ(FormatTimeLabel(ms), label) << ms;
}

TEST(Parse, TimeTagForms)
{
    const std::pair<const char*, std::int32_t> cases[] = {
        {"[01:02:03]xy", 3723000},   {"[1:2:3.4]x", 3723040},  {"[12]abc", 12000},
        {"[1:2.3]x", 62030},         {"[00:02.5]y", 2050},     {"[00:12.345]z", 12450},
        {"[100:00.00]w", 0},         {"[00:75]s", 75000},      {"[0.5x7]q", 570},
        {"[00 : 01 . 5]s", 1050},    {"[-1:05]n", -65000},
    };
    for (const auto& [lrc, ms] : cases) {
        const auto lines = LinesOf(lrc);
        ASSERT_EQ(lines.size(), 1u) << lrc;
        EXPECT_EQ(lines[0].time, ms) << lrc;
    }
    EXPECT_EQ(LinesOf("[0.5x7]q")[0].text, "q");
    // A header tag met while an unclosed fraction is still being read keeps the
    // time kind: it stores its value and also counts as a time tag with the text
    // collected so far, whose end stays where the last accepted tag left it.
    TLyricHandle doc;
    doc.SetText("[0.5-ti:abc]xyz");
    EXPECT_EQ(doc.Info().Title, "abc");
    EXPECT_EQ(LinesOf("[0.5-ti:abc]xyz"), (std::vector<Line>{{50, "[0.5-ti:abc]xyz"}}));
    EXPECT_EQ(LinesOf("[00:01]a[0.5-ti:abc]xyz"), (std::vector<Line>{{50, "a[0.5-ti:abc]xyz"}, {1000, "a"}}));
    EXPECT_EQ(LinesOf("[00 : 01 . 5]s")[0].text, "s");
}

TEST(Parse, RejectedTagsAndShortTexts)
{
    EXPECT_TRUE(LinesOf("").empty());
    EXPECT_TRUE(LinesOf("  [1]\r\n ").empty());      // 3 bytes after trimming
    EXPECT_TRUE(LinesOf("[ 00:01]t").empty());       // "[" then a blank is no tag
    EXPECT_TRUE(LinesOf("abc [1:2]").empty());       // only four bytes follow the "["
    EXPECT_TRUE(LinesOf("[00:01.00").empty());       // never closed
    EXPECT_TRUE(LinesOf("[aa:01.00]x").empty());
    EXPECT_TRUE(LinesOf("[00:01:02:03]x").empty());  // a third ":" is no separator
    EXPECT_TRUE(LinesOf("[00:01.x]x").empty());      // fraction without digits
    // A rejected tag's "[" search continues inside it.
    EXPECT_EQ(LinesOf("[00:0[00:01.00]x"), (std::vector<Line>{{1000, "x"}}));
    EXPECT_EQ(LinesOf("[1]234"), (std::vector<Line>{{1000, "234"}}));
    EXPECT_TRUE(LinesOf("[1]23").empty());  // five bytes must follow the "["
}

TEST(Parse, LinesGroupsAndSeparators)
{
    EXPECT_EQ(LinesOf("[00:01.00] [00:05.00]x"), (std::vector<Line>{{1000, ""}, {5000, "x"}}));
    EXPECT_EQ(LinesOf("[00:01.00]a[00:02.00]b[00:03.00]c"),
              (std::vector<Line>{{1000, "a"}, {2000, "b"}, {3000, "c"}}));
    EXPECT_EQ(LinesOf("[00:01.00]L1\nuntagged\n[00:02.00]L2"),
              (std::vector<Line>{{1000, "L1\nuntagged"}, {2000, "L2"}}));
    EXPECT_EQ(LinesOf("[00:01.00]L1\r\nuntagged\r\n[00:02.00]L2"),
              (std::vector<Line>{{1000, "L1"}, {2000, "L2"}}));
    EXPECT_EQ(LinesOf("text before\r\n[00:01.00]a"), (std::vector<Line>{{1000, "a"}}));
    // A CR ends the text also when the next tag is far away; the rest is dropped.
    EXPECT_EQ(LinesOf("[00:01.00]a\rjunk[00:02.00]b"), (std::vector<Line>{{1000, "a"}, {2000, "b"}}));
    // Repeated tags share the text, pending in their own order.
    EXPECT_EQ(LinesOf("[00:09.50][00:05.00]Two"), (std::vector<Line>{{5000, "Two"}, {9500, "Two"}}));
    // Bytes of 128 and above are blanks for the grammar but stay inside texts.
    EXPECT_EQ(LinesOf("[00:01.00]\xc4\xe3\xba\xc3 \xca\xc0\xbd\xe7"),
              (std::vector<Line>{{1000, "\xc4\xe3\xba\xc3 \xca\xc0\xbd\xe7"}}));
}

TEST(Parse, HeaderTags)
{
    TLyricHandle doc;
    doc.SetText("[al:Qerimo]\r\n[ar:Marevo]\r\n[ti:Song]\r\n[by:Tavrelo]\r\n[00:01.20]first\r\n[00:05.00]second\r\n");
    const TLRCInfo info = doc.Info();
    EXPECT_EQ(info.Album, "Qerimo");
    EXPECT_EQ(info.Artist, "Marevo");
    EXPECT_EQ(info.Title, "Song");
    EXPECT_EQ(info.By, "Tavrelo");
    ASSERT_EQ(doc.Count(), 2);
    EXPECT_EQ(doc.GetItem(0), (TLyricItem{"first", "01.20", 1200, 4999, lvDefault}));
    EXPECT_EQ(doc.GetItem(1), (TLyricItem{"second", "05.00", 5000, 2147483646, lvDefault}));

    doc.SetText("[TI:Song][Offset:+500]");
    EXPECT_EQ(doc.Info().Title, "Song");
    EXPECT_EQ(doc.Info().Offset, 500);
    EXPECT_EQ(doc.Count(), 0);

    doc.SetText("[title:x]   ");
    EXPECT_EQ(doc.Info(), TLRCInfo{});

    doc.SetText("[ti:abc\r\n[00:01.00]x");
    EXPECT_EQ(doc.Info().Title, "abc");
    EXPECT_EQ(LinesOf("[ti:abc\r\n[00:01.00]x"), (std::vector<Line>{{1000, "x"}}));

    doc.SetText("[00:01.00]hello [ar:x] world\r\n[00:02.00]y");
    EXPECT_EQ(doc.Info().Artist, "x");
    EXPECT_EQ(LinesOf("[00:01.00]hello [ar:x] world\r\n[00:02.00]y"),
              (std::vector<Line>{{1000, "hello"}, {2000, "y"}}));

    doc.SetText("[ti:first][ti:  second  ][la:][ar : spaced]");
    EXPECT_EQ(doc.Info().Title, "second");  // the last one wins, trimmed
    EXPECT_EQ(doc.Info().La, "");
    EXPECT_EQ(doc.Info().Artist, "spaced");
}

TEST(Parse, OffsetValues)
{
    const std::pair<const char*, std::int32_t> cases[] = {
        {"[offset:-250]", -250},     {"[offset:$1F]", 31},        {"[offset:0x10]", 16},
        {"[offset:X10]", 16},        {"[offset:-0x10]", -16},     {"[offset:abc]", 0},
        {"[offset:12a]", 0},         {"[offset:2147483647]", 2147483647},
        {"[offset:-2147483648]", -2147483647 - 1},                {"[offset:2147483648]", 0},
        {"[offset:]", 0},            {"[offset:+]", 0},           {"[offset:1 2]", 0},
    };
    for (const auto& [lrc, offset] : cases) {
        TLyricHandle doc;
        doc.SetText(lrc);
        EXPECT_EQ(doc.Info().Offset, offset) << lrc;
    }
    TLyricHandle doc;
    doc.SetText("[offset:300][offset:bad]");  // an unreadable value keeps the last one
    EXPECT_EQ(doc.Info().Offset, 300);
}

TEST(Parse, EndTimesAndTieOrder)
{
    TLyricHandle doc;
    doc.SetText("[ti:Song]\r\n[ar:Singer]\r\n[00:01.00]Line one\r\n[00:05.00][00:09.50]Line two\r\n[00:12.00]");
    ASSERT_EQ(doc.Count(), 4);
    EXPECT_EQ(doc.GetItem(0), (TLyricItem{"Line one", "01.00", 1000, 4999, lvDefault}));
    EXPECT_EQ(doc.GetItem(1), (TLyricItem{"Line two", "05.00", 5000, 9499, lvDefault}));
    EXPECT_EQ(doc.GetItem(2), (TLyricItem{"Line two", "09.50", 9500, 11999, lvDefault}));
    EXPECT_EQ(doc.GetItem(3), (TLyricItem{"", "12.00", 12000, 2147483646, lvDefault}));

    EXPECT_EQ(LinesOf("[-00:01.00]neg\r\n[00:00.50]a"), (std::vector<Line>{{-1000, "neg"}, {500, "a"}}));
    EXPECT_EQ(LinesOf("[00:01.00]a\r\n[00:01.00]b"), (std::vector<Line>{{1000, "b"}, {1000, "a"}}));
    doc.SetText("[00:01.00]a\r\n[00:01.00]b");
    EXPECT_EQ(doc.GetItem(0).EndTime, 999);  // an empty span
    EXPECT_EQ(doc.GetItem(1).EndTime, 2147483646);

    // The quicksort's tie order, alone and among other lines.
    auto texts = [](const std::string& lrc) {
        std::string order;
        for (const Line& line : LinesOf(lrc))
            order += line.text;
        return order;
    };
    EXPECT_EQ(texts("[00:01]a\r\n[00:01]b\r\n[00:01]c"), "cba");
    EXPECT_EQ(texts("[00:01]a\r\n[00:01]b\r\n[00:01]c\r\n[00:01]d"), "cdab");
    EXPECT_EQ(texts("[00:00]x\r\n[00:01]a\r\n[00:01]b\r\n[00:02]y"), "xbay");
    EXPECT_EQ(texts("[00:05]e\r\n[00:04]d\r\n[00:03]c\r\n[00:02]b\r\n[00:01]a"), "abcde");
    EXPECT_EQ(texts("[00:03]c\r\n[00:01]a\r\n[00:02]b\r\n[00:01]A\r\n[00:03]C"), "aAbCc");
}

TEST(Parse, LoadFromStreamReadsTheRestOfTheStream)
{
    TMemoryStream stream("garbage[00:01.00]ignored\r\n[00:02.00]kept");
    stream.SetPosition(26);
    TLyricHandle doc;
    doc.SetText("[ti:old][00:09.00]old");
    doc.SetShowAll(false);
    doc.LoadFromStream(stream);
    EXPECT_EQ(doc.Count(), 1);
    EXPECT_EQ(doc.GetItem(0).Text, "kept");
    EXPECT_EQ(doc.Info().Title, "");    // a new load starts from an empty header
    EXPECT_FALSE(doc.ShowAll());        // but keeps ShowAll
}

TEST(Storage, IndexErrorsAndExactCopies)
{
    TLyricHandle doc;
    const TLyricItem raw{"  padded  ", "label", 7, 3, lvShown};
    doc.Add(raw);
    EXPECT_EQ(doc.GetItem(0), raw);  // Add stores exactly what it is given
    doc.Insert(0, TLyricItem{"first", "", 1, 2, lvDefault});
    doc.Insert(2, TLyricItem{"last", "", 9, 9, lvDefault});
    EXPECT_EQ(doc.Count(), 3);
    EXPECT_THROW(doc.Insert(4, raw), EListError);
    EXPECT_THROW(doc.Insert(-1, raw), EListError);
    EXPECT_THROW(doc.GetItem(3), EListError);
    EXPECT_THROW(doc.SetItem(3, raw), EListError);
    EXPECT_THROW(doc.Delete(-1), EListError);
    try {
        doc.GetItem(5);
    } catch (const EListError& error) {
        EXPECT_STREQ(error.what(), "List index out of bounds (5)");
    }
    EXPECT_EQ(doc.Count(), 3);

    doc.SetItem(1, raw);  // trims the text and sets the label from the time
    EXPECT_EQ(doc.GetItem(1), (TLyricItem{"padded", "00.00", 7, 3, lvShown}));
    doc.Delete(0);
    EXPECT_EQ(doc.GetItem(0).Text, "padded");
    doc.Clear();
    EXPECT_EQ(doc.Count(), 0);
}
