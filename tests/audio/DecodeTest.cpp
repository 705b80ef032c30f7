// Decode channels: samples against the mpg123 command, lengths, unit conversions,
// levels, GetData/SetPosition, channel information, the libsndfile and module formats.
#include "AudioTestUtil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace qlrc::audio::test {
namespace {

class DecodeTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Fx().error.empty()) << Fx().error;
    }
};

// ---- MP3 against the mpg123 command ---------------------------------------------------

TEST_F(DecodeTest, EveryMpegFixtureDecodesToTheSameSamplesAsMpg123) {
    for (const std::string& name : Fx().mp3s) {
        SCOPED_TRACE(name);
        const Bytes file = Fx().bytes(name);
        const Bytes reference = Fx().bytes(name + ".raw");
        ASSERT_FALSE(reference.empty());
        Handle h(DecodeStream(file));
        ASSERT_TRUE(h) << BASS_ErrorGetCode();
        EXPECT_EQ(BASS_ChannelGetLength(h.get(), BASS_POS_BYTE), static_cast<QWORD>(reference.size()));
        const Bytes decoded = DecodeRest(h.get());
        ASSERT_EQ(decoded.size(), reference.size());
        const auto mismatch = std::mismatch(decoded.begin(), decoded.end(), reference.begin());
        EXPECT_TRUE(mismatch.first == decoded.end()) << "first differing byte " << (mismatch.first - decoded.begin());
        EXPECT_EQ(BASS_ChannelGetPosition(h.get(), BASS_POS_BYTE), static_cast<QWORD>(reference.size()));
        EXPECT_EQ(BASS_ChannelIsActive(h.get()), BASS_ACTIVE_STOPPED);
        EXPECT_EQ(BASS_ChannelGetData(h.get(), std::vector<char>(100).data(), 100), 0u);
    }
}

