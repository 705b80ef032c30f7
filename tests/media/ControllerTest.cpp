// TAudioMedia on the silent output with a hand-stepped clock: opening, transport,
// readings, guarded seeks, navigation, the A-B loop, sentence repeat, looping,
// rate, volume through a fake mixer, text visibility and the tick.
#include "ControllerFixture.h"

#include "Exceptions.h"

#include <cmath>
#include <limits>
#include <map>
#include <optional>


namespace controller_test {
namespace {

// ---- construction, empty and non-audio blocks ---------------------------------

TEST_F(ControllerTest, NothingOpenedGivesTheStoppedReadings)
{
    TAudioMedia media;  // also the state of any controller before Open
    EXPECT_EQ(media.State(), msStopped);
    EXPECT_EQ(media.LengthMs(), 0);
    EXPECT_EQ(media.PositionMs(), 0);
    EXPECT_EQ(media.PositionBytes(), 0);
    EXPECT_EQ(media.SegmentMs(), 0);
    EXPECT_EQ(media.GetRate(), 44100);
    EXPECT_EQ(media.GetRateStep(), 10);
    EXPECT_TRUE(media.IsTextShown(true));
    EXPECT_TRUE(media.IsTextShown(false));
    EXPECT_EQ(media.CurrentText(), "");
    EXPECT_EQ(media.Channel(), 0u);

    // An empty audio block: Open does nothing, and nothing after it either.
    EXPECT_EQ(media.Open(), 0);
    media.Play();
    media.SetPositionBytes(1000);
    media.SetRateStep(5);
    EXPECT_EQ(media.Channel(), 0u);
    EXPECT_EQ(media.State(), msStopped);
    EXPECT_EQ(media.PositionBytes(), 0);
    EXPECT_EQ(media.GetRate(), 44100);
    EXPECT_FALSE(media.Scanning());
}

TEST_F(ControllerTest, StreamsAreTakenFromTheirStartAndTheLyricIsLoaded)
{
    auto audio = StreamOf(Tone(2));
    audio->SetPosition(audio->Size());  // read whole whatever the position
    auto lrc = StreamOf(kThreeLines);
    lrc->SetPosition(5);
    FMedia = std::make_unique<TAudioMedia>(std::move(audio), std::move(lrc));
    EXPECT_EQ(FMedia->Lyric().Count(), 3);
    FMedia->Open();
    EXPECT_EQ(FMedia->LengthMs(), 2000);
    EXPECT_EQ(FMedia->SegmentMs(), 2000 / 9);
    EXPECT_FALSE(FMedia->Scanning());  // the document has lines: no scan

    // Null streams are allowed.
    TAudioMedia empty(nullptr, nullptr);
    EXPECT_EQ(empty.Open(), 0);
    EXPECT_EQ(empty.State(), msStopped);
}

TEST_F(ControllerTest, BytesThatAreNotAudioLeaveAnOpenedControllerWithoutStream)
{
    const std::string text = "This is a text file, not an MP3.\r\n";
    TAudioMedia& media = Open(Bytes(text.begin(), text.end()), "");
    EXPECT_EQ(media.Channel(), 0u);
    media.Play();
    Advance(500);
    EXPECT_EQ(media.State(), msStopped);
    EXPECT_EQ(media.PositionMs(), 0);
    EXPECT_EQ(media.PositionBytes(), 0);
    EXPECT_EQ(media.LengthMs(), 0);  // not the library's failure converted to -1000
    EXPECT_EQ(media.SegmentMs(), 0);
    EXPECT_EQ(media.GetRate(), 0);
    EXPECT_FALSE(media.Scanning());
    EXPECT_EQ(media.Lyric().Count(), 0);
    media.SetPositionBytes(100);
    media.SeekToNinth(5);
    media.ABStep();
    EXPECT_EQ(media.GetABState(), 0);
    media.Stop();
}

// ---- transport ---------------------------------------------------------------

TEST_F(ControllerTest, TransportFollowsTheLibraryAndPlayStartsAgainAtZero)
{
    TAudioMedia& media = Open(Tone(10));
    EXPECT_EQ(media.State(), msStopped);
    media.TogglePause();  // stopped: nothing
    EXPECT_EQ(media.State(), msStopped);

    media.Play();
    EXPECT_EQ(media.State(), msPlaying);
    Advance(1500);
    EXPECT_EQ(media.PositionMs(), 1500);
    EXPECT_EQ(media.PositionBytes(), 1500 * 1764 / 10);
    EXPECT_EQ(media.CurrentText(), "one");

    media.TogglePause();
    EXPECT_EQ(media.State(), msPaused);
    Advance(700);
    EXPECT_EQ(media.PositionMs(), 1500);
    media.TogglePause();
    EXPECT_EQ(media.State(), msPlaying);
    Advance(2000);
    EXPECT_EQ(media.PositionMs(), 3500);
    EXPECT_EQ(media.CurrentText(), "two");

    media.Play();  // from the beginning again
    EXPECT_EQ(media.PositionMs(), 0);
    Advance(200);
    EXPECT_EQ(media.PositionMs(), 200);

    media.Stop();
    EXPECT_EQ(media.State(), msStopped);
    EXPECT_EQ(media.PositionMs(), 0);            // stopped reads 0 ...
    EXPECT_EQ(media.PositionBytes(), 200 * 1764 / 10);  // ... the bytes stay readable
    media.Resume();
    Advance(100);
    EXPECT_EQ(media.PositionMs(), 300);

    // A second Open does nothing.
    const HSTREAM channel = media.Channel();
    media.Open();
    EXPECT_EQ(media.Channel(), channel);
    EXPECT_EQ(media.PositionMs(), 300);
}

// ---- seeking -------------------------------------------------------------------

TEST_F(ControllerTest, SeeksByMillisecondsAreGuardedAndByBytesAreNot)
{
    TAudioMedia& media = Open(Tone(10));
    media.SetPositionMs(3000);  // stopped: ignored
    EXPECT_EQ(media.PositionBytes(), 0);
    media.SetPositionBytes(176400 * 4);  // stopped: moves
    EXPECT_EQ(media.PositionBytes(), 176400 * 4);
    media.SetPositionBytes(-5);  // refused by the library
    EXPECT_EQ(media.PositionBytes(), 176400 * 4);

    media.Resume();
    EXPECT_EQ(media.PositionMs(), 4000);
    media.TogglePause();
    media.SetPositionMs(2500);
    EXPECT_EQ(media.PositionMs(), 2500);
    media.SetPositionMs(-1);
    media.SetPositionMs(10001);
    EXPECT_EQ(media.PositionMs(), 2500);
    media.SetPositionMs(10000);  // the length itself is allowed
    EXPECT_EQ(media.PositionMs(), 10000);

    media.SeekToNinth(1);
    EXPECT_EQ(media.PositionMs(), 0);
    media.SeekToNinth(10);
    EXPECT_EQ(media.PositionMs(), media.LengthMs());
    media.SeekToNinth(4);  // 3333.3 ms rounded, then whole frames
    const QWORD ninth = BASS_ChannelSeconds2Bytes(media.Channel(), 3.333);
    EXPECT_EQ(media.PositionBytes(), ninth);
    media.SeekToNinth(11);  // beyond the end: ignored
    media.SeekToNinth(0);
    media.SeekToNinth(std::numeric_limits<std::int32_t>::min());
    media.SeekToNinth(std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(media.PositionBytes(), ninth);
}

TEST_F(ControllerTest, SeekToNinthRoundsToTheNearestMillisecond)
{
    // (N - 1) / 9 of a whole-millisecond length is never exactly half-way, so only
    // the direction shows: 1000 ms gives 111.1 -> 111 and 555.6 -> 556.
    TAudioMedia& media = Open(MakeWav(44100, 2, std::vector<std::int16_t>(2 * 44100, 100)));
    media.Play();
    media.TogglePause();
    ASSERT_EQ(media.LengthMs(), 1000);
    media.SeekToNinth(2);
    EXPECT_EQ(media.PositionBytes(), BASS_ChannelSeconds2Bytes(media.Channel(), 0.111));
    media.SeekToNinth(6);
    EXPECT_EQ(media.PositionBytes(), BASS_ChannelSeconds2Bytes(media.Channel(), 0.556));
}

// ---- sentence navigation ----------------------------------------------------

TEST_F(ControllerTest, NavigationMovesBetweenLines)
{
    TAudioMedia& media = PausedAt(3500);
    media.RepeatSentence();
    EXPECT_EQ(media.PositionMs(), 3000);
    media.SetPositionMs(3500);
    media.NextSentence();
    EXPECT_EQ(media.PositionMs(), 5000);
    media.SetPositionMs(3500);
    media.PreviousSentence();
    EXPECT_EQ(media.PositionMs(), 1000);
    media.PreviousSentence();  // inside the first line
    EXPECT_EQ(media.PositionMs(), 0);

    // In the last line NextSentence aims past the end: nothing moves.
    media.SetPositionMs(6000);
    media.NextSentence();
    EXPECT_EQ(media.PositionMs(), 6000);
}

TEST_F(ControllerTest, NavigationWhereNoLineHoldsThePosition)
{
    TAudioMedia& media = PausedAt(500);  // before the first line
    media.Resume();
    media.ABStep();  // A at 500
    media.TogglePause();
    ASSERT_EQ(media.GetABState(), 1);
    media.NextSentence();
    EXPECT_EQ(media.GetABState(), 0);  // the target lies before every point
    EXPECT_EQ(media.PositionMs(), 500);  // and no seek happened
    EXPECT_EQ(media.GetPointA(), 500);  // the point keeps its value

    media.RepeatSentence();
    EXPECT_EQ(media.PositionMs(), 0);
    media.SetPositionMs(700);
    media.PreviousSentence();
    EXPECT_EQ(media.PositionMs(), 0);
}

TEST_F(ControllerTest, NavigationNeedsLinesAndAnOpenedStream)
{
    TAudioMedia media(StreamOf(Tone(10)), StreamOf(kThreeLines));
    media.NextSentence();  // not opened
    media.RepeatSentence();
    EXPECT_EQ(media.PositionBytes(), 0);

    // Opened without lines (the scan is not wanted here: a steady tone has no onset).
    TAudioMedia& bare = PausedAt(3500, Tone(10), "");
    bare.RepeatSentence();
    bare.PreviousSentence();
    bare.NextSentence();
    EXPECT_EQ(bare.PositionMs(), 3500);
}

// ---- the A-B loop --------------------------------------------------------------

TEST_F(ControllerTest, ABStepCyclesOnlyWhilePlaying)
{
    TAudioMedia& media = PausedAt(2000);
    media.ABStep();  // paused: nothing
    EXPECT_EQ(media.GetABState(), 0);

    media.Resume();
    media.SetSentenceRepeat(true);
    ASSERT_TRUE(media.GetSentenceRepeat());
    media.ABStep();
    EXPECT_EQ(media.GetABState(), 1);
    EXPECT_EQ(media.GetPointA(), 2000);
    EXPECT_FALSE(media.GetSentenceRepeat());  // setting A ends the sentence repeat
    Advance(1500);
    media.ABStep();
    EXPECT_EQ(media.GetABState(), 2);
    EXPECT_EQ(media.GetPointB(), 3500);
    media.ABStep();
    EXPECT_EQ(media.GetABState(), 0);
    EXPECT_EQ(media.GetPointA(), 0);
    EXPECT_EQ(media.GetPointB(), 0);
}

TEST_F(ControllerTest, TheTickJumpsBackToAAndASeekOutsideEndsTheLoop)
{
    TAudioMedia& media = PausedAt(2000);
    media.Resume();
    media.ABStep();
    Advance(2000);
    media.ABStep();  // A 2000, B 4000
    media.SetPositionMs(3000);
    media.TimerTick();
    EXPECT_EQ(media.PositionMs(), 3000);  // before B - 200
    Advance(800);
    media.TimerTick();  // at 3800 = B - 200
    EXPECT_EQ(media.PositionMs(), 2000);
    EXPECT_EQ(media.GetABState(), 2);

    media.SetPositionMs(4010);  // past B
    EXPECT_EQ(media.GetABState(), 0);
    EXPECT_EQ(media.GetPointA(), 2000);
    EXPECT_EQ(media.GetPointB(), 4000);
    Advance(5000);
    media.TimerTick();
    EXPECT_EQ(media.PositionMs(), 9010);  // no more jumps
}

TEST_F(ControllerTest, ASeekBeforeASwitchesTheLoopOffInEitherLoopState)
{
    TAudioMedia& media = PausedAt(2000);
    media.Resume();
    media.ABStep();  // A set only
    media.SetPositionMs(1990);
    EXPECT_EQ(media.GetABState(), 0);
    EXPECT_EQ(media.GetPointA(), 2000);
}

TEST_F(ControllerTest, ALoopWithBBeforeAEndsAtItsFirstJump)
{
    TAudioMedia& media = PausedAt(10000, Tone(20));
    media.Resume();
    media.ABStep();  // A 10000
    media.SetPositionBytes(8000 * 1764 / 10);  // no checks on byte seeks
    media.ABStep();  // B 8000
    ASSERT_EQ(media.GetPointB(), 8000);
    // A reversed section is nothing to export.
    TMemoryStream audioOut;
    TMemoryStream lyricOut;
    EXPECT_FALSE(media.ExportClip(&audioOut, &lyricOut, {}, [](TClipChoice& c) { c.Tag = 2; }));
    EXPECT_EQ(audioOut.Size() + lyricOut.Size(), 0);

    media.Resume();
    media.TimerTick();
    EXPECT_EQ(media.GetABState(), 0);
    EXPECT_EQ(media.PositionMs(), 10000);
}

// ---- sentence repeat ----------------------------------------------------------

TEST_F(ControllerTest, SentenceRepeatJumpsBackAndEndsWhenASeekLeavesTheSentence)
{
    TAudioMedia& media = PausedAt(3500);
    media.Stop();
    media.SetSentenceRepeat(true);  // stopped: ignored
    EXPECT_FALSE(media.GetSentenceRepeat());
    media.Resume();
    media.SetSentenceRepeat(true);
    ASSERT_TRUE(media.GetSentenceRepeat());

    Advance(1290);
    media.TimerTick();  // 4790 < 4999 - 200
    EXPECT_EQ(media.PositionMs(), 4790);
    Advance(10);
    media.TimerTick();  // 4800 >= 4799
    EXPECT_EQ(media.PositionMs(), 3000);
    EXPECT_TRUE(media.GetSentenceRepeat());

    media.SetPositionMs(4999);  // still inside
    EXPECT_TRUE(media.GetSentenceRepeat());
    media.NextSentence();  // to 5000: outside
    EXPECT_FALSE(media.GetSentenceRepeat());
    EXPECT_EQ(media.PositionMs(), 5000);

    media.SetSentenceRepeat(true);
    media.SetSentenceRepeat(false);
    EXPECT_FALSE(media.GetSentenceRepeat());
}

TEST_F(ControllerTest, SentenceRepeatOutsideTheABSectionEndsTheLoop)
{
    TAudioMedia& media = PausedAt(3200);
    media.Resume();
    media.ABStep();  // A 3200
    Advance(1000);
    media.ABStep();  // B 4200
    media.SetPositionMs(3500);
    media.SetSentenceRepeat(true);  // the sentence 3000..4999 starts before A
    EXPECT_EQ(media.GetABState(), 0);
    EXPECT_TRUE(media.GetSentenceRepeat());

    // A sentence inside the section leaves it alone.
    TAudioMedia& wide = PausedAt(900);
    wide.Resume();
    wide.ABStep();  // A 900
    Advance(4200);
    wide.ABStep();  // B 5100
    wide.SetPositionMs(3500);
    wide.SetSentenceRepeat(true);
    EXPECT_EQ(wide.GetABState(), 2);
}

// ---- looping and rate ------------------------------------------------------------

TEST_F(ControllerTest, LoopChosenBeforeOpenWaitsForTheNextSetLoop)
{
    FMedia = std::make_unique<TAudioMedia>(StreamOf(Tone(2)), StreamOf(kThreeLines));
    FMedia->SetLoop(true);
    EXPECT_TRUE(FMedia->GetLoop());
    FMedia->Open();
    EXPECT_EQ(BASS_ChannelFlags(FMedia->Channel(), 0, 0) & BASS_SAMPLE_LOOP, 0u);
    FMedia->Play();
    Advance(2500);
    EXPECT_EQ(FMedia->State(), msStopped);  // ran to its end

    FMedia->SetLoop(true);
    EXPECT_NE(BASS_ChannelFlags(FMedia->Channel(), 0, 0) & BASS_SAMPLE_LOOP, 0u);
    FMedia->Play();
    Advance(2500);
    EXPECT_EQ(FMedia->State(), msPlaying);
    EXPECT_EQ(FMedia->PositionMs(), 500);

    FMedia->SetLoop(false);
    EXPECT_FALSE(FMedia->GetLoop());
    EXPECT_EQ(BASS_ChannelFlags(FMedia->Channel(), 0, 0) & BASS_SAMPLE_LOOP, 0u);
}

TEST_F(ControllerTest, RateStepsAre1200HzAround44100)
{
    TAudioMedia& media = Open(Tone(10));
    EXPECT_EQ(media.GetRate(), 44100);
    media.SetRateStep(9);
    EXPECT_EQ(media.GetRate(), 42900);
    media.Play();
    Advance(1000);
    EXPECT_EQ(media.PositionBytes(), 42900 * 4);  // effective at once
    media.SetRateStep(10);
    EXPECT_EQ(media.GetRate(), 44100);
    media.SetRateStep(12);
    EXPECT_EQ(media.GetRate(), 46500);
    EXPECT_EQ(media.GetRateStep(), 10);

    // No bounds of our own: the library refuses what it cannot play, and
    // a huge step does not overflow on the way.
    media.SetRateStep(-100);
    EXPECT_EQ(media.GetRate(), 46500);
    media.SetRateStep(std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(media.GetRate(), 46500);
}

// ---- volume through a fake mixer ----------------------------------------------

struct FakeMixerState {
    std::optional<std::uint32_t> volume = 0;  // empty: reading fails
    int writes = 0;
    int opens = 0;
    bool hasMaster = true;
};

class FakeSession final : public TMixerSession {
public:
    explicit FakeSession(FakeMixerState& state) : FState(state) {}
    bool FindLine(TLineType Type) override { return FState.hasMaster && Type == ltMaster; }
    std::string LineName() override { return "Master"; }
    bool HasControl(TMixerControlKind Kind) override { return Kind == mckVolume; }
    bool SetValue(TMixerControlKind, std::uint16_t Value) override
    {
        ++FState.writes;
        FState.volume = Value;
        return true;
    }
    std::optional<std::uint32_t> GetValue(TMixerControlKind) override { return FState.volume; }

private:
    FakeMixerState& FState;
};

class FakeBackend final : public TMixerBackend {
public:
    explicit FakeBackend(FakeMixerState& state) : FState(state) {}
    std::unique_ptr<TMixerSession> Open() override
    {
        ++FState.opens;
        return std::make_unique<FakeSession>(FState);
    }

private:
    FakeMixerState& FState;
};

TEST_F(ControllerTest, VolumeGoesToTheMasterLineWithinBounds)
{
    FakeMixerState mixer;
    TAudioMedia media;  // needs no opened file
    media.SetMixerFactory([&mixer] { return std::make_unique<FakeBackend>(mixer); });

    media.SetVolume(1.5f);
    media.SetVolume(-0.1f);
    media.SetVolume(std::nanf(""));
    EXPECT_EQ(mixer.writes, 0);
    media.SetVolume(1.0f);
    EXPECT_EQ(mixer.volume, 65535u);
    EXPECT_FLOAT_EQ(media.GetVolume(), 1.0f);
    media.SetVolume(0.5f);
    EXPECT_EQ(mixer.volume, 32768u);  // 32767.5 rounded half to even
    media.SetVolume(0.0f);
    EXPECT_EQ(mixer.volume, 0u);
    EXPECT_FLOAT_EQ(media.GetVolume(), 0.0f);
    mixer.volume = 13107;
    EXPECT_FLOAT_EQ(media.GetVolume(), 0.2f);
    EXPECT_EQ(mixer.writes, 3);
    EXPECT_EQ(mixer.opens, 6);  // one mixer opening per operation

    // Mixer failures reach the caller; a missing line is a quiet 0.
    mixer.volume.reset();
    EXPECT_THROW(media.GetVolume(), Exception);
    mixer.hasMaster = false;
    EXPECT_FLOAT_EQ(media.GetVolume(), 0.0f);
}

// ---- text visibility and the current text ----------------------------------

TEST_F(ControllerTest, TextVisibilityWorksOnTheLineAtThePosition)
{
    TAudioMedia& media = PausedAt(3500);
    EXPECT_TRUE(media.IsTextShown(true));
    EXPECT_TRUE(media.IsTextShown(false));
    media.SetTextShown(false, false);
    EXPECT_FALSE(media.IsTextShown(false));
    EXPECT_TRUE(media.IsTextShown(true));
    media.SetPositionMs(1500);
    EXPECT_TRUE(media.IsTextShown(false));  // another line

    media.SetTextShown(true, false);
    EXPECT_FALSE(media.IsTextShown(true));
    EXPECT_FALSE(media.IsTextShown(false));
    EXPECT_FALSE(media.Lyric().ShowAll());

    media.Stop();  // stopped: reads true, writes nothing
    EXPECT_TRUE(media.IsTextShown(true));
    media.SetTextShown(true, true);
    EXPECT_FALSE(media.Lyric().ShowAll());
}

// ---- the tick --------------------------------------------------------------------

TEST_F(ControllerTest, TheTimerRunsFromPlayUntilStopAndFiresWithTheController)
{
    TAudioMedia& media = Open(Tone(10));
    int ticks = 0;
    TAudioMedia* sender = nullptr;
    media.SetOnUpdate([&](TAudioMedia* s) {
        ++ticks;
        sender = s;
    });
    EXPECT_TRUE(static_cast<bool>(media.GetOnUpdate()));

    RunEventsFor(450);
    EXPECT_EQ(ticks, 0);  // not before Play

    media.Play();
    media.TogglePause();  // pausing leaves the timer running
    RunEventsFor(450);
    EXPECT_GE(ticks, 1);
    EXPECT_EQ(sender, &media);

    media.Stop();
    const int stopped = ticks;
    RunEventsFor(450);
    EXPECT_EQ(ticks, stopped);

    // A handler that replaces itself while it runs.
    int second = 0;
    media.SetOnUpdate([&](TAudioMedia* s) { s->SetOnUpdate([&](TAudioMedia*) { ++second; }); });
    media.TimerTick();
    media.TimerTick();
    EXPECT_EQ(second, 1);
}

TEST_F(ControllerTest, TheTickAppliesTheLoopBeforeTheRepeatAndThenNotifies)
{
    TAudioMedia& media = PausedAt(2500);
    media.Resume();
    media.ABStep();  // A 2500
    Advance(2500);
    media.ABStep();  // B 5000
    media.SetPositionMs(4000);
    media.SetSentenceRepeat(true);  // the sentence 3000..4999 lies inside A-B
    ASSERT_EQ(media.GetABState(), 2);
    ASSERT_TRUE(media.GetSentenceRepeat());
    int position = -1;
    media.SetOnUpdate([&](TAudioMedia* s) { position = s->PositionMs(); });

    // At 4850 both rules are due. The loop goes first: back to A, which lies
    // outside the sentence and so ends the repeat before its rule is checked.
    Advance(850);
    media.TimerTick();
    EXPECT_EQ(position, 2500);
    EXPECT_FALSE(media.GetSentenceRepeat());
    EXPECT_EQ(media.GetABState(), 2);
}

}  // namespace
}  // namespace controller_test
