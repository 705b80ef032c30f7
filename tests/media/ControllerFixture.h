// Shared set-up of the controller suites: the audio layer on its silent output
// (QERIMOLRC_AUDIO=null), its clock stepped by hand, and audio images made in memory.
#pragma once

#include "TavreloMedia.h"

#include "Fixtures.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>


namespace controller_test {

using qlrc::audio::test::Bytes;
using qlrc::audio::test::MakeWav;

inline constexpr std::int64_t kNsPerMs = 1'000'000;

// Three lines: 1000..2999, 3000..4999, 5000..2147483646.
inline const std::string kThreeLines = "[00:01.00]one\r\n[00:03.00]two\r\n[00:05.00]three\r\n";

// Seconds of a steady 44.1 kHz stereo tone (176400 bytes a second).
inline Bytes Tone(int seconds, std::int16_t level = 8000)
{
    return MakeWav(44100, 2, std::vector<std::int16_t>(static_cast<std::size_t>(seconds) * 2 * 44100, level));
}

// Phrases: 600 ms of silence, then 2400 ms of tone, `count` times. The sentence
// scan finds a start every 6 s: 400, 6400, 12400 ... ms.
inline Bytes Phrases(int count)
{
    std::vector<std::int16_t> samples;
    for (int k = 0; k < count; ++k) {
        samples.insert(samples.end(), 2 * 26460, 0);
        samples.insert(samples.end(), 2 * 105840, 9000);
    }
    return MakeWav(44100, 2, samples);
}

inline std::unique_ptr<TMemoryStream> StreamOf(const Bytes& bytes)
{
    return std::make_unique<TMemoryStream>(std::string(bytes.begin(), bytes.end()));
}

inline std::unique_ptr<TMemoryStream> StreamOf(const std::string& text)
{
    return std::make_unique<TMemoryStream>(text);
}

// Runs the event loop for about ms milliseconds.
inline void RunEventsFor(int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

class ControllerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ::setenv("QERIMOLRC_AUDIO", "null", 1); }

    void SetUp() override
    {
        BASS_Test_SetClock([this] { return FNow.load(); });
        ASSERT_TRUE(BASS_Init(-1, 44100, 0, nullptr, nullptr));
        ASSERT_TRUE(BASS_Test_OutputIsSilent());
    }

    void TearDown() override
    {
        FMedia.reset();
        EXPECT_TRUE(BASS_Free());
        BASS_Test_SetClock({});
    }

    void Advance(int ms) { FNow += ms * kNsPerMs; }

    // A controller over the audio and LRC text, opened.
    TAudioMedia& Open(const Bytes& audio, const std::string& lrc = kThreeLines)
    {
        FMedia = std::make_unique<TAudioMedia>(StreamOf(audio), StreamOf(lrc));
        FMedia->Open();
        return *FMedia;
    }

    // Playing, then paused at ms (a multiple of 10, so that the times come back exact).
    TAudioMedia& PausedAt(int ms, const Bytes& audio = Tone(10), const std::string& lrc = kThreeLines)
    {
        TAudioMedia& media = Open(audio, lrc);
        media.Play();
        media.TogglePause();
        media.SetPositionMs(ms);
        EXPECT_EQ(media.PositionMs(), ms);
        return media;
    }

    std::atomic<std::int64_t> FNow{1'000'000 * kNsPerMs};
    std::unique_ptr<TAudioMedia> FMedia;
};

}  // namespace controller_test