TEST_F(DecodeTest, ChannelInfoRatesAndLayersOfTheMpegFixtures) {
    struct Case { const char* name; DWORD freq, chans, ctype; };
    const Case cases[] = {
        {"cbr.mp3", 44100, 2, BASS_CTYPE_STREAM_MP3},  {"vbr.mp3", 44100, 2, BASS_CTYPE_STREAM_MP3},
        {"mono48.mp3", 48000, 1, BASS_CTYPE_STREAM_MP3}, {"r22.mp3", 22050, 2, BASS_CTYPE_STREAM_MP3},
        {"r8.mp3", 8000, 1, BASS_CTYPE_STREAM_MP3},    {"id3.mp3", 44100, 2, BASS_CTYPE_STREAM_MP3},
        {"layer2.mp2", 44100, 2, BASS_CTYPE_STREAM_MP2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes file = Fx().bytes(c.name);
        Handle h(DecodeStream(file));
        ASSERT_TRUE(h);
        BASS_CHANNELINFO info;
        ASSERT_TRUE(BASS_ChannelGetInfo(h.get(), &info));
        EXPECT_EQ(info.freq, c.freq);
        EXPECT_EQ(info.chans, c.chans);
        EXPECT_EQ(info.ctype, c.ctype);
        EXPECT_EQ(info.flags & BASS_SAMPLE_8BITS, 0u);
        EXPECT_EQ(info.flags & BASS_STREAM_DECODE, BASS_STREAM_DECODE);
        float freq = 0;
        ASSERT_TRUE(BASS_ChannelGetAttribute(h.get(), BASS_ATTRIB_FREQ, &freq));
        EXPECT_EQ(freq, static_cast<float>(c.freq));
    }
}

TEST_F(DecodeTest, SecondsAndBytesConvertAtTheSourceRate) {
    const Bytes cbr = Fx().bytes("cbr.mp3");
    Handle h(DecodeStream(cbr));
    ASSERT_TRUE(h);
    EXPECT_EQ(BASS_ChannelSeconds2Bytes(h.get(), 0.02), 3528);
    EXPECT_EQ(BASS_ChannelSeconds2Bytes(h.get(), 1.0), 176400);
    EXPECT_EQ(BASS_ChannelSeconds2Bytes(h.get(), 0.0), 0);
    EXPECT_EQ(BASS_ChannelSeconds2Bytes(h.get(), 1.2345), 54441 * 4);  // whole frames (54441.45)
    EXPECT_EQ(BASS_ChannelSeconds2Bytes(h.get(), -0.5), -1);
    EXPECT_EQ(BASS_ChannelSeconds2Bytes(h.get(), std::nan("")), -1);
    EXPECT_DOUBLE_EQ(BASS_ChannelBytes2Seconds(h.get(), 176400), 1.0);
    EXPECT_DOUBLE_EQ(BASS_ChannelBytes2Seconds(h.get(), 3528), 0.02);
    // Three seconds of audio, give or take the encoder's last frame.
    EXPECT_NEAR(BASS_ChannelBytes2Seconds(h.get(), BASS_ChannelGetLength(h.get(), BASS_POS_BYTE)), 3.0, 0.001);

    const Bytes mono = Fx().bytes("mono48.mp3");
    Handle m(DecodeStream(mono));
    ASSERT_TRUE(m);
    EXPECT_EQ(BASS_ChannelSeconds2Bytes(m.get(), 0.02), 1920);
    const Bytes r22 = Fx().bytes("r22.mp3");
    Handle r(DecodeStream(r22));
    ASSERT_TRUE(r);
    EXPECT_EQ(BASS_ChannelSeconds2Bytes(r.get(), 0.02), 1764);
}

// ---- levels ---------------------------------------------------------------------------

// 20 ms blocks at 44.1 kHz stereo whose peaks are known: block k peaks at
// left = 1000 k + 7 (positive), right = -(500 k + 3) (negative), the rest quieter.
std::vector<std::int16_t> LevelSamples(int blocks, int lastBlockFrames) {
    std::vector<std::int16_t> s;
    for (int k = 0; k < blocks; ++k) {
        const int frames = k + 1 == blocks ? lastBlockFrames : 882;
        for (int f = 0; f < frames; ++f) {
            const bool peak = f == (k * 37) % frames;
            s.push_back(static_cast<std::int16_t>(peak ? 1000 * k + 7 : (f % 2 ? 100 : -100)));
            s.push_back(static_cast<std::int16_t>(peak ? -(500 * k + 3) : 50));
        }
    }
    return s;
}

TEST_F(DecodeTest, LevelGivesTheKnownPeaksOfEachTwentyMilliseconds) {
    const int blocks = 30;
    const Bytes wav = MakeWav(44100, 2, LevelSamples(blocks, 300));
    Handle h(DecodeStream(wav));
    ASSERT_TRUE(h);
    for (int k = 0; k < blocks; ++k) {
        SCOPED_TRACE(k);
        ASSERT_EQ(BASS_ChannelIsActive(h.get()), BASS_ACTIVE_PLAYING);
        const DWORD level = BASS_ChannelGetLevel(h.get());
        EXPECT_EQ(level & 0xFFFF, static_cast<DWORD>(std::max(1000 * k + 7, 100)));
        EXPECT_EQ(level >> 16, static_cast<DWORD>(std::max(500 * k + 3, 50)));
        const QWORD expectedPos = k + 1 == blocks ? (882 * (blocks - 1) + 300) * 4 : 3528 * (k + 1);
        EXPECT_EQ(BASS_ChannelGetPosition(h.get(), BASS_POS_BYTE), expectedPos);
    }
    EXPECT_EQ(BASS_ChannelIsActive(h.get()), BASS_ACTIVE_STOPPED);
    EXPECT_EQ(BASS_ChannelGetLevel(h.get()), 0u);  // nothing left: silence, never -1
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ENDED);
}

