// Sentence-start detection: the onset scan over made block patterns, the choice of
// starts for each rule, the thread over real decodes (WAV patterns and espeak-ng
// speech with known pauses), stopping, and reading the document while it fills.
#include "SentenceScan.h"
#include "PeakScanAudio.h"

#include "Bass.h"
#include "LRCHandle.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

using namespace qlrc::scan::test;
using qlrc::audio::test::Fx;
using qlrc::audio::test::ReadAll;

namespace {

HSTREAM Decode(const Bytes& bytes)
{
    return BASS_StreamCreateFile(TRUE, bytes.data(), 0, static_cast<QWORD>(bytes.size()), BASS_STREAM_DECODE);
}

// Onsets of a pattern (see PatternWav), over the whole file.
std::vector<TOnset> OnsetsOf(const std::vector<int>& runs, std::int32_t lengthMs = -1, DWORD blockBytes = 320)
{
    const Bytes wav = PatternWav(runs);
    const HSTREAM h = Decode(wav);
    EXPECT_NE(h, 0u);
    if (lengthMs < 0) {
        int blocks = 0;
        for (int r : runs)
            blocks += r > 0 ? r : -r;
        lengthMs = blocks * 20;
    }
    std::vector<TOnset> onsets = ScanOnsets(h, lengthMs, blockBytes);
    BASS_StreamFree(h);
    return onsets;
}

std::vector<std::int32_t> StartTimes(const std::vector<TOnset>& onsets)
{
    std::vector<std::int32_t> times;
    for (const TLyricItem& line : ChooseSentenceStarts(onsets))
        times.push_back(line.Time);
    return times;
}

std::vector<std::int32_t> DocumentTimes(const TLyricHandle& doc)
{
    std::vector<std::int32_t> times;
    for (int i = 0; i < doc.Count(); ++i)
        times.push_back(doc.GetItem(i).Time);
    return times;
}

// Runs a whole scan thread over bytes into doc and waits for it.
void ScanInto(const Bytes& bytes, TLyricHandle& doc)
{
    const HSTREAM h = Decode(bytes);
    ASSERT_NE(h, 0u);
    const QWORD length = BASS_ChannelGetLength(h, BASS_POS_BYTE);
    const auto lengthMs = static_cast<std::int32_t>(BASS_ChannelBytes2Seconds(h, length) * 1000);
    const auto block = static_cast<DWORD>(BASS_ChannelSeconds2Bytes(h, 0.02));
    TScanThread scan(h, lengthMs, doc, block);
    scan.Start();
    while (!scan.Finished())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    // The thread freed its handle.
    EXPECT_EQ(BASS_ChannelIsActive(h), BASS_ACTIVE_STOPPED);
    EXPECT_EQ(BASS_ChannelGetLength(h, BASS_POS_BYTE), -1);
}

using Times = std::vector<std::int32_t>;
using Onsets = std::vector<TOnset>;

}  // namespace

// ---- phase 1: onsets ------------------------------------------------------------------

TEST(SentenceOnsets, SilentAndLoudFilesHaveNone)
{
    EXPECT_TRUE(OnsetsOf({-500}).empty());
    EXPECT_TRUE(OnsetsOf({500}).empty());
    // At most two silent blocks: the count (starting at 1) reaches 3, not more.
    EXPECT_TRUE(OnsetsOf({200, -2, 300}).empty());
    EXPECT_TRUE(OnsetsOf({-2, 300}).empty());
    // A third silent block makes an onset.
    EXPECT_EQ(OnsetsOf({200, -3, 300}), (Onsets{{4, 4060}}));
}

TEST(SentenceOnsets, FirstOnsetCountsTheLeadingSilence)
{
    EXPECT_EQ(OnsetsOf({-100, 50}), (Onsets{{101, 2000}}));
    EXPECT_EQ(OnsetsOf({-5, 50}), (Onsets{{6, 100}}));
}

TEST(SentenceOnsets, CountRunsOverAllSilentBlocksSinceTheLastOnset)
{
    // 1 + 2 + 2 silent blocks: the third loud stretch is an onset with a count of 5.
    EXPECT_EQ(OnsetsOf({10, -2, 10, -2, 10}), (Onsets{{5, 480}}));
    // After an onset the count starts again at 0.
    EXPECT_EQ(OnsetsOf({-10, 10, -3, 10, -4, 10}), (Onsets{{11, 200}, {7, 740}}));
}

