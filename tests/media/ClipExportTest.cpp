// WAV clips cut from in-memory audio: header fields for the source formats, the read
// boundary, ranges at and past the ends, and sox reading the result back.
#include "ClipExport.h"
#include "PeakScanAudio.h"

#include "Streams.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

using namespace qlrc::scan::test;
using qlrc::audio::test::Fx;
using qlrc::audio::test::MakeWav;
using qlrc::audio::test::MakeWav8;
using qlrc::audio::test::ReadAll;
using qlrc::audio::test::WriteAll;

namespace {

std::uint32_t U32(const std::string& b, std::size_t at)
{
    return static_cast<std::uint32_t>(static_cast<std::uint8_t>(b[at])) |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(b[at + 1])) << 8 |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(b[at + 2])) << 16 |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(b[at + 3])) << 24;
}

std::uint32_t U16(const std::string& b, std::size_t at)
{
    return static_cast<std::uint32_t>(static_cast<std::uint8_t>(b[at])) |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(b[at + 1])) << 8;
}

struct THeader {
    std::uint32_t channels, rate, byteRate, blockAlign, bits, riffSize, dataSize;
};

THeader HeaderOf(const std::string& b)
{
    EXPECT_GE(b.size(), 44u);
    EXPECT_EQ(b.substr(0, 4), "RIFF");
    EXPECT_EQ(b.substr(8, 4), "WAVE");
    EXPECT_EQ(b.substr(12, 4), "fmt ");
    EXPECT_EQ(U32(b, 16), 16u);
    EXPECT_EQ(U16(b, 20), 1u);
    EXPECT_EQ(b.substr(36, 4), "data");
    return {U16(b, 22), U32(b, 24), U32(b, 28), U16(b, 32), U16(b, 34), U32(b, 4), U32(b, 40)};
}

// 16-bit samples counting up, so any slice of the data is recognisable.
std::vector<std::int16_t> Ramp(std::size_t count)
{
    std::vector<std::int16_t> s(count);
    for (std::size_t i = 0; i < count; ++i)
        s[i] = static_cast<std::int16_t>(i * 7);
    return s;
}

std::string Clip(const Bytes& source, std::int32_t startMs, std::int32_t endMs)
{
    const auto stream = StreamOf(source);
    const auto clip = BuildWavClip(stream.get(), startMs, endMs);
    EXPECT_EQ(clip->Position(), clip->Size());  // left at its end for the caller to rewind
    return clip->Bytes();
}

// Largest difference between two equally long runs of 16-bit samples (or a huge value
// when their lengths differ).
int MaxSampleDifference(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return 1 << 20;
    int most = 0;
    for (std::size_t i = 0; i + 1 < a.size(); i += 2) {
        std::int16_t x, y;
        std::memcpy(&x, a.data() + i, 2);
        std::memcpy(&y, b.data() + i, 2);
        most = std::max(most, std::abs(int{x} - int{y}));
    }
    return most;
}

std::string PcmOf(const Bytes& wav)  // the data of a 44-byte-header WAV made by MakeWav
{
    return std::string(wav.begin() + 44, wav.end());
}

}  // namespace

TEST(ClipExport, StereoSixteenBitHeaderAndTheReadBoundary)
{
    const Bytes wav = MakeWav(44100, 2, Ramp(44100 * 2));  // 1 s
    const std::string clip = Clip(wav, 0, 500);
    const THeader h = HeaderOf(clip);
    EXPECT_EQ(h.channels, 2u);
    EXPECT_EQ(h.rate, 44100u);
    EXPECT_EQ(h.byteRate, 176400u);
    EXPECT_EQ(h.blockAlign, 4u);
    EXPECT_EQ(h.bits, 16u);
    // 500 ms is byte 88200; reads of 10000 go on to the first boundary at or after it.
    ASSERT_EQ(clip.size(), 44u + 90000u);
    EXPECT_EQ(h.riffSize, clip.size() - 8);
    EXPECT_EQ(h.dataSize, 90000u);
    EXPECT_TRUE(clip.substr(44) == PcmOf(wav).substr(0, 90000));
}

TEST(ClipExport, MonoAndEightBitSources)
{
    std::vector<std::uint8_t> eight(11025);
    for (std::size_t i = 0; i < eight.size(); ++i)
        eight[i] = static_cast<std::uint8_t>(i * 3);
    const Bytes wav8 = MakeWav8(11025, 1, eight);
    std::string clip = Clip(wav8, 0, 1000);
    THeader h = HeaderOf(clip);
    EXPECT_EQ(h.channels, 1u);
    EXPECT_EQ(h.bits, 8u);
    EXPECT_EQ(h.blockAlign, 1u);
    EXPECT_EQ(h.rate, 11025u);
    EXPECT_EQ(h.byteRate, 11025u);
    EXPECT_TRUE(clip.substr(44) == std::string(eight.begin(), eight.end()));

    ASSERT_TRUE(Fx().error.empty()) << Fx().error;
    clip = Clip(Fx().bytes("mono48.mp3"), 250, 750);
    h = HeaderOf(clip);
    EXPECT_EQ(h.channels, 1u);
    EXPECT_EQ(h.bits, 16u);
    EXPECT_EQ(h.blockAlign, 2u);
    EXPECT_EQ(h.rate, 48000u);
    EXPECT_EQ(h.byteRate, 96000u);
    // From byte 24000 to the boundary at or after 72000, as mpg123 decodes it.
    const Bytes raw = Fx().bytes("mono48.mp3.raw");
    ASSERT_EQ(clip.size(), 44u + 50000u);
    // After a seek the decoder starts afresh a little earlier, so samples may differ
    // from a straight decode by a rounding step; the position must be exact.
    EXPECT_LE(MaxSampleDifference(clip.substr(44), std::string(raw.begin() + 24000, raw.begin() + 74000)), 4);
}