TEST_F(DecodeTest, LevelOfFullScaleMonoAndEightBitSources) {
    // Full negative scale reads 32768; mono gives the same peak left and right.
    std::vector<std::int16_t> mono(882, 0);
    mono[10] = -32768;
    mono.insert(mono.end(), 882, 0);
    mono[882 + 5] = 32767;
    Handle m(DecodeStream(MakeWav(44100, 1, mono)));
    ASSERT_TRUE(m);
    EXPECT_EQ(BASS_ChannelGetLevel(m.get()), 32768u | (32768u << 16));
    EXPECT_EQ(BASS_ChannelGetLevel(m.get()), 32767u | (32767u << 16));

    // 8-bit: (sample - 128) * 256; 0 is full negative scale.
    std::vector<std::uint8_t> eight(2 * 220, 128);  // 11025 Hz stereo: 20 ms = 220 frames
    eight[0] = 0;
    eight[3] = 255;
    const Bytes wav8 = MakeWav8(11025, 2, eight);
    Handle e(DecodeStream(wav8));
    ASSERT_TRUE(e);
    EXPECT_EQ(BASS_ChannelSeconds2Bytes(e.get(), 0.02), 440);
    EXPECT_EQ(BASS_ChannelGetLevel(e.get()), 32768u | (127u * 256u << 16));
}

TEST_F(DecodeTest, LevelsOfEveryMpegFixtureAreThePeaksOfMpg123sSamples) {
    // Each GetLevel equals the peaks of the same 20 ms of the mpg123 command's output.
    for (const std::string& name : Fx().mp3s) {
        SCOPED_TRACE(name);
        const Bytes file = Fx().bytes(name);
        const Bytes ref = Fx().bytes(name + ".raw");
        Handle h(DecodeStream(file));
        ASSERT_TRUE(h);
        BASS_CHANNELINFO info;
        ASSERT_TRUE(BASS_ChannelGetInfo(h.get(), &info));
        const std::size_t ch = info.chans;
        const auto block = static_cast<std::size_t>(BASS_ChannelSeconds2Bytes(h.get(), 0.02)) / 2;  // samples
        std::size_t at = 0, blocks = 0;
        while (BASS_ChannelIsActive(h.get()) == BASS_ACTIVE_PLAYING) {
            const DWORD level = BASS_ChannelGetLevel(h.get());
            DWORD peak[2] = {0, 0};
            for (std::size_t i = at; i < std::min(at + block, ref.size() / 2); ++i) {
                std::int16_t v;
                std::memcpy(&v, ref.data() + 2 * i, 2);
                const DWORD a = static_cast<DWORD>(std::abs(static_cast<int>(v)));
                peak[(i - at) % ch] = std::max(peak[(i - at) % ch], a);
            }
            if (ch == 1) peak[1] = peak[0];
            ASSERT_EQ(level, peak[0] | (peak[1] << 16)) << "block " << blocks;
            at += block;
            ++blocks;
        }
        EXPECT_EQ(blocks, (ref.size() / 2 + block - 1) / block);
    }
}

// ---- GetData and SetPosition ------------------------------------------------------------

