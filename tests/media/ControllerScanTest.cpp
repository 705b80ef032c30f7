// The controller with its helpers from other threads and files: the sentence scan
// started by Open (its lines, reading the document while it appends, destroying
// the controller in the middle of it) and the clip export.
#include "ControllerFixture.h"

#include "Exceptions.h"

#include <QDir>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <limits>
#include <thread>


namespace controller_test {
namespace {

using Clock = std::chrono::steady_clock;

// A long MP3 of phrases, made once per process with sox and lame.
const Bytes& LongMp3()
{
    static const Bytes bytes = [] {
        static QTemporaryDir dir;
        const std::string wav = dir.filePath("long.wav").toStdString();
        const std::string mp3 = dir.filePath("long.mp3").toStdString();
        const bool made = qlrc::audio::test::Run("sox -n -r 44100 -c 2 -b 16 '" + wav +
                                                 "' synth 2.4 sine 300 pad 0.6 0 repeat 59 && lame --quiet -b 128 '" +
                                                 wav + "' '" + mp3 + "'");
        return made ? qlrc::audio::test::ReadAll(mp3) : Bytes{};
    }();
    return bytes;
}

bool WaitForScan(TAudioMedia& media, int timeoutMs = 20000)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (media.Scanning()) {
        if (Clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// ---- the sentence scan ---------------------------------------------------------

TEST_F(ControllerTest, OpenWithoutLinesScansForSentenceStarts)
{
    TAudioMedia& media = Open(Phrases(10), "");  // an empty LRC stream: no lines
    ASSERT_TRUE(WaitForScan(media));
    // Onsets every 3 s after 30 silent blocks (31 for the first); starts at least
    // 5 s apart, each a third of its silence early.
    ASSERT_EQ(media.Lyric().Count(), 5);
    for (int i = 0; i < 5; ++i) {
        const TLyricItem line = media.Lyric().GetItem(i);
        EXPECT_EQ(line.Time, 400 + 6000 * i) << i;
        EXPECT_EQ(line.Text, "");
        EXPECT_EQ(line.EndTime, i < 4 ? 400 + 6000 * (i + 1) - 1 : 2147483646) << i;
    }

    // The lines then serve as sentences.
    media.Play();
    media.TogglePause();
    media.SetPositionMs(8000);
    media.RepeatSentence();
    EXPECT_EQ(media.PositionMs(), 6400);
    media.NextSentence();
    EXPECT_EQ(media.PositionMs(), 12400);
}

TEST_F(ControllerTest, NoScanWhenTheDocumentHasLinesOrTheBytesAreNotAudio)
{
    TAudioMedia& media = Open(Phrases(4));
    EXPECT_FALSE(media.Scanning());
    EXPECT_EQ(media.Lyric().Count(), 3);

    TAudioMedia garbage(StreamOf(std::string(5000, 'x')), nullptr);
    garbage.Open();
    EXPECT_FALSE(garbage.Scanning());
    EXPECT_EQ(garbage.Lyric().Count(), 0);
}

TEST_F(ControllerTest, TheDocumentCanBeReadWhileTheScanAppends)
{
    const Bytes& mp3 = LongMp3();
    ASSERT_FALSE(mp3.empty()) << "sox or lame failed";
    TAudioMedia& media = Open(mp3, "");
    media.Play();
    media.TogglePause();
    media.SetPositionMs(90000);
    ASSERT_TRUE(media.Scanning());

    // Everything the GUI thread does at a tick, until the lines are in.
    int reads = 0;
    const auto deadline = Clock::now() + std::chrono::seconds(60);
    while (media.Scanning() && Clock::now() < deadline) {
        static_cast<void>(media.CurrentText());
        static_cast<void>(media.IsTextShown(false));
        media.RepeatSentence();
        media.SetPositionMs(90000);
        media.TimerTick();
        ++reads;
    }
    EXPECT_FALSE(media.Scanning());
    EXPECT_GT(reads, 0);
    const int count = media.Lyric().Count();
    EXPECT_GE(count, 20);  // one start every 6 s or so over 180 s
    for (int i = 1; i < count; ++i)
        EXPECT_LT(media.Lyric().GetItem(i - 1).Time, media.Lyric().GetItem(i).Time);
    media.RepeatSentence();
    EXPECT_LE(media.PositionMs(), 90000);
    EXPECT_GT(media.PositionMs(), 90000 - 7000);
}

TEST_F(ControllerTest, DestroyingTheControllerStopsItsScanPromptly)
{
    const Bytes& mp3 = LongMp3();
    ASSERT_FALSE(mp3.empty()) << "sox or lame failed";
    // Each round must stop the scan rather than wait for its end (seconds away);
    // the best round shows the usual promptness on a machine that may be busy.
    long long best = std::numeric_limits<long long>::max();
    for (int round = 0; round < 3; ++round) {
        auto media = std::make_unique<TAudioMedia>(StreamOf(mp3), nullptr);
        media->Open();
        media->Play();
        std::this_thread::sleep_for(std::chrono::milliseconds(10 + 20 * round));
        ASSERT_TRUE(media->Scanning()) << "the scan ended too soon to test";
        const auto start = Clock::now();
        media.reset();
        const long long took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
        EXPECT_LT(took, 1000) << "round " << round;
        best = std::min(best, took);
    }
    EXPECT_LT(best, 50);
}

// ---- clip export ------------------------------------------------------------------

std::uint32_t U32At(const std::string& bytes, std::size_t at)
{
    return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at])) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 2])) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 3])) << 24;
}

