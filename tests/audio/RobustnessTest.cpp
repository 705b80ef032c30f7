// Handles that are 0, stale or unknown, wrong arguments, and bytes no decoder should
// take: every case ends in an error result or a short clean decode, never a crash or hang.
#include "AudioTestUtil.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>

namespace qlrc::audio::test {
namespace {

// Every function on `h` gives its error result and BASS_ERROR_HANDLE.
void ExpectDeadHandle(DWORD h) {
    char buf[64];
    float value = 0;
    BASS_CHANNELINFO info;
    EXPECT_EQ(BASS_ChannelIsActive(h), BASS_ACTIVE_STOPPED);
    EXPECT_FALSE(BASS_ChannelPlay(h, TRUE));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
    EXPECT_FALSE(BASS_ChannelPause(h));
    EXPECT_FALSE(BASS_ChannelStop(h));
    EXPECT_EQ(BASS_ChannelGetLength(h, BASS_POS_BYTE), -1);
    EXPECT_EQ(BASS_ChannelGetPosition(h, BASS_POS_BYTE), -1);
    EXPECT_FALSE(BASS_ChannelSetPosition(h, 0, BASS_POS_BYTE));
    EXPECT_EQ(BASS_ChannelSeconds2Bytes(h, 0.02), -1);
    EXPECT_LT(BASS_ChannelBytes2Seconds(h, 3528), 0.0);
    EXPECT_EQ(BASS_ChannelGetLevel(h), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
    EXPECT_EQ(BASS_ChannelGetData(h, buf, sizeof buf), static_cast<DWORD>(-1));
    EXPECT_FALSE(BASS_ChannelGetInfo(h, &info));
    EXPECT_FALSE(BASS_ChannelGetAttribute(h, BASS_ATTRIB_FREQ, &value));
    EXPECT_FALSE(BASS_ChannelSlideAttribute(h, BASS_ATTRIB_FREQ, 22050, 0));
    EXPECT_EQ(BASS_ChannelFlags(h, BASS_SAMPLE_LOOP, BASS_SAMPLE_LOOP), static_cast<DWORD>(-1));
    EXPECT_FALSE(BASS_StreamFree(h));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
}

TEST(AudioHandles, ZeroStaleAndUnknownHandlesAreErrorsNotCrashes) {
    ExpectDeadHandle(0);
    ExpectDeadHandle(0xDEADBEEF);
    const Bytes wav = MakeWav(44100, 2, std::vector<std::int16_t>(8000, 5));
    const DWORD h = DecodeStream(wav);
    ASSERT_NE(h, 0u);
    EXPECT_TRUE(BASS_StreamFree(h));
    ExpectDeadHandle(h);
    // A new stream never gets the freed number back.
    Handle again(DecodeStream(wav));
    EXPECT_NE(again.get(), h);
}

TEST(AudioHandles, WrongArgumentsAreRefused) {
    const Bytes wav = MakeWav(44100, 2, std::vector<std::int16_t>(8000, 5));
    Handle d(DecodeStream(wav));
    ASSERT_TRUE(d);
    EXPECT_FALSE(BASS_ChannelPlay(d.get(), TRUE));  // decode channels are pulled, not played
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_DECODE);
    EXPECT_EQ(BASS_ChannelGetLength(d.get(), 1), -1);  // only byte positions
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLTYPE);
    float v = 0;
    EXPECT_FALSE(BASS_ChannelGetAttribute(d.get(), 2, &v));
    EXPECT_FALSE(BASS_ChannelGetAttribute(d.get(), BASS_ATTRIB_FREQ, nullptr));
    EXPECT_FALSE(BASS_ChannelGetInfo(d.get(), nullptr));
    EXPECT_EQ(BASS_ChannelGetData(d.get(), nullptr, 100), static_cast<DWORD>(-1));
    char buf[16];
    EXPECT_EQ(BASS_ChannelGetData(d.get(), buf, 0x80000000u | 16u), static_cast<DWORD>(-1));  // FFT flags
    EXPECT_FALSE(BASS_ChannelSlideAttribute(d.get(), BASS_ATTRIB_FREQ, 0.0f, 0));
    EXPECT_FALSE(BASS_ChannelSlideAttribute(d.get(), BASS_ATTRIB_FREQ, std::nanf(""), 0));
    EXPECT_TRUE(BASS_ChannelSlideAttribute(d.get(), BASS_ATTRIB_FREQ, 22050.0f, 0));
    ASSERT_TRUE(BASS_ChannelGetAttribute(d.get(), BASS_ATTRIB_FREQ, &v));
    EXPECT_EQ(v, 22050.0f);
    // The loop flag is the only one that changes.
    EXPECT_EQ(BASS_ChannelFlags(d.get(), BASS_SAMPLE_LOOP, BASS_SAMPLE_LOOP) & BASS_SAMPLE_LOOP, BASS_SAMPLE_LOOP);
    EXPECT_EQ(BASS_ChannelFlags(d.get(), 0, BASS_SAMPLE_LOOP) & BASS_SAMPLE_LOOP, 0u);
    EXPECT_EQ(BASS_ChannelFlags(d.get(), BASS_SAMPLE_8BITS, BASS_SAMPLE_8BITS) & BASS_SAMPLE_8BITS, 0u);