TEST_F(DecodeTest, GetDataAndSetPositionRoundTripOnPcm) {
    // Sample value = its frame index (mod 30000), right channel negated.
    std::vector<std::int16_t> s;
    for (int f = 0; f < 100000; ++f) {
        s.push_back(static_cast<std::int16_t>(f % 30000));
        s.push_back(static_cast<std::int16_t>(-(f % 30000)));
    }
    const Bytes wav = MakeWav(44100, 2, s);
    Handle h(DecodeStream(wav));
    ASSERT_TRUE(h);
    EXPECT_EQ(BASS_ChannelGetLength(h.get(), BASS_POS_BYTE), 400000);
    for (const QWORD pos : {QWORD{0}, QWORD{4}, QWORD{123456}, QWORD{399996}, QWORD{200001}, QWORD{16}}) {
        SCOPED_TRACE(pos);
        ASSERT_TRUE(BASS_ChannelSetPosition(h.get(), pos, BASS_POS_BYTE));
        const QWORD frame = pos / 4;  // rounded down to a whole frame
        EXPECT_EQ(BASS_ChannelGetPosition(h.get(), BASS_POS_BYTE), frame * 4);
        std::int16_t buf[64] = {};
        const DWORD got = BASS_ChannelGetData(h.get(), buf, sizeof buf);
        ASSERT_EQ(got, std::min<QWORD>(sizeof buf, 400000 - frame * 4));
        for (DWORD i = 0; i < got / 4; ++i) {
            EXPECT_EQ(buf[2 * i], static_cast<std::int16_t>((frame + i) % 30000));
            EXPECT_EQ(buf[2 * i + 1], static_cast<std::int16_t>(-((frame + i) % 30000)));
        }
        EXPECT_EQ(BASS_ChannelGetPosition(h.get(), BASS_POS_BYTE), frame * 4 + got);
    }
    // Odd byte counts deliver whole frames only.
    ASSERT_TRUE(BASS_ChannelSetPosition(h.get(), 0, BASS_POS_BYTE));
    std::int16_t buf[8];
    EXPECT_EQ(BASS_ChannelGetData(h.get(), buf, 7), 4u);
    // The end is a valid position; beyond it is refused and changes nothing.
    EXPECT_TRUE(BASS_ChannelSetPosition(h.get(), 400000, BASS_POS_BYTE));
    EXPECT_EQ(BASS_ChannelIsActive(h.get()), BASS_ACTIVE_STOPPED);
    EXPECT_FALSE(BASS_ChannelSetPosition(h.get(), 400004, BASS_POS_BYTE));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_POSITION);
    EXPECT_FALSE(BASS_ChannelSetPosition(h.get(), -4, BASS_POS_BYTE));
    EXPECT_EQ(BASS_ChannelGetPosition(h.get(), BASS_POS_BYTE), 400000);
}

TEST_F(DecodeTest, SeekingAnMp3IsSampleExact) {
    for (const char* name : {"vbr.mp3", "cbr.mp3", "mono48.mp3", "r22.mp3", "r8.mp3", "layer2.mp2"}) {
        SCOPED_TRACE(name);
        const Bytes file = Fx().bytes(name);
        const Bytes ref = Fx().bytes(std::string(name) + ".raw");
        Handle h(DecodeStream(file));
        ASSERT_TRUE(h);
        BASS_CHANNELINFO info;
        ASSERT_TRUE(BASS_ChannelGetInfo(h.get(), &info));
        const QWORD bpf = 2 * info.chans;
        for (const double at : {1.25, 0.0, 0.7311, 1.4, 0.013, 0.5}) {
            SCOPED_TRACE(at);
            const QWORD pos = BASS_ChannelSeconds2Bytes(h.get(), at);
            ASSERT_EQ(pos % bpf, 0);
            ASSERT_TRUE(BASS_ChannelSetPosition(h.get(), pos, BASS_POS_BYTE));
            std::vector<std::uint8_t> buf(10000);
            const DWORD got = BASS_ChannelGetData(h.get(), buf.data(), 10000);
            ASSERT_EQ(got, std::min<QWORD>(10000 / bpf * bpf, static_cast<QWORD>(ref.size()) - pos));
            // Sample-exact position; the values may differ in the last bit, because after
            // a seek libmpg123's synthesis filter runs in a different phase.
            int worst = 0;
            for (DWORD i = 0; i + 1 < got; i += 2) {
                std::int16_t a, b;
                std::memcpy(&a, buf.data() + i, 2);
                std::memcpy(&b, ref.data() + pos + i, 2);
                worst = std::max(worst, std::abs(a - b));
            }
            EXPECT_LE(worst, 1);
        }
    }
}

