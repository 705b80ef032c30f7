// Playback channels on the silent output, with the test stepping its clock by hand:
// play, pause, resume, stop, seek, rate, loop and the end, in source bytes.
#include "AudioTestUtil.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <string>

namespace qlrc::audio::test {
namespace {

constexpr std::int64_t kMs = 1'000'000;

class SilentPlayback : public ::testing::Test {
protected:
    void SetUp() override {
        BASS_Test_SetClock([this] { return now.load(); });
        ASSERT_TRUE(BASS_Init(0, 44100, 0, nullptr, nullptr));
        ASSERT_TRUE(BASS_Test_OutputIsSilent());
        // Two seconds of 44.1 kHz stereo: 352800 bytes.
        wav = MakeWav(44100, 2, std::vector<std::int16_t>(2 * 88200, 1000));
    }
    void TearDown() override {
        EXPECT_TRUE(BASS_Free());
        BASS_Test_SetClock({});
    }
    void advance(std::int64_t ms) { now += ms * kMs; }
    static QWORD pos(DWORD h) { return BASS_ChannelGetPosition(h, BASS_POS_BYTE); }

    std::atomic<std::int64_t> now{1'000'000 * kMs};
    Bytes wav;
};

TEST_F(SilentPlayback, PositionFollowsTheClockWhilePlayingAndHoldsWhenPaused) {
    Handle h(PlayStream(wav));
    ASSERT_TRUE(h);
    EXPECT_EQ(BASS_ChannelIsActive(h.get()), BASS_ACTIVE_STOPPED);  // created, not yet playing
    EXPECT_EQ(pos(h.get()), 0);
    ASSERT_TRUE(BASS_ChannelPlay(h.get(), TRUE));
    EXPECT_EQ(BASS_ChannelIsActive(h.get()), BASS_ACTIVE_PLAYING);
    advance(500);
    EXPECT_EQ(pos(h.get()), 88200);
    advance(20);
    EXPECT_EQ(pos(h.get()), 88200 + 3528);

    ASSERT_TRUE(BASS_ChannelPause(h.get()));
    EXPECT_EQ(BASS_ChannelIsActive(h.get()), BASS_ACTIVE_PAUSED);
    advance(700);
    EXPECT_EQ(pos(h.get()), 88200 + 3528);  // exact while paused

    ASSERT_TRUE(BASS_ChannelPlay(h.get(), FALSE));  // continues
    advance(100);
    EXPECT_EQ(pos(h.get()), 88200 + 3528 + 17640);

    ASSERT_TRUE(BASS_ChannelStop(h.get()));
    EXPECT_EQ(BASS_ChannelIsActive(h.get()), BASS_ACTIVE_STOPPED);
    advance(100);
    EXPECT_EQ(pos(h.get()), 88200 + 3528 + 17640);
    ASSERT_TRUE(BASS_ChannelPlay(h.get(), FALSE));  // after a stop, too, FALSE continues
    advance(100);
    EXPECT_EQ(pos(h.get()), 88200 + 3528 + 2 * 17640);

    ASSERT_TRUE(BASS_ChannelPlay(h.get(), TRUE));  // from the beginning
    EXPECT_EQ(pos(h.get()), 0);
    advance(250);
    EXPECT_EQ(pos(h.get()), 44100);
}

TEST_F(SilentPlayback, SetPositionMovesAtOnceInEveryState) {
    Handle h(PlayStream(wav));
    ASSERT_TRUE(h);
    ASSERT_TRUE(BASS_ChannelSetPosition(h.get(), 176400, BASS_POS_BYTE));  // before playing
    EXPECT_EQ(pos(h.get()), 176400);
    ASSERT_TRUE(BASS_ChannelPlay(h.get(), FALSE));
    advance(100);
    EXPECT_EQ(pos(h.get()), 176400 + 17640);
    ASSERT_TRUE(BASS_ChannelSetPosition(h.get(), 35280, BASS_POS_BYTE));  // while playing
    EXPECT_EQ(pos(h.get()), 35280);
    advance(100);
    EXPECT_EQ(pos(h.get()), 35280 + 17640);
    ASSERT_TRUE(BASS_ChannelPause(h.get()));
    ASSERT_TRUE(BASS_ChannelSetPosition(h.get(), 7057, BASS_POS_BYTE));  // paused; rounded to a frame
    EXPECT_EQ(pos(h.get()), 7056);
    EXPECT_EQ(BASS_ChannelIsActive(h.get()), BASS_ACTIVE_PAUSED);
    EXPECT_FALSE(BASS_ChannelSetPosition(h.get(), 352804, BASS_POS_BYTE));
    EXPECT_EQ(pos(h.get()), 7056);
}

TEST_F(SilentPlayback, RateChangesSpeedAtOnceWhilePositionsStayInSourceBytes) {
    Handle h(PlayStream(wav));
    ASSERT_TRUE(h);
    ASSERT_TRUE(BASS_ChannelPlay(h.get(), TRUE));
    advance(100);
    ASSERT_TRUE(BASS_ChannelSlideAttribute(h.get(), BASS_ATTRIB_FREQ, 88200.0f, 0));
    float freq = 0;
    ASSERT_TRUE(BASS_ChannelGetAttribute(h.get(), BASS_ATTRIB_FREQ, &freq));
    EXPECT_EQ(freq, 88200.0f);
    advance(100);
    EXPECT_EQ(pos(h.get()), 17640 + 2 * 17640);
    ASSERT_TRUE(BASS_ChannelSlideAttribute(h.get(), BASS_ATTRIB_FREQ, 22050.0f, 0));
    advance(200);
    EXPECT_EQ(pos(h.get()), 3 * 17640 + 17640);
    // Seconds and bytes still convert at the source's own rate.
    EXPECT_EQ(BASS_ChannelSeconds2Bytes(h.get(), 0.02), 3528);
    BASS_CHANNELINFO info;
    ASSERT_TRUE(BASS_ChannelGetInfo(h.get(), &info));
    EXPECT_EQ(info.freq, 44100u);
}

TEST_F(SilentPlayback, TheEndStopsTheChannelAndLoopingWrapsWithoutAGap) {
    Handle h(PlayStream(wav));
    ASSERT_TRUE(h);
    ASSERT_TRUE(BASS_ChannelSetPosition(h.get(), 352800 - 17640, BASS_POS_BYTE));
    ASSERT_TRUE(BASS_ChannelPlay(h.get(), FALSE));
    advance(99);
    EXPECT_EQ(BASS_ChannelIsActive(h.get()), BASS_ACTIVE_PLAYING);
    advance(2);
    EXPECT_EQ(BASS_ChannelIsActive(h.get()), BASS_ACTIVE_STOPPED);
    EXPECT_EQ(pos(h.get()), 352800);
    advance(1000);
    EXPECT_EQ(pos(h.get()), 352800);

    EXPECT_EQ(BASS_ChannelFlags(h.get(), BASS_SAMPLE_LOOP, BASS_SAMPLE_LOOP) & BASS_SAMPLE_LOOP, BASS_SAMPLE_LOOP);
    ASSERT_TRUE(BASS_ChannelSetPosition(h.get(), 352800 - 17640, BASS_POS_BYTE));
    ASSERT_TRUE(BASS_ChannelPlay(h.get(), FALSE));
    advance(150);  // 100 ms to the end, 50 ms into the second round
    EXPECT_EQ(BASS_ChannelIsActive(h.get()), BASS_ACTIVE_PLAYING);
    EXPECT_EQ(pos(h.get()), 8820);
    advance(4000);  // two more whole rounds
    EXPECT_EQ(pos(h.get()), 8820);
    // Looping off: plays out to the end of this round.
    EXPECT_EQ(BASS_ChannelFlags(h.get(), 0, BASS_SAMPLE_LOOP) & BASS_SAMPLE_LOOP, 0u);
    advance(1940);
    EXPECT_EQ(BASS_ChannelIsActive(h.get()), BASS_ACTIVE_PLAYING);
    advance(20);
    EXPECT_EQ(BASS_ChannelIsActive(h.get()), BASS_ACTIVE_STOPPED);
}

TEST_F(SilentPlayback, StopPausesEverythingAndFreeReleasesAllHandles) {
    const DWORD a = PlayStream(wav);
    const DWORD b = PlayStream(wav);
    const DWORD d = DecodeStream(wav);
    ASSERT_NE(a, 0u);
    ASSERT_NE(b, 0u);
    ASSERT_TRUE(BASS_ChannelPlay(a, TRUE));
    EXPECT_FALSE(BASS_Init(-1, 44100, 0, nullptr, nullptr));  // once is enough
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ALREADY);
    ASSERT_TRUE(BASS_Stop());
    EXPECT_EQ(BASS_ChannelIsActive(a), BASS_ACTIVE_PAUSED);
    EXPECT_EQ(BASS_ChannelIsActive(b), BASS_ACTIVE_STOPPED);
    EXPECT_EQ(BASS_ChannelIsActive(d), BASS_ACTIVE_PLAYING);  // decode channels are not playback
    ASSERT_TRUE(BASS_Free());
    EXPECT_EQ(BASS_ChannelIsActive(a), BASS_ACTIVE_STOPPED);
    EXPECT_FALSE(BASS_StreamFree(a));
    EXPECT_FALSE(BASS_StreamFree(d));
    EXPECT_FALSE(BASS_Free());
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_INIT);
    ASSERT_TRUE(BASS_Init(0, 44100, 0, nullptr, nullptr));  // for TearDown
}