std::uint16_t U16At(const std::string& bytes, std::size_t at)
{
    return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at]) |
                                      static_cast<unsigned char>(bytes[at + 1]) << 8);
}

// A stereo 16-bit 44.1 kHz WAV image whose data covers [startMs, endMs] of the source.
void ExpectClipOf(const std::string& wav, int startMs, int endMs)
{
    ASSERT_GE(wav.size(), 44u);
    EXPECT_EQ(wav.substr(0, 4), "RIFF");
    EXPECT_EQ(U32At(wav, 4), wav.size() - 8);
    EXPECT_EQ(wav.substr(8, 8), "WAVEfmt ");
    EXPECT_EQ(U16At(wav, 20), 1);
    EXPECT_EQ(U16At(wav, 22), 2);
    EXPECT_EQ(U32At(wav, 24), 44100u);
    EXPECT_EQ(U32At(wav, 28), 176400u);
    EXPECT_EQ(U16At(wav, 32), 4);
    EXPECT_EQ(U16At(wav, 34), 16);
    EXPECT_EQ(wav.substr(36, 4), "data");
    EXPECT_EQ(U32At(wav, 40), wav.size() - 44);
    const std::size_t want = static_cast<std::size_t>((static_cast<std::int64_t>(endMs) * 441 / 10) -
                                                      (static_cast<std::int64_t>(startMs) * 441 / 10)) * 4;
    EXPECT_GE(wav.size() - 44, want);
    EXPECT_LT(wav.size() - 44, want + 10000);
}

// The tone's level tells where in the source the clip was cut: level = 100 + second.
Bytes Staircase(int seconds)
{
    std::vector<std::int16_t> samples;
    for (int s = 0; s < seconds; ++s)
        samples.insert(samples.end(), 2 * 44100, static_cast<std::int16_t>(100 + s));
    return MakeWav(44100, 2, samples);
}

std::int16_t SampleAt(const std::string& wav, std::size_t frame)
{
    return static_cast<std::int16_t>(U16At(wav, 44 + frame * 4));
}

TEST_F(ControllerTest, ExportClipWritesTheSentenceAtThePosition)
{
    TAudioMedia& media = PausedAt(3500, Staircase(10));
    TMemoryStream audioOut("head");
    audioOut.SetPosition(4);
    TMemoryStream lyricOut;
    TLRCInfo info;
    info.Title = "Clip";
    ASSERT_TRUE(media.ExportClip(&audioOut, &lyricOut, info, {}));

    const std::string wav = audioOut.Bytes().substr(4);  // appended at the position
    EXPECT_EQ(audioOut.Bytes().substr(0, 4), "head");
    ExpectClipOf(wav, 3000, 4999);
    EXPECT_EQ(SampleAt(wav, 0), 103);  // starts at 3 s
    EXPECT_EQ(SampleAt(wav, 44100), 104);

    const std::string& lrc = lyricOut.Bytes();
    EXPECT_NE(lrc.find(":Clip]"), std::string::npos) << lrc;
    EXPECT_NE(lrc.find("two"), std::string::npos) << lrc;
    EXPECT_EQ(lrc.find("one"), std::string::npos) << lrc;
    EXPECT_EQ(lrc.find("three"), std::string::npos) << lrc;
    EXPECT_EQ(media.State(), msPaused);
}

TEST_F(ControllerTest, ExportClipRefusesWithoutStreamsPlaybackLinesOrSentence)
{
    TMemoryStream audioOut;
    TMemoryStream lyricOut;
    {
        TAudioMedia& media = PausedAt(3500);
        EXPECT_FALSE(media.ExportClip(nullptr, &lyricOut, {}, {}));
        EXPECT_FALSE(media.ExportClip(&audioOut, nullptr, {}, {}));
        media.Stop();
        EXPECT_FALSE(media.ExportClip(&audioOut, &lyricOut, {}, {}));
    }
    {
        TAudioMedia& media = PausedAt(3500, Tone(10), "");  // a steady tone: the scan finds nothing
        ASSERT_TRUE(WaitForScan(media));
        ASSERT_EQ(media.Lyric().Count(), 0);
        EXPECT_FALSE(media.ExportClip(&audioOut, &lyricOut, {}, {}));
    }
    EXPECT_EQ(audioOut.Size(), 0);
    EXPECT_EQ(lyricOut.Size(), 0);
}