// ---- libsndfile formats --------------------------------------------------------------------

TEST_F(DecodeTest, PcmWavSamplesComeOutUnchanged) {
    std::vector<std::int16_t> s16;
    for (int i = 0; i < 5000; ++i) s16.push_back(static_cast<std::int16_t>(i * 13 - 30000));
    const Bytes wav16 = MakeWav(22050, 1, s16);
    Handle h16(DecodeStream(wav16));
    ASSERT_TRUE(h16);
    const Bytes d16 = DecodeRest(h16.get());
    ASSERT_EQ(d16.size(), s16.size() * 2);
    EXPECT_EQ(std::memcmp(d16.data(), s16.data(), d16.size()), 0);

    std::vector<std::uint8_t> s8;
    for (int i = 0; i < 3001; ++i) s8.push_back(static_cast<std::uint8_t>(i * 7));
    const Bytes wav8 = MakeWav8(8000, 1, s8);
    Handle h8(DecodeStream(wav8));
    ASSERT_TRUE(h8);
    BASS_CHANNELINFO info;
    ASSERT_TRUE(BASS_ChannelGetInfo(h8.get(), &info));
    EXPECT_EQ(info.flags & BASS_SAMPLE_8BITS, BASS_SAMPLE_8BITS);
    EXPECT_EQ(info.origres, 8u);
    EXPECT_EQ(BASS_ChannelGetLength(h8.get(), BASS_POS_BYTE), 3001);
    EXPECT_EQ(BASS_ChannelSeconds2Bytes(h8.get(), 0.5), 4000);
    EXPECT_EQ(DecodeRest(h8.get()), s8);
}

