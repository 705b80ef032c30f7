// Rendering back to LRC text, saving and cutting out a time range.
#include "Exceptions.h"
#include "LRCHandle.h"
#include "ReferenceLyrics.h"
#include "Streams.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {
TLRCInfo TitleOnly(const std::string& title)
{
    TLRCInfo info;
    info.Title = title;
    return info;
}
}  // namespace

TEST(Output, HeaderText)
{
    TLyricHandle doc;
    doc.SetInfo([] { TLRCInfo info; info.Offset = -250; return info; }());
    EXPECT_EQ(doc.GetHeaderText(), "[Offset:-250]");
    doc.SetInfo(TLRCInfo{"  Song ", "me", "zh", "Singer", "Album", 5});
    EXPECT_EQ(doc.GetHeaderText(), "[La:zh]\r\n[Ti:Song]\r\n[Al:Album]\r\n[Ar:Singer]\r\n[By:me]\r\n[Offset:5]");
    EXPECT_EQ(doc.Info().Title, "Song");  // trimmed in place
    doc.SetInfo(TitleOnly("T"));
    EXPECT_EQ(doc.GetHeaderText(), "[Ti:T]");
}

TEST(Output, GetTextGroupsEqualTextsAndLeavesTheDocumentAlone)
{
    TLyricHandle doc;
    doc.SetInfo(TitleOnly("Song"));
    EXPECT_EQ(doc.GetText(), "");  // no lines, no header either

    doc.SetText("[ti:Song]\r\n[ar:Singer]\r\n[00:01.00]Line one\r\n[00:05.00][00:09.50]Line two\r\n[00:12.00]");
    EXPECT_EQ(doc.GetText(),
              "[Ti:Song]\r\n[Ar:Singer]\r\n[01.00]Line one\r\n[05.00][09.50]Line two\r\n[12.00]\r\n");

    doc.SetText("[00:01.00]la\r\n[00:02.00]x\r\n[00:03.00]la");
    EXPECT_EQ(doc.GetText(), "\r\n[01.00][03.00]la\r\n[02.00]x\r\n");

    // Out-of-order lines: rendered in time order, the list itself untouched.
    TLyricHandle loose;
    loose.SetInfo(TitleOnly("  padded  "));
    loose.Add(TLyricItem{"b", "02.00", 2000, 0, lvDefault});
    loose.Add(TLyricItem{"a", "01.00", 1000, 0, lvDefault});
    loose.Add(TLyricItem{"b", "00.50", 500, 0, lvDefault});
    loose.Add(TLyricItem{"B", "03.00", 3000, 0, lvDefault});
    EXPECT_EQ(loose.GetText(), "[Ti:padded]\r\n[00.50][02.00]b\r\n[01.00]a\r\n[03.00]B\r\n");
    EXPECT_EQ(loose.GetItem(0).Text, "b");
    EXPECT_EQ(loose.GetItem(0).Time, 2000);
    EXPECT_EQ(loose.Info().Title, "  padded  ");

    // The text reads back to the same lines.
    doc.SetText("[ti:t][00:01.00]a\r\n[01:02.03]b\r\n[01:00:00.00]c\r\n[-00:01.00]d\r\n[00:03.00]a");
    TLyricHandle again;
    again.SetText(doc.GetText());
    ASSERT_EQ(again.Count(), doc.Count());
    for (int i = 0; i < doc.Count(); ++i)
        EXPECT_EQ(again.GetItem(i), doc.GetItem(i));
}

TEST(Output, GetTextMatchesTheLiteralRendering)
{
    std::mt19937 random(11);
    const char* const texts[] = {"la", "x", "", "La", "chorus", "la "};
    for (int round = 0; round < 200; ++round) {
        TLyricHandle doc;
        TLRCInfo info;
        info.Artist = round % 3 ? "someone" : "";
        info.Offset = round % 4 - 2;
        doc.SetInfo(info);
        const int count = static_cast<int>(random() % 30);
        for (int i = 0; i < count; ++i) {
            const std::int32_t t = static_cast<std::int32_t>(random() % 20) * 500 - 1000;
            doc.Add(TLyricItem{texts[random() % 6], FormatTimeLabel(t), t, 0, lvDefault});
        }
        const std::string header = doc.GetHeaderText();
        ASSERT_EQ(doc.GetText(), reference::GetText(header, reference::LinesOf(doc))) << "round " << round;
    }
}