TEST(ClipExport, MoreThanTwoChannelsAreDescribedAsTheyAre)
{
    const Bytes wav = MakeWav(8000, 3, Ramp(8000 * 3));
    const std::string clip = Clip(wav, 0, 1000);
    const THeader h = HeaderOf(clip);
    EXPECT_EQ(h.channels, 3u);
    EXPECT_EQ(h.blockAlign, 6u);
    EXPECT_EQ(h.byteRate, 48000u);
    EXPECT_TRUE(clip.substr(44) == PcmOf(wav));
}

TEST(ClipExport, WholeFileAndRangesPastTheEnds)
{
    ASSERT_TRUE(Fx().error.empty()) << Fx().error;
    const Bytes raw = Fx().bytes("cbr.mp3.raw");
    ASSERT_EQ(raw.size(), 3u * 176400u);  // 3 s exactly (gapless)
    std::string clip = Clip(Fx().bytes("cbr.mp3"), 0, 3000);
    EXPECT_TRUE(clip.substr(44) == std::string(raw.begin(), raw.end()));
    EXPECT_EQ(HeaderOf(clip).dataSize, raw.size());

    // An end after the audio's end is cut at the end.
    const Bytes wav = MakeWav(44100, 2, Ramp(44100 * 2));
    clip = Clip(wav, 500, 60000);
    EXPECT_TRUE(clip.substr(44) == PcmOf(wav).substr(88200));
    // A negative start counts from 0.
    clip = Clip(wav, -300, 100);
    EXPECT_TRUE(clip.substr(44) == PcmOf(wav).substr(0, 20000));
    // A start at or past the end gives the header alone (not audio from the start).
    for (std::int32_t start : {1000, 5000}) {
        clip = Clip(wav, start, start + 1000);
        ASSERT_EQ(clip.size(), 44u);
        EXPECT_EQ(HeaderOf(clip).riffSize, 36u);
        EXPECT_EQ(HeaderOf(clip).dataSize, 0u);
    }
    // An end before the start: no data.
    EXPECT_EQ(Clip(wav, 600, 200).size(), 44u);
}

TEST(ClipExport, ClipShorterThanOneReadHasTheWholeHeaderAndOneRead)
{
    const Bytes wav = MakeWav(44100, 2, Ramp(44100 * 2));
    const std::string clip = Clip(wav, 100, 110);
    const THeader h = HeaderOf(clip);
    EXPECT_EQ(h.channels, 2u);
    EXPECT_EQ(h.dataSize, 10000u);
    EXPECT_TRUE(clip.substr(44) == PcmOf(wav).substr(17640, 10000));
}

TEST(ClipExport, AbsentOrUndecodableSourceGivesAnEmptyStream)
{
    const auto none = BuildWavClip(nullptr, 0, 1000);
    ASSERT_NE(none, nullptr);
    EXPECT_EQ(none->Size(), 0);
    TMemoryStream empty;
    EXPECT_EQ(BuildWavClip(&empty, 0, 1000)->Size(), 0);
    TMemoryStream text(std::string("[ti:not audio]\r\n[00:01.00]words\r\n"));
    EXPECT_EQ(BuildWavClip(&text, 0, 1000)->Size(), 0);
}

TEST(ClipExport, SoxReadsTheClipBack)
{
    ASSERT_TRUE(Fx().error.empty()) << Fx().error;
    const std::filesystem::path dir = Fx().dir;
    struct Case {
        const char* name;
        Bytes source;
        std::int32_t start, end;
        const char* channels;
        const char* rate;
        const char* bits;
    };
    std::vector<std::uint8_t> eight(11025, 128);
    const std::vector<Case> cases = {
        {"clip_cbr.wav", Fx().bytes("cbr.mp3"), 500, 1700, "2", "44100", "16"},
        {"clip_mono.wav", Fx().bytes("mono48.mp3"), 0, 2000, "1", "48000", "16"},
        {"clip_8.wav", MakeWav8(11025, 1, eight), 100, 600, "1", "11025", "8"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string clip = Clip(c.source, c.start, c.end);
        const std::filesystem::path file = dir / c.name;
        WriteAll(file, Bytes(clip.begin(), clip.end()));
        const std::filesystem::path info = dir / (std::string(c.name) + ".info");
        ASSERT_TRUE(qlrc::audio::test::Run("soxi -c '" + file.string() + "' > '" + info.string() + "' && soxi -r '" + file.string() +
                        "' >> '" + info.string() + "' && soxi -b '" + file.string() + "' >> '" + info.string() +
                        "' && soxi -s '" + file.string() + "' >> '" + info.string() + "' 2>/dev/null"));
        const Bytes text = ReadAll(info);
        const std::string samples = std::to_string((clip.size() - 44) / HeaderOf(clip).blockAlign);
        EXPECT_EQ(std::string(text.begin(), text.end()),
                  std::string(c.channels) + "\n" + c.rate + "\n" + c.bits + "\n" + samples + "\n");
        // sox's own decode of the clip gives back the data bytes.
        const std::filesystem::path back = dir / (std::string(c.name) + ".raw");
        ASSERT_TRUE(qlrc::audio::test::Run("sox '" + file.string() + "' -t raw '" + back.string() + "' 2>/dev/null"));
        const Bytes pcm = ReadAll(back);
        EXPECT_TRUE(std::string(pcm.begin(), pcm.end()) == clip.substr(44));
    }
}