    EXPECT_EQ(BASS_StreamCreateFile(TRUE, nullptr, 0, 10, BASS_STREAM_DECODE), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLPARAM);
    EXPECT_EQ(BASS_StreamCreateFile(TRUE, wav.data(), 0, 0, BASS_STREAM_DECODE), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLPARAM);
    EXPECT_EQ(BASS_StreamCreateFile(TRUE, wav.data(), -1, 10, BASS_STREAM_DECODE), 0u);
    EXPECT_EQ(BASS_StreamCreateFile(TRUE, wav.data(), 0, static_cast<QWORD>(wav.size()), BASS_SAMPLE_FLOAT), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FORMAT);
}

// Creating a stream over `bytes` either fails cleanly or yields a channel that decodes
// to its end in bounded time, with position and length agreeing.
void ExpectCleanOutcome(const Bytes& bytes, bool mustFail) {
    const DWORD h = DecodeStream(bytes);
    if (h == 0) {
        EXPECT_NE(BASS_ErrorGetCode(), BASS_OK);
        return;
    }
    EXPECT_FALSE(mustFail) << "accepted " << bytes.size() << " bytes that are no audio";
    const QWORD declared = BASS_ChannelGetLength(h, BASS_POS_BYTE);
    EXPECT_GE(declared, 0);
    int levels = 0;
    while (BASS_ChannelIsActive(h) == BASS_ACTIVE_PLAYING && levels < 100000) {
        const DWORD level = BASS_ChannelGetLevel(h);
        ASSERT_LE(level & 0xFFFF, 32768u);
        ASSERT_LE(level >> 16, 32768u);
        ++levels;
    }
    EXPECT_LT(levels, 100000) << "never ended";
    EXPECT_EQ(BASS_ChannelGetPosition(h, BASS_POS_BYTE), BASS_ChannelGetLength(h, BASS_POS_BYTE));
    EXPECT_TRUE(BASS_ChannelSetPosition(h, 0, BASS_POS_BYTE));
    EXPECT_TRUE(BASS_StreamFree(h));
}

TEST(AudioBrokenInput, NoiseZerosAndTextAreRefused) {
    std::mt19937 rng(20240611);
    for (const std::size_t size : {1u, 3u, 4u, 100u, 417u, 4096u, 65536u, 1u << 20}) {
        SCOPED_TRACE(size);
        Bytes noise(size);
        for (auto& b : noise) b = static_cast<std::uint8_t>(rng());
        ExpectCleanOutcome(noise, true);
        ExpectCleanOutcome(Bytes(size, 0), true);
        ExpectCleanOutcome(Bytes(size, 0xFF), true);
    }
    std::string text;
    for (int i = 0; i < 200; ++i) text += "[00:12.34]this is a lyric line, not audio at all\r\n";
    ExpectCleanOutcome(Bytes(text.begin(), text.end()), true);
    const Bytes mod = MakeModule();
    ExpectCleanOutcome(mod, true);
}

TEST(AudioBrokenInput, AnMpegHeaderFollowedByGarbage) {
    const Bytes mp3 = Fx().bytes("cbr.mp3");
    ASSERT_GT(mp3.size(), 2000u);
    std::mt19937 rng(7);
    // A real first frame header (and body), then noise.
    std::size_t first = 0;
    while (first + 1 < mp3.size() && !(mp3[first] == 0xFF && (mp3[first + 1] & 0xE0) == 0xE0)) ++first;
    for (const std::size_t keep : {first + 4, first + 200, first + 418, first + 1000}) {
        SCOPED_TRACE(keep);
        Bytes b(mp3.begin(), mp3.begin() + static_cast<std::ptrdiff_t>(keep));
        for (int i = 0; i < 50000; ++i) b.push_back(static_cast<std::uint8_t>(rng()));
        ExpectCleanOutcome(b, false);
    }
    // The header repeated over and over with nothing valid between.
    Bytes headers;
    for (int i = 0; i < 2000; ++i) headers.insert(headers.end(), mp3.begin() + static_cast<std::ptrdiff_t>(first), mp3.begin() + static_cast<std::ptrdiff_t>(first) + 4);
    ExpectCleanOutcome(headers, false);
}

TEST(AudioBrokenInput, TruncatedFilesAtManyOffsets) {
    for (const char* name : {"vbr.mp3", "id3.mp3", "w16.wav", "t.flac", "t.ogg", "r8.mp3"}) {
        SCOPED_TRACE(name);
        const Bytes file = Fx().bytes(name);
        ASSERT_FALSE(file.empty());
        std::vector<std::size_t> cuts;
        for (std::size_t n = 0; n < 300 && n < file.size(); n += 7) cuts.push_back(n);
        for (std::size_t n = 300; n < file.size(); n += file.size() / 40 + 1) cuts.push_back(n);
        for (const std::size_t n : cuts) {
            SCOPED_TRACE(n);
            if (n == 0) continue;
            ExpectCleanOutcome(Bytes(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(n)), false);
        }
    }
}

TEST(AudioBrokenInput, CorruptedBytesInsideRealFiles) {
    std::mt19937 rng(99);
    for (const char* name : {"vbr.mp3", "w16.wav", "t.flac"}) {
        SCOPED_TRACE(name);
        const Bytes file = Fx().bytes(name);
        for (int round = 0; round < 20; ++round) {
            Bytes b = file;
            for (int i = 0; i < 30; ++i) b[rng() % b.size()] = static_cast<std::uint8_t>(rng());
            ExpectCleanOutcome(b, false);
        }
    }
}

}  // namespace
}  // namespace qlrc::audio::test
