// lrctool sentences and clip, run as a user runs them on files written here, the
// clips read back by soxi.
#include "ControllerFixture.h"

#include <QTemporaryDir>

#include <cstdio>
#include <string>


namespace controller_test {
namespace {

struct TRunResult {
    int Status = -1;
    std::string Output;  // standard output and error together
};

TRunResult RunTool(const std::string& arguments)
{
    TRunResult result;
    std::FILE* pipe = ::popen((std::string("'") + QLRC_LRCTOOL + "' " + arguments + " 2>&1").c_str(), "r");
    if (pipe == nullptr)
        return result;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        result.Output.append(buffer, n);
    const int status = ::pclose(pipe);
    result.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::string Soxi(const std::string& option, const std::string& path)
{
    std::string out;
    std::FILE* pipe = ::popen(("soxi " + option + " '" + path + "' 2>&1").c_str(), "r");
    if (pipe == nullptr)
        return out;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr)
        out += buffer;
    static_cast<void>(::pclose(pipe));
    return out;
}

class ControllerTool : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(FDir.isValid());
        qlrc::audio::test::WriteAll(Path("audio.wav"), Phrases(5));
        const std::string lrc = kThreeLines;
        qlrc::audio::test::WriteAll(Path("audio.lrc"), Bytes(lrc.begin(), lrc.end()));
    }
    std::string Path(const char* name) const { return FDir.filePath(name).toStdString(); }
    std::string Quoted(const char* name) const { return "'" + Path(name) + "'"; }

    QTemporaryDir FDir;
};

TEST_F(ControllerTool, SentencesPrintsTheScannedStarts)
{
    const TRunResult json = RunTool("sentences " + Quoted("audio.wav"));
    EXPECT_EQ(json.Status, 0) << json.Output;
    EXPECT_EQ(json.Output, "{\"lines\":[{\"time\":400,\"end\":6399},{\"time\":6400,\"end\":12399},"
                           "{\"time\":12400,\"end\":2147483646}]}\n");

    const TRunResult lrc = RunTool("sentences --lrc " + Quoted("audio.wav"));
    EXPECT_EQ(lrc.Status, 0) << lrc.Output;
    EXPECT_EQ(lrc.Output, "[00:00.40]\r\n[00:06.40]\r\n[00:12.40]\r\n");

    const TRunResult notAudio = RunTool("sentences " + Quoted("audio.lrc"));
    EXPECT_EQ(notAudio.Status, 1);
    EXPECT_NE(notAudio.Output.find("not audio"), std::string::npos) << notAudio.Output;
    EXPECT_EQ(RunTool("sentences").Status, 2);
}

TEST_F(ControllerTool, ClipCutsASentenceOrASectionThatSoxReadsBack)
{
    const TRunResult at = RunTool("clip " + Quoted("audio.wav") + " " + Quoted("audio.lrc") + " --at 3500 -o " +
                                  Quoted("at.wav") + " --lrc " + Quoted("at.lrc"));
    ASSERT_EQ(at.Status, 0) << at.Output;
    EXPECT_EQ(Soxi("-c", Path("at.wav")), "2\n");
    EXPECT_EQ(Soxi("-r", Path("at.wav")), "44100\n");
    EXPECT_EQ(Soxi("-b", Path("at.wav")), "16\n");
    // 3000..4999 ms, read in 10000-byte pieces: 36 pieces of 2500 frames.
    EXPECT_EQ(Soxi("-s", Path("at.wav")), "90000\n");
    const Bytes lyric = qlrc::audio::test::ReadAll(Path("at.lrc"));
    const std::string lyricText(lyric.begin(), lyric.end());
    EXPECT_NE(lyricText.find("[00:00.00]two"), std::string::npos) << lyricText;
    EXPECT_EQ(lyricText.find("one"), std::string::npos) << lyricText;

    const TRunResult ab = RunTool("clip " + Quoted("audio.wav") + " " + Quoted("audio.lrc") + " --ab 2000 6000 -o " +
                                  Quoted("ab.wav"));
    ASSERT_EQ(ab.Status, 0) << ab.Output;
    // 4 s = 176400 frames, rounded up to whole 2500-frame pieces.
    EXPECT_EQ(Soxi("-s", Path("ab.wav")), "177500\n");

    const std::string files = Quoted("audio.wav") + " " + Quoted("audio.lrc");
    // Before the first line the sentence is the whole file.
    EXPECT_EQ(RunTool("clip " + files + " --at 500 -o " + Quoted("intro.wav")).Status, 0);
    EXPECT_EQ(Soxi("-s", Path("intro.wav")), Soxi("-s", Path("audio.wav")));
    EXPECT_EQ(RunTool("clip " + files + " --at 99000 -o " + Quoted("none.wav")).Status, 1);  // past the end
    EXPECT_EQ(RunTool("clip " + files + " --ab 6000 2000 -o " + Quoted("none.wav")).Status, 2);
    EXPECT_EQ(RunTool("clip " + files + " --at 3500").Status, 2);  // no -o
    EXPECT_EQ(RunTool("clip " + files + " --at 3500 --ab 1 2 -o " + Quoted("none.wav")).Status, 2);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(Path("none.wav"))));
}

}  // namespace
}  // namespace controller_test