TEST_F(DecodeTest, OtherSndfileFormatsOpenWithTheirRatesAndLengths) {
    struct Case { const char* name; DWORD freq, chans, ctype; QWORD frames; bool eight; };
    const Case cases[] = {
        {"w16.wav", 44100, 2, BASS_CTYPE_STREAM_WAV_PCM, 44100, false},
        {"w8.wav", 11025, 1, BASS_CTYPE_STREAM_WAV_PCM, 11025, true},
        {"w24.wav", 48000, 2, BASS_CTYPE_STREAM_WAV_PCM, 48000, false},
        {"wf.wav", 44100, 2, BASS_CTYPE_STREAM_WAV_FLOAT, 44100, false},
        {"t.flac", 44100, 2, BASS_CTYPE_STREAM_FLAC, 44100, false},
        {"t.ogg", 44100, 2, BASS_CTYPE_STREAM_OGG, 44100, false},
        {"t.opus", 48000, 2, BASS_CTYPE_STREAM_OPUS, 48000, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes file = Fx().bytes(c.name);
        Handle h(DecodeStream(file));
        ASSERT_TRUE(h) << BASS_ErrorGetCode();
        BASS_CHANNELINFO info;
        ASSERT_TRUE(BASS_ChannelGetInfo(h.get(), &info));
        EXPECT_EQ(info.freq, c.freq);
        EXPECT_EQ(info.chans, c.chans);
        EXPECT_EQ(info.ctype, c.ctype);
        EXPECT_EQ((info.flags & BASS_SAMPLE_8BITS) != 0, c.eight);
        const QWORD bpf = info.chans * (c.eight ? 1 : 2);
        const QWORD length = BASS_ChannelGetLength(h.get(), BASS_POS_BYTE);
        EXPECT_NEAR(static_cast<double>(length), static_cast<double>(c.frames * bpf), 0.01 * c.frames * bpf);
        const Bytes all = DecodeRest(h.get());
        EXPECT_EQ(static_cast<QWORD>(all.size()), BASS_ChannelGetLength(h.get(), BASS_POS_BYTE));
        // A sine at 440 Hz: loud somewhere, never clipped past full scale.
        ASSERT_TRUE(BASS_ChannelSetPosition(h.get(), BASS_ChannelSeconds2Bytes(h.get(), 0.5), BASS_POS_BYTE));
        const DWORD level = BASS_ChannelGetLevel(h.get());
        EXPECT_GT(level & 0xFFFF, 5000u);
        EXPECT_LE(level & 0xFFFF, 32768u);
    }
}

// ---- modules ------------------------------------------------------------------------------

TEST_F(DecodeTest, ModuleFilesLoadThroughMusicLoadOnly) {
    const Bytes mod = MakeModule();
    EXPECT_EQ(DecodeStream(mod), 0u);  // not a stream format
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEFORM);
    // The size of a memory block cannot be guessed: length 0 is refused, not over-read.
    EXPECT_EQ(BASS_MusicLoad(TRUE, mod.data(), 0, 0, BASS_MUSIC_DECODE, 0), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLPARAM);

    Handle h(BASS_MusicLoad(TRUE, mod.data(), 0, static_cast<DWORD>(mod.size()), BASS_MUSIC_DECODE, 0));
    ASSERT_TRUE(h) << BASS_ErrorGetCode();
    BASS_CHANNELINFO info;
    ASSERT_TRUE(BASS_ChannelGetInfo(h.get(), &info));
    EXPECT_EQ(info.freq, 44100u);
    EXPECT_EQ(info.chans, 2u);
    EXPECT_EQ(info.ctype, BASS_CTYPE_MUSIC_MOD);
    // 64 rows at speed 6, 125 BPM: 7.68 s.
    EXPECT_NEAR(BASS_ChannelBytes2Seconds(h.get(), BASS_ChannelGetLength(h.get(), BASS_POS_BYTE)), 7.68, 0.05);
    DWORD loudest = 0;
    while (BASS_ChannelIsActive(h.get()) == BASS_ACTIVE_PLAYING) loudest = std::max(loudest, BASS_ChannelGetLevel(h.get()) & 0xFFFF);
    EXPECT_GT(loudest, 1000u);
    EXPECT_EQ(BASS_ChannelGetPosition(h.get(), BASS_POS_BYTE), BASS_ChannelGetLength(h.get(), BASS_POS_BYTE));

    EXPECT_EQ(BASS_MusicLoad(TRUE, Fx().bytes("cbr.mp3").data(), 0, 1000, BASS_MUSIC_DECODE, 0), 0u);
}

TEST_F(DecodeTest, StreamsFromFilePathsAndPartsOfBlocks) {
    Handle h(BASS_StreamCreateFile(FALSE, Fx().path("cbr.mp3").c_str(), 0, 0, BASS_STREAM_DECODE));
    ASSERT_TRUE(h);
    EXPECT_EQ(BASS_ChannelGetLength(h.get(), BASS_POS_BYTE), static_cast<QWORD>(Fx().bytes("cbr.mp3.raw").size()));
    EXPECT_EQ(BASS_StreamCreateFile(FALSE, (Fx().dir / "missing.mp3").c_str(), 0, 0, BASS_STREAM_DECODE), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEOPEN);

    // offset/length select a WAV inside a larger block; the caller's block may go away.
    std::vector<std::int16_t> s(1000, 1234);
    const Bytes wav = MakeWav(44100, 1, s);
    auto block = std::make_unique<Bytes>(100, 0xAA);
    block->insert(block->end(), wav.begin(), wav.end());
    block->insert(block->end(), 100, 0xBB);
    Handle w(BASS_StreamCreateFile(TRUE, block->data(), 100, static_cast<QWORD>(wav.size()), BASS_STREAM_DECODE));
    ASSERT_TRUE(w);
    block.reset();
    const Bytes all = DecodeRest(w.get());
    ASSERT_EQ(all.size(), 2000u);
    EXPECT_EQ(all[0], 1234 & 0xFF);
}

}  // namespace
}  // namespace qlrc::audio::test