TEST(SentenceOnsets, ScanEndsAtTheGivenLength)
{
    // A second onset at 8.2 s in a 10 s file, scanned for 5 s.
    EXPECT_EQ(OnsetsOf({-10, 390, -10, 90}, 5000), (Onsets{{11, 200}}));
    EXPECT_EQ(OnsetsOf({-10, 390, -10, 90}, 10000), (Onsets{{11, 200}, {10, 8200}}));
}

TEST(SentenceOnsets, FailedLengthOrBlockSizeStillScansTheWholeFile)
{
    const Onsets expected{{11, 200}, {10, 8200}};
    // A failed length reads as the largest block number: the end of the data ends.
    EXPECT_EQ(OnsetsOf({-10, 390, -10, 90}, -1000), expected);
    // A failed 20 ms conversion: the channel's own figure is used.
    EXPECT_EQ(OnsetsOf({-10, 390, -10, 90}, 10000, 0), expected);
    EXPECT_EQ(OnsetsOf({-10, 390, -10, 90}, 10000, static_cast<DWORD>(-1)), expected);
}

TEST(SentenceOnsets, QuietBlocksBelow327AreSilent)
{
    const HSTREAM h = Decode(BlocksWav(8000, 2, {{300, 326}, {326, 0}, {0, 0}, {326, 326}, {0, 327}, {0, 0}}));
    ASSERT_NE(h, 0u);
    EXPECT_EQ(ScanOnsets(h, 120, 640), (Onsets{{5, 80}}));
    BASS_StreamFree(h);
}

TEST(SentenceOnsets, ARequestedStopReadsNothing)
{
    const Bytes wav = PatternWav({-10, 390, -10, 90});
    const HSTREAM h = Decode(wav);
    std::stop_source stop;
    stop.request_stop();
    EXPECT_TRUE(ScanOnsets(h, 10000, 320, stop.get_token()).empty());
    EXPECT_EQ(BASS_ChannelGetPosition(h, BASS_POS_BYTE), 0);
    BASS_StreamFree(h);
}

// ---- phase 2: choosing starts ---------------------------------------------------------

TEST(SentenceChoice, FirstOnsetMovesBackByAThirdOfItsSilence)
{
    EXPECT_EQ(StartTimes({{60, 2000}}), Times{1600});
    EXPECT_EQ(StartTimes({{6, 100}}), Times{60});
    EXPECT_EQ(StartTimes({{30, 100}}), Times{0});  // never before 0
    EXPECT_TRUE(StartTimes({}).empty());
}

TEST(SentenceChoice, StartsAreAtLeastFiveSecondsApart)
{
    EXPECT_EQ(StartTimes({{30, 1000}, {30, 4000}}), Times{800});
    EXPECT_EQ(StartTimes({{30, 1000}, {30, 5999}, {30, 6000}}), (Times{800, 5800}));
}

TEST(SentenceChoice, LongPausesAreTakenAtOnce)
{
    EXPECT_EQ(StartTimes({{30, 600}, {30, 6600}, {30, 12600}, {25, 18600}, {24, 24600}}),
              (Times{400, 6400, 12400, 18440}));
}

TEST(SentenceChoice, AfterTwentySecondsTheLargestCountSinceFiveSecondsIsForced)
{
    // Counts below 10 never qualify by themselves; at 22 s (21 s after the start) the
    // onset with the largest count among those from 6 s on is taken: the first 9.
    const Onsets onsets{{30, 1000}, {9, 3000}, {8, 7000}, {6, 9000}, {9, 11000}, {7, 13000}, {9, 17000}, {5, 22000}};
    EXPECT_EQ(StartTimes(onsets), (Times{800, 10940}));
}

TEST(SentenceChoice, ARememberedCountIsUsedWhenNothingBetterComes)
{
    // 15 at 7 s is remembered (10..24), 12 at 9 s is not better; at 21.5 s the stretch
    // is over 20 s and the best since 5 s is the 15.
    EXPECT_EQ(StartTimes({{30, 1000}, {15, 7000}, {12, 9000}, {6, 21500}}), (Times{800, 6900}));
    // A later onset of 25 or more takes over even though 15 was remembered.
    EXPECT_EQ(StartTimes({{30, 1000}, {15, 7000}, {26, 9000}}), (Times{800, 8840}));
    // On a tie the earlier onset stays chosen.
    EXPECT_EQ(StartTimes({{30, 1000}, {15, 7000}, {15, 9000}, {6, 21500}}), (Times{800, 6900}));
}