TEST_F(ControllerTest, ExportClipBeforeTheFirstLineTakesTheWholeFile)
{
    // No line holds 500 ms: the span is [0, 2147483647], cut to the file's end.
    TAudioMedia& media = PausedAt(500, Staircase(10));
    TMemoryStream audioOut;
    TMemoryStream lyricOut;
    ASSERT_TRUE(media.ExportClip(&audioOut, &lyricOut, {}, {}));
    ASSERT_EQ(audioOut.Size(), 44 + 10 * 176400);
    EXPECT_EQ(SampleAt(audioOut.Bytes(), 0), 100);
    EXPECT_EQ(lyricOut.Bytes(), "\r\n[00:01.00]one\r\n[00:03.00]two\r\n[00:05.00]three\r\n");
}

TEST_F(ControllerTest, ExportClipAsksForTheChoiceWhenAnABSectionExists)
{
    TAudioMedia& media = PausedAt(2000, Staircase(10));
    media.Resume();
    media.ABStep();  // A 2000
    Advance(4000);
    media.ABStep();  // B 6000
    TMemoryStream audioOut;
    TMemoryStream lyricOut;

    int asked = 0;
    EXPECT_FALSE(media.ExportClip(&audioOut, &lyricOut, {}, [&](TClipChoice&) { ++asked; }));  // Tag left at 0
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(media.State(), msPaused);  // stays paused
    EXPECT_FALSE(media.ExportClip(&audioOut, &lyricOut, {}, [](TClipChoice& c) { c.Tag = 3; }));
    EXPECT_FALSE(media.ExportClip(&audioOut, &lyricOut, {}, {}));  // nobody to ask: cancelled
    EXPECT_EQ(audioOut.Size(), 0);
    EXPECT_EQ(lyricOut.Size(), 0);

    ASSERT_TRUE(media.ExportClip(&audioOut, &lyricOut, {}, [](TClipChoice& c) { c.Tag = 2; }));
    ExpectClipOf(audioOut.Bytes(), 2000, 6000);
    EXPECT_EQ(SampleAt(audioOut.Bytes(), 0), 102);
    // The line in progress at A starts the clip; the others are re-based to A.
    const std::string& lrc = lyricOut.Bytes();
    EXPECT_NE(lrc.find("[00:00.00]one"), std::string::npos) << lrc;
    EXPECT_NE(lrc.find("[00:01.00]two"), std::string::npos) << lrc;
    EXPECT_NE(lrc.find("[00:03.00]three"), std::string::npos) << lrc;

    // Tag 1: the sentence at the position (6000, in "three": 5000 to the end).
    TMemoryStream sentence;
    TMemoryStream sentenceLrc;
    ASSERT_TRUE(media.ExportClip(&sentence, &sentenceLrc, {}, [](TClipChoice& c) { c.Tag = 1; }));
    ExpectClipOf(sentence.Bytes(), 5000, 10000);  // cut at the end of the audio
    EXPECT_EQ(SampleAt(sentence.Bytes(), 0), 105);
}

TEST_F(ControllerTest, ExportClipWritesNothingWhenTheLyricCannotBeMade)
{
    // The document also writes kkk.lrc into the current folder; a folder of that
    // name makes it fail after the WAV image is ready.
    QTemporaryDir dir;
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    ASSERT_TRUE(QDir().mkdir("kkk.lrc"));
    TAudioMedia& media = PausedAt(3500);
    TMemoryStream audioOut;
    TMemoryStream lyricOut;
    EXPECT_THROW(media.ExportClip(&audioOut, &lyricOut, {}, {}), EFCreateError);
    EXPECT_EQ(audioOut.Size(), 0);
    EXPECT_EQ(lyricOut.Size(), 0);
    EXPECT_TRUE(QDir::setCurrent(previous));
}

TEST_F(ControllerTest, ExportedWavIsReadBackBySox)
{
    TAudioMedia& media = PausedAt(3500, Staircase(10));
    TMemoryStream audioOut;
    TMemoryStream lyricOut;
    ASSERT_TRUE(media.ExportClip(&audioOut, &lyricOut, {}, {}));
    QTemporaryDir dir;
    const std::string path = dir.filePath("clip.wav").toStdString();
    audioOut.SaveToFile(path);

    std::FILE* pipe = ::popen(("soxi -s '" + path + "' 2>&1").c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char line[128] = {};
    const bool read = std::fgets(line, sizeof line, pipe) != nullptr;
    EXPECT_EQ(::pclose(pipe), 0) << line;
    ASSERT_TRUE(read);
    EXPECT_EQ(std::stoll(line), static_cast<long long>((audioOut.Size() - 44) / 4));
}

}  // namespace
}  // namespace controller_test
