// Several threads calling the layer at once: a scan thread pulling levels while the GUI
// thread drives playback, and handles freed while another thread is using them.
#include "AudioTestUtil.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace qlrc::audio::test {
namespace {

std::vector<DWORD> AllLevels(DWORD h) {
    std::vector<DWORD> out;
    while (BASS_ChannelIsActive(h) == BASS_ACTIVE_PLAYING) out.push_back(BASS_ChannelGetLevel(h));
    return out;
}

TEST(AudioConcurrency, ScanThreadsAndPlaybackAtTheSameTimeGiveTheSameResults) {
    ASSERT_TRUE(Fx().error.empty()) << Fx().error;
    const Bytes mp3 = Fx().bytes("vbr.mp3");
    std::vector<DWORD> expected;
    {
        Handle h(DecodeStream(mp3));
        ASSERT_TRUE(h);
        expected = AllLevels(h.get());
    }
    ASSERT_FALSE(expected.empty());

    // Silent output driven by the real clock unless a device is there; either way the
    // playback channel's state is touched from this thread while scans run.
    const bool init = BASS_Init(-1, 44100, 0, nullptr, nullptr) != FALSE;
    std::vector<std::vector<DWORD>> results(3);
    {
        std::vector<std::jthread> scans;
        for (auto& r : results)
            scans.emplace_back([&mp3, &r] {
                Handle h(DecodeStream(mp3));
                if (h) r = AllLevels(h.get());
            });
        Handle play(PlayStream(mp3));
        ASSERT_TRUE(play);
        for (int i = 0; i < 40; ++i) {
            EXPECT_TRUE(BASS_ChannelPlay(play.get(), i % 5 == 0));
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            EXPECT_GE(BASS_ChannelGetPosition(play.get(), BASS_POS_BYTE), 0);
            EXPECT_TRUE(BASS_ChannelSetPosition(play.get(), 4 * 1000 * i, BASS_POS_BYTE));
            EXPECT_TRUE(BASS_ChannelSlideAttribute(play.get(), BASS_ATTRIB_FREQ, i % 2 ? 44100.0f : 52000.0f, 0));
            EXPECT_TRUE(BASS_ChannelPause(play.get()));
            BASS_ChannelFlags(play.get(), i % 3 ? BASS_SAMPLE_LOOP : 0, BASS_SAMPLE_LOOP);
        }
    }
    for (const auto& r : results) EXPECT_EQ(r, expected);
    if (init) {
        EXPECT_TRUE(BASS_Free());
    }
}

TEST(AudioConcurrency, FreeingAHandleWhileAnotherThreadUsesItIsSafe) {
    const Bytes wav = MakeWav(44100, 2, std::vector<std::int16_t>(2 * 44100 * 2, 300));
    const bool init = BASS_Init(-1, 44100, 0, nullptr, nullptr) != FALSE;
    for (int round = 0; round < 20; ++round) {
        const DWORD decode = DecodeStream(wav);
        const DWORD play = PlayStream(wav);
        ASSERT_NE(decode, 0u);
        ASSERT_NE(play, 0u);
        ASSERT_TRUE(BASS_ChannelPlay(play, TRUE));
        std::atomic<bool> go{false};
        std::jthread user([&] {
            while (!go) std::this_thread::yield();
            for (int i = 0; i < 200; ++i) {
                BASS_ChannelGetLevel(decode);
                BASS_ChannelGetPosition(play, BASS_POS_BYTE);
                BASS_ChannelIsActive(play);
                BASS_ChannelSetPosition(play, 4 * i, BASS_POS_BYTE);
            }
        });
        go = true;
        std::this_thread::sleep_for(std::chrono::microseconds(100 * round));
        EXPECT_TRUE(BASS_StreamFree(decode));
        EXPECT_TRUE(BASS_StreamFree(play));
    }
    if (init) {
        EXPECT_TRUE(BASS_Free());
    }
}

}  // namespace
}  // namespace qlrc::audio::test