TEST(SentenceChoice, LinesEndJustBeforeTheNextAndTheLastAtTheEnd)
{
    const std::vector<TLyricItem> lines = ChooseSentenceStarts({{30, 600}, {30, 6600}, {30, 12600}});
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].EndTime, 6399);
    EXPECT_EQ(lines[1].EndTime, 12399);
    EXPECT_EQ(lines[2].EndTime, 2147483646);
    for (const TLyricItem& line : lines) {
        EXPECT_EQ(line.Text, "");
        EXPECT_EQ(line.Visibility, lvDefault);
        EXPECT_EQ(line.TimeLabel, "");  // added as made, like any line from Add
    }
}

// ---- the thread over real decodes -----------------------------------------------------

TEST(SentenceThread, FillsTheDocumentFromAPatternFile)
{
    // 600 ms of silence then 5.4 s loud, five times: starts every 6 s, each moved back
    // by 10 blocks; between them, short 3-block gaps that must not become starts.
    std::vector<int> runs;
    for (int i = 0; i < 5; ++i) {
        runs.insert(runs.end(), {-30, 100, -3, 100, -3, 64});
    }
    TLyricHandle doc;
    ScanInto(PatternWav(runs), doc);
    EXPECT_EQ(DocumentTimes(doc), (Times{400, 6400, 12400, 18400, 24400}));
    EXPECT_EQ(doc.LineEndAt(7000), 12399);
    EXPECT_EQ(doc.LineStartAt(30000), 24400);
}

TEST(SentenceThread, FiveSecondGapAndTwentySecondFallbackOnRealDecodes)
{
    // Long pauses every 3 s: only every other one is 5 s after the last start.
    std::vector<int> runs;
    for (int i = 0; i < 5; ++i)
        runs.insert(runs.end(), {-30, 120});
    TLyricHandle gaps;
    ScanInto(PatternWav(runs), gaps);
    EXPECT_EQ(DocumentTimes(gaps), (Times{400, 6400, 12400}));

    // After a start at 600 ms, only 100 ms pauses every 2 s (one of 160 ms at 8.76 s):
    // none qualifies alone, so at 20.7 s the largest count from 5.6 s on is forced.
    runs = {-30, 100};
    for (int c = 0; c < 12; ++c)
        runs.insert(runs.end(), {c == 3 ? -8 : -5, c == 3 ? 92 : 95});
    TLyricHandle forced;
    ScanInto(PatternWav(runs), forced);
    EXPECT_EQ(DocumentTimes(forced), (Times{400, 8720}));
}

TEST(SentenceThread, SilentFileAddsNothing)
{
    TLyricHandle doc;
    ScanInto(PatternWav({-1000}), doc);
    EXPECT_FALSE(doc.HasLines());
}

TEST(SentenceThread, SpeechWithKnownPausesGivesOneStartPerPhrase)
{
    ASSERT_TRUE(Fx().error.empty()) << Fx().error;
    const std::filesystem::path dir = Fx().dir;
    // Three phrases after 1 s, 6 s and 6 s of silence.
    const std::string cmd = "cd '" + dir.string() +
                            "' && espeak-ng -w p1.wav 'The first sentence is here.' && espeak-ng -w p2.wav 'And now "
                            "the second one.' && espeak-ng -w p3.wav 'Finally the third.' && sox -n -r 22050 -c 1 "
                            "-b 16 gap.wav trim 0 6 && sox -n -r 22050 -c 1 -b 16 lead.wav trim 0 1 && sox lead.wav "
                            "p1.wav gap.wav p2.wav gap.wav p3.wav phrases.wav && lame --quiet phrases.wav phrases.mp3 "
                            "&& soxi -D p1.wav > p1.len && soxi -D p2.wav > p2.len";
    ASSERT_TRUE(qlrc::audio::test::Run("( " + cmd + " ) >/dev/null 2>&1"));
    const auto seconds = [&](const char* name) {
        const Bytes text = ReadAll(dir / name);
        return std::stod(std::string(text.begin(), text.end()));
    };
    const double p1 = seconds("p1.len");
    const double p2 = seconds("p2.len");
    // Where each phrase's audio begins (espeak-ng's own lead-in silence comes after).
    const double starts[3] = {1.0, 1.0 + p1 + 6.0, 1.0 + p1 + 6.0 + p2 + 6.0};

    TLyricHandle doc;
    ScanInto(ReadAll(dir / "phrases.mp3"), doc);
    const Times times = DocumentTimes(doc);
    ASSERT_EQ(times.size(), 3u);
    // The first start moves back by a third of the leading second (51 blocks counted:
    // 340 ms), plus whatever lead-in espeak-ng puts before the voice.
    EXPECT_GE(times[0], 600);
    EXPECT_LE(times[0], 900);
    for (int k = 1; k < 3; ++k) {
        SCOPED_TRACE(k);
        // Inside the 6 s pause: moved back by a third of at least the pause itself, and
        // by at most a third of the pause plus the whole phrase before it.
        const double before = k == 1 ? p1 : p2;
        EXPECT_LE(times[k], (starts[k] + 0.4 - 2.0) * 1000);
        EXPECT_GE(times[k], (starts[k] - 2.0 - before / 3 - 0.1) * 1000);
    }
}