TEST(Output, SortByTimeIsStable)
{
    TLyricHandle doc;
    for (const auto& [t, text] : std::vector<std::pair<int, std::string>>{{3, "c"}, {1, "a1"}, {2, "b"}, {1, "a2"}})
        doc.Add(TLyricItem{text, "", t, 0, lvDefault});
    doc.SortByTime();
    std::string order;
    for (int i = 0; i < doc.Count(); ++i)
        order += doc.GetItem(i).Text + " ";
    EXPECT_EQ(order, "a1 a2 b c ");
}

class InTempDir : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("qlrc-lyrics-" + std::to_string(getpid()));
        fs::create_directories(dir);
        previous = fs::current_path();
        fs::current_path(dir);
    }
    void TearDown() override
    {
        fs::current_path(previous);
        fs::permissions(dir, fs::perms::owner_all);
        fs::remove_all(dir);
    }
    fs::path dir;
    fs::path previous;
};

TEST_F(InTempDir, SaveToFileAndStream)
{
    TLyricHandle doc;
    doc.SetText("[ti:x][00:01.00]a");
    doc.SaveToFile("out.lrc");
    EXPECT_EQ(ReadFileBytes("out.lrc"), doc.GetText());

    TMemoryStream stream("prefix");
    stream.SetPosition(6);
    doc.SaveToStream(stream);
    EXPECT_EQ(stream.Bytes(), "prefix" + doc.GetText());

    try {
        doc.SaveToFile("missing/out.lrc");
        FAIL() << "saved into a folder that does not exist";
    } catch (const EFCreateError& error) {
        EXPECT_STREQ(error.what(), "Cannot create file \"missing/out.lrc\". No such file or directory");
    }
}

TEST_F(InTempDir, ExtractSegment)
{
    TLyricHandle doc;
    doc.SetText("[ti:Doc][00:01.00]a\r\n[00:05.00]b\r\n[00:10.00]c");
    const TLRCInfo header = TitleOnly("Clip");

    auto stream = doc.ExtractSegment(1000, 4998, header);
    EXPECT_EQ(stream->Bytes(), "[Ti:Clip]\r\n[00:00.00]a\r\n");
    EXPECT_EQ(stream->Position(), stream->Size());
    EXPECT_EQ(ReadFileBytes("kkk.lrc"), stream->Bytes());  // the scratch copy

    EXPECT_EQ(doc.ExtractSegment(2000, 7000, TLRCInfo{})->Bytes(), "\r\n[00:00.00]a\r\n[00:03.00]b\r\n");
    // A line that ended before the start is not carried in.
    doc.SetText("[00:01.00]a\r\n[00:01.50]\r\n[00:05.00]b");
    EXPECT_EQ(doc.ExtractSegment(2000, 7000, TLRCInfo{})->Bytes(), "\r\n[00:00.00]\r\n[00:03.00]b\r\n");
    // Labels keep minutes within the hour and truncated hundredths.
    doc.SetText("[00:00.00]s\r\n[01:01:02.37]late");
    EXPECT_EQ(doc.ExtractSegment(0, 2147483647, TLRCInfo{})->Bytes(), "\r\n[00:00.00]s\r\n[01:02.37]late\r\n");
    // Nothing inside the range: header only.
    EXPECT_EQ(doc.ExtractSegment(-5000, -1000, header)->Bytes(), "");

    // Extreme ranges must not overflow.
    doc.SetText("[00:01.00]a");
    EXPECT_NO_THROW(doc.ExtractSegment(-2147483647 - 1, 2147483647, TLRCInfo{}));

    fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec);
    if (access(".", W_OK) != 0) {  // root writes anywhere; the check means nothing then
        EXPECT_THROW(doc.ExtractSegment(0, 5000, header), EFCreateError);
    }
}