TEST(SilentOutput, ChosenByTheEnvironmentAndUsedBeforeInit) {
    // Without BASS_Init, playback streams still play, on the silent output.
    const Bytes wav = MakeWav(44100, 1, std::vector<std::int16_t>(44100, 0));
    {
        Handle h(PlayStream(wav));
        ASSERT_TRUE(h);
        EXPECT_TRUE(BASS_Test_OutputIsSilent());
        EXPECT_TRUE(BASS_ChannelPlay(h.get(), TRUE));
        EXPECT_EQ(BASS_ChannelIsActive(h.get()), BASS_ACTIVE_PLAYING);
    }
    ASSERT_EQ(setenv("QERIMOLRC_AUDIO", "null", 1), 0);
    EXPECT_TRUE(BASS_Init(-1, 44100, 0, nullptr, nullptr));
    EXPECT_TRUE(BASS_Test_OutputIsSilent());
    EXPECT_TRUE(BASS_Free());
    unsetenv("QERIMOLRC_AUDIO");
}

TEST(SilentOutput, WithoutADeviceInitFailsAndPlaybackCarriesOnSilently) {
    // A sound server that is not there: ALSA then has no default device on a machine
    // without a sound card, and PortAudio none to open.
    const char* old = std::getenv("PULSE_SERVER");
    const std::string saved = old ? old : "";
    ASSERT_EQ(setenv("PULSE_SERVER", "unix:/nonexistent/qlrc-no-server", 1), 0);
    const BOOL ok = BASS_Init(-1, 44100, 0, nullptr, nullptr);
    const int code = BASS_ErrorGetCode();
    if (old) setenv("PULSE_SERVER", saved.c_str(), 1);
    else unsetenv("PULSE_SERVER");
    if (ok) {
        BASS_Free();
        GTEST_SKIP() << "this machine has a sound card";
    }
    EXPECT_EQ(code, BASS_ERROR_DRIVER);
    EXPECT_TRUE(BASS_Test_OutputIsSilent());
    const Bytes wav = MakeWav(44100, 2, std::vector<std::int16_t>(2 * 44100, 0));
    Handle h(PlayStream(wav));
    ASSERT_TRUE(h);
    EXPECT_TRUE(BASS_ChannelPlay(h.get(), TRUE));
    EXPECT_EQ(BASS_ChannelIsActive(h.get()), BASS_ACTIVE_PLAYING);
    EXPECT_FALSE(BASS_Free());  // it was never initialised
}

}  // namespace
}  // namespace qlrc::audio::test