TEST(SentenceThread, StopMidwayAddsNothingAndFreesTheHandle)
{
    // 20 minutes of 6 s sentences.
    std::vector<int> runs;
    for (int i = 0; i < 200; ++i)
        runs.insert(runs.end(), {-30, 270});
    const Bytes wav = PatternWav(runs);
    TLyricHandle doc;
    const HSTREAM h = Decode(wav);
    ASSERT_NE(h, 0u);
    {
        TScanThread scan(h, 1200000, doc, 320);
        scan.Start();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        const auto asked = std::chrono::steady_clock::now();
        scan.RequestStop();
        while (!scan.Finished())
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        const auto took = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - asked).count();
        RecordProperty("stop_ms", std::to_string(took));
        EXPECT_LT(took, 2000.0);  // a sanity bound only; the figure is recorded
    }
    EXPECT_FALSE(doc.HasLines());
    EXPECT_EQ(BASS_ChannelGetLength(h, BASS_POS_BYTE), -1);
}

TEST(SentenceThread, DestroyingStopsAndJoinsAndAnUnstartedScanFreesItsHandle)
{
    const Bytes wav = PatternWav({-30, 270, -30, 270});
    TLyricHandle doc;
    const HSTREAM never = Decode(wav);
    { TScanThread scan(never, 12000, doc, 320); }
    EXPECT_EQ(BASS_ChannelGetLength(never, BASS_POS_BYTE), -1);

    const HSTREAM started = Decode(wav);
    {
        TScanThread scan(started, 12000, doc, 320);
        scan.Start();
        scan.Start();  // a second start does nothing
    }  // the destructor stops and joins, whatever point the scan had reached
    EXPECT_EQ(BASS_ChannelGetLength(started, BASS_POS_BYTE), -1);
    // Either it finished before the stop (two lines) or it added nothing.
    EXPECT_TRUE(doc.Count() == 0 || doc.Count() == 2);
}

TEST(SentenceThread, TheDocumentCanBeReadWhileTheScanAppends)
{
    std::vector<int> runs;
    for (int i = 0; i < 120; ++i)
        runs.insert(runs.end(), {-30, 270});
    const Bytes wav = PatternWav(runs);
    TLyricHandle doc;
    const HSTREAM h = Decode(wav);
    ASSERT_NE(h, 0u);
    TScanThread scan(h, 720000, doc, 320);
    scan.Start();
    int reads = 0;
    while (!scan.Finished() || reads == 0) {
        // What the GUI thread does at every tick.
        const auto pos = static_cast<std::int32_t>((std::int64_t{reads} * 7919) % 720000);
        const std::int32_t start = doc.LineStartAt(pos);
        const std::int32_t end = doc.LineEndAt(pos);
        if (doc.HasLines() && end != 2147483647) {
            EXPECT_LE(start, pos);
            EXPECT_GE(end, pos);
        }
        EXPECT_EQ(doc.LineTextAt(pos), "");
        const int count = doc.Count();
        if (count > 0) {
            EXPECT_EQ(doc.GetItem(0).Time, 400);
        }
        ++reads;
    }
    ASSERT_EQ(doc.Count(), 120);
    EXPECT_EQ(doc.GetItem(119).Time, 119 * 6000 + 400);
    EXPECT_EQ(doc.GetItem(119).EndTime, 2147483646);
}
