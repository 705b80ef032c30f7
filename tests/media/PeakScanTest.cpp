// The waveform peak scan over real decodes (WAV images with known block levels, MP3s
// checked against the mpg123 command), the level trace, and the painted strip.
#include "PeakScan.h"
#include "PeakScanAudio.h"
#include "TavreloMedia.h"

#include <gtest/gtest.h>

#include <stop_token>

#include <QColor>
#include <QImage>

#include <algorithm>
#include <cstdlib>
#include <cstring>

using namespace qlrc::scan::test;
using qlrc::audio::test::Fx;

namespace {

TPeakList Scan(const Bytes& bytes, int columns, std::int32_t& bytesPerColumn)
{
    return TAudioMedia::BuildPeakList(StreamOf(bytes), columns, bytesPerColumn);
}

// 8 kHz stereo blocks: 640 bytes per 20 ms.
std::vector<TBlockLevel> Flat(int count, TBlockLevel level)
{
    return std::vector<TBlockLevel>(static_cast<std::size_t>(count), level);
}

void ExpectSameList(const TPeakList& a, const TPeakList& b)
{
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(a[i].LeftPeak, b[i].LeftPeak) << "entry " << i;
        EXPECT_EQ(a[i].RightPeak, b[i].RightPeak) << "entry " << i;
    }
}

}  // namespace

// ---- levels and normalisation -------------------------------------------------------

TEST(PeakScan, QuietFileIsScaledToTheTopWithHalfToEvenRounding)
{
    // Loudest reading 4016: 251 * 29768 / 4016 = 1860.5 (stays 1860), 753 * ... = 5581.5
    // (goes to 5582), 100 * ... = 741.2 (741).
    std::vector<TBlockLevel> blocks = Flat(50, {100, 100});
    blocks[0] = {4016, 251};
    blocks[1] = {753, 0};
    std::int32_t bpc = -1;
    const TPeakList peaks = Scan(BlocksWav(8000, 2, blocks), 50, bpc);
    EXPECT_EQ(bpc, 640);
    ASSERT_EQ(peaks.size(), 50u);
    EXPECT_EQ(peaks[0].LeftPeak, 29768);
    EXPECT_EQ(peaks[0].RightPeak, 1860);
    EXPECT_EQ(peaks[1].LeftPeak, 5582);
    EXPECT_EQ(peaks[1].RightPeak, 0);
    EXPECT_EQ(peaks[49].LeftPeak, 741);
    EXPECT_EQ(peaks[49].RightPeak, 741);
}

TEST(PeakScan, ScalingStopsAtAThirdOfFullScale)
{
    std::int32_t bpc = 0;
    std::vector<TBlockLevel> quiet = Flat(10, {5000, 5000});
    quiet[3] = {10921, 0};
    TPeakList peaks = Scan(BlocksWav(8000, 2, quiet), 10, bpc);
    ASSERT_EQ(peaks.size(), 10u);
    EXPECT_EQ(peaks[3].LeftPeak, 29768);
    EXPECT_EQ(peaks[0].LeftPeak, 13629);  // 5000 * 29768 / 10921 = 13628.78

    std::vector<TBlockLevel> loud = Flat(10, {5000, 5000});
    loud[3] = {10922, 0};
    peaks = Scan(BlocksWav(8000, 2, loud), 10, bpc);
    ASSERT_EQ(peaks.size(), 10u);
    EXPECT_EQ(peaks[3].LeftPeak, 10922);
    EXPECT_EQ(peaks[0].LeftPeak, 5000);
}

TEST(PeakScan, SilentFileGivesZerosAndFullScaleIs32768)
{
    std::int32_t bpc = 0;
    TPeakList peaks = Scan(BlocksWav(8000, 2, Flat(25, {0, 0})), 25, bpc);
    ASSERT_EQ(peaks.size(), 25u);
    EXPECT_TRUE(std::all_of(peaks.begin(), peaks.end(), [](const TSpeakingPeak& p) { return p.LeftPeak == 0 && p.RightPeak == 0; }));

    std::vector<TBlockLevel> blocks = Flat(25, {1000, 2000});
    blocks[7] = {32768, 12000};
    peaks = Scan(BlocksWav(8000, 2, blocks), 25, bpc);
    ASSERT_EQ(peaks.size(), 25u);
    EXPECT_EQ(peaks[7].LeftPeak, 32768);
    EXPECT_EQ(peaks[7].RightPeak, 12000);
    EXPECT_EQ(peaks[8].RightPeak, 2000);  // left and right are not swapped
    EXPECT_EQ(peaks[8].LeftPeak, 1000);
}

TEST(PeakScan, MonoGivesEqualValues)
{
    std::vector<TBlockLevel> blocks;
    for (int i = 0; i < 40; ++i)
        blocks.push_back({11000 + 100 * i, 0});
    std::int32_t bpc = 0;
    const TPeakList peaks = Scan(BlocksWav(8000, 1, blocks), 40, bpc);
    EXPECT_EQ(bpc, 320);
    ASSERT_EQ(peaks.size(), 40u);
    for (int i = 0; i < 40; ++i) {
        EXPECT_EQ(peaks[i].LeftPeak, 11000 + 100 * i);
        EXPECT_EQ(peaks[i].RightPeak, 11000 + 100 * i);
    }
}

// ---- the column rule ----------------------------------------------------------------

TEST(PeakScan, ColumnTakesTheReadingThatPassesItsEnd)
{
    // 150 readings of 320 bytes, reading k at 11000 + 50k; 70 columns of 685 bytes.
    std::vector<TBlockLevel> blocks;
    for (int k = 0; k < 150; ++k)
        blocks.push_back({11000 + 50 * k, 0});
    std::int32_t bpc = 0;
    const TPeakList peaks = Scan(BlocksWav(8000, 1, blocks), 70, bpc);
    EXPECT_EQ(bpc, 48000 / 70);
    ASSERT_EQ(peaks.size(), 70u);  // columns 0..68 by position, the last by the end of the data
    const auto readingFor = [&](int column) {  // first k with (k + 1) * 320 >= (column + 1) * 685
        return ((column + 1) * bpc + 319) / 320 - 1;
    };
    for (int column : {0, 1, 2, 33, 68}) {
        SCOPED_TRACE(column);
        EXPECT_EQ(peaks[column].LeftPeak, 11000 + 50 * readingFor(column));
    }
    EXPECT_EQ(peaks[69].LeftPeak, 11000 + 50 * 149);
}

TEST(PeakScan, ShortFileUsesTwentyMillisecondsAndGivesFewerEntries)
{
    // 1 s at 8 kHz mono is 16000 bytes: 100 columns would be 160 bytes each.
    std::int32_t bpc = 0;
    const TPeakList peaks = Scan(BlocksWav(8000, 1, Flat(50, {12000, 0})), 100, bpc);
    EXPECT_EQ(bpc, 320);
    EXPECT_EQ(peaks.size(), 50u);
}

TEST(PeakScan, MP3LevelsMatchTheBlocksOfMpg123sOutput)
{
    ASSERT_TRUE(Fx().error.empty()) << Fx().error;
    for (const char* name : {"cbr.mp3", "vbr.mp3", "speech.mp3"}) {
        SCOPED_TRACE(name);
        const Bytes raw = Fx().bytes(std::string(name) + ".raw");
        const Bytes file = Fx().bytes(name);
        std::int32_t bpc = 0;
        const TPeakList peaks = Scan(file, 1000000, bpc);  // every column is one 20 ms reading
        // Stereo 44.1 kHz (espeak-ng speaks mono at 22.05 kHz).
        const bool speech = std::string(name) == "speech.mp3";
        const int channels = speech ? 1 : 2;
        const std::size_t frameBytes = 2u * channels;
        const std::size_t blockFrames = speech ? 441 : 882;
        ASSERT_EQ(bpc, static_cast<std::int32_t>(blockFrames * frameBytes));
        const std::size_t frames = raw.size() / frameBytes;
        const std::size_t readings = (frames + blockFrames - 1) / blockFrames;
        ASSERT_EQ(peaks.size(), readings);

        std::uint32_t top = 0;
        std::vector<std::pair<std::uint32_t, std::uint32_t>> expected;
        for (std::size_t k = 0; k < readings; ++k) {
            std::uint32_t peak[2] = {0, 0};
            for (std::size_t f = k * blockFrames; f < std::min(frames, (k + 1) * blockFrames); ++f) {
                for (int c = 0; c < channels; ++c) {
                    std::int16_t s;
                    std::memcpy(&s, raw.data() + f * frameBytes + 2 * c, 2);
                    peak[c] = std::max<std::uint32_t>(peak[c], static_cast<std::uint32_t>(std::abs(int{s})));
                }
            }
            if (channels == 1)
                peak[1] = peak[0];
            top = std::max({top, peak[0], peak[1]});
            expected.emplace_back(peak[0], peak[1]);
        }
        ASSERT_GE(top, 10922u) << "fixture too quiet: it would be scaled";
        std::size_t mismatches = 0;
        for (std::size_t k = 0; k < readings; ++k)
            mismatches += peaks[k].LeftPeak != expected[k].first || peaks[k].RightPeak != expected[k].second;
        EXPECT_EQ(mismatches, 0u);
    }
}

// ---- not audio ------------------------------------------------------------------------

TEST(PeakScan, BytesThatAreNotAudioGiveNoColumns)
{
    std::int32_t bpc = 123;
    EXPECT_TRUE(TAudioMedia::BuildPeakList(nullptr, 100, bpc).empty());
    EXPECT_EQ(bpc, 0);
    bpc = 123;
    EXPECT_TRUE(TAudioMedia::BuildPeakList(std::make_unique<TMemoryStream>(), 100, bpc).empty());
    EXPECT_EQ(bpc, 0);
    const std::string text = "[00:01.00]not an mp3 at all\r\n";
    bpc = 123;
    EXPECT_TRUE(TAudioMedia::BuildPeakList(std::make_unique<TMemoryStream>(text), 100, bpc).empty());
    EXPECT_EQ(bpc, 0);
    Bytes noise(20000);
    std::uint32_t x = 12345;
    for (auto& b : noise)
        b = static_cast<std::uint8_t>((x = x * 1103515245u + 12345u) >> 24);
    bpc = 123;
    EXPECT_TRUE(Scan(noise, 100, bpc).empty());
    EXPECT_EQ(bpc, 0);
}

TEST(PeakScan, NoColumnsGiveAnEmptyStripInsteadOfDividingByZero)
{
    const Bytes wav = BlocksWav(8000, 1, Flat(10, {12000, 0}));
    for (int columns : {0, -5}) {
        std::int32_t bpc = 123;
        EXPECT_TRUE(Scan(wav, columns, bpc).empty());
        EXPECT_EQ(bpc, 0);
    }
}

TEST(PeakScan, CopyAudioStreamCopiesFromTheStartAndLeavesTheSourceAtItsEnd)
{
    TMemoryStream source(std::string("abcdef"));
    source.SetPosition(4);
    const auto copy = CopyAudioStream(source);
    EXPECT_EQ(copy->Bytes(), "abcdef");
    EXPECT_EQ(source.Position(), 6);
}

// ---- the level trace ------------------------------------------------------------------

TEST(PeakTrace, RebuildsExactlyWhatAFreshScanGivesForEveryWidth)
{
    ASSERT_TRUE(Fx().error.empty()) << Fx().error;
    std::vector<TBlockLevel> quiet;
    for (int k = 0; k < 137; ++k)
        quiet.push_back({(k * 37) % 3000, (k * 91) % 2000});
    const std::vector<std::pair<std::string, Bytes>> inputs = {
        {"cbr.mp3", Fx().bytes("cbr.mp3")},
        {"vbr.mp3", Fx().bytes("vbr.mp3")},
        {"mono48.mp3", Fx().bytes("mono48.mp3")},
        {"short.mp3", Fx().bytes("short.mp3")},
        {"quiet wav", BlocksWav(8000, 2, quiet)},
    };
    for (const auto& [name, bytes] : inputs) {
        SCOPED_TRACE(name);
        TMemoryStream stream(std::string(bytes.begin(), bytes.end()));
        const TLevelTrace trace = ReadLevelTrace(stream);
        ASSERT_TRUE(trace.IsAudio());
        ASSERT_FALSE(trace.Readings.empty());
        EXPECT_TRUE(trace.Readings.back().Ended);
        const int readings = static_cast<int>(trace.Readings.size());
        for (int columns : {1, 2, 3, 7, readings - 1, readings, readings + 1, readings / 2, readings / 3 + 1, 2 * readings, 965}) {
            if (columns < 1)
                continue;
            SCOPED_TRACE(columns);
            std::int32_t fresh = -1;
            std::int32_t rebuilt = -2;
            const TPeakList expected = Scan(bytes, columns, fresh);
            const TPeakList actual = BuildPeakListFromTrace(trace, columns, rebuilt);
            EXPECT_EQ(rebuilt, fresh);
            ExpectSameList(actual, expected);
        }
    }
}

TEST(PeakTrace, AStopEndsTheDecodeAtOnce)
{
    const Bytes bytes = Fx().bytes("vbr.mp3");
    TMemoryStream stream(std::string(bytes.begin(), bytes.end()));
    std::stop_source stop;
    stop.request_stop();
    const TLevelTrace trace = ReadLevelTrace(stream, stop.get_token());
    EXPECT_LE(trace.Readings.size(), 1u);
}

TEST(PeakTrace, NotAudioGivesAnEmptyTrace)
{
    TMemoryStream text(std::string("hello, this is text"));
    const TLevelTrace trace = ReadLevelTrace(text);
    EXPECT_FALSE(trace.IsAudio());
    EXPECT_TRUE(trace.Readings.empty());
    std::int32_t bpc = 7;
    EXPECT_TRUE(BuildPeakListFromTrace(trace, 100, bpc).empty());
    EXPECT_EQ(bpc, 0);
}

// ---- painting -------------------------------------------------------------------------

namespace {

const QRgb kLime = qRgb(0, 255, 0);
const QRgb kBlack = qRgb(0, 0, 0);

// Lime rows of column x, as [first, last] ranges.
std::vector<std::pair<int, int>> LimeRuns(const QImage& image, int x)
{
    std::vector<std::pair<int, int>> runs;
    for (int y = 0; y < image.height(); ++y) {
        const QRgb c = image.pixel(x, y) | 0xFF000000u;
        if (c == kLime) {
            if (!runs.empty() && runs.back().second == y - 1)
                runs.back().second = y;
            else
                runs.emplace_back(y, y);
        } else {
            EXPECT_EQ(c, kBlack) << "x " << x << " y " << y;
        }
    }
    return runs;
}

}  // namespace

TEST(PeakPaint, DrawPeaksPaintsBarsAroundTheDarkMiddleRow)
{
    // 113 rows: mid 56. Full scale fills 56 rows up (1..56) and 56 down from 58 (clipped
    // at 112); 16384 fills 28; 500 fills none (500 * 56 / 32768 < 1).
    std::vector<TBlockLevel> blocks = Flat(50, {500, 500});
    blocks[0] = {32768, 32768};
    blocks[1] = {16384, 0};
    blocks[2] = {0, 16384};
    blocks[3] = {585, 586};  // 585 * 56 / 32768 = 0.9998, 586 -> 1.0015
    QImage bitmap(100, 113, QImage::Format_RGB32);
    bitmap.fill(Qt::white);
    std::int32_t bpc = 0;
    TAudioMedia::DrawPeaks(StreamOf(BlocksWav(8000, 2, blocks)), bitmap.width(), bitmap, bpc);
    EXPECT_EQ(bpc, 640);  // 32000 / 100 = 320 is below 20 ms of stereo
    ASSERT_EQ(bitmap.size(), QSize(100, 113));

    using Runs = std::vector<std::pair<int, int>>;
    EXPECT_EQ(LimeRuns(bitmap, 0), (Runs{{1, 56}, {58, 112}}));
    EXPECT_EQ(LimeRuns(bitmap, 1), (Runs{{29, 56}}));
    EXPECT_EQ(LimeRuns(bitmap, 2), (Runs{{58, 85}}));
    EXPECT_EQ(LimeRuns(bitmap, 3), (Runs{{58, 58}}));
    EXPECT_EQ(LimeRuns(bitmap, 4), Runs{});
    // The strip ends after 50 readings; the rest stays black.
    for (int x = 50; x < 100; ++x)
        EXPECT_EQ(LimeRuns(bitmap, x), Runs{});
}

TEST(PeakPaint, PaintsIndexedBitmapsAndClipsToNarrowOnes)
{
    const TPeakList peaks(10, TSpeakingPeak{32768, 32768});
    QImage indexed(20, 10, QImage::Format_Indexed8);
    indexed.setColorCount(1);
    indexed.setColor(0, qRgb(255, 255, 255));
    indexed.fill(0);
    PaintPeaks(peaks, indexed);
    EXPECT_NE(indexed.format(), QImage::Format_Indexed8);
    // mid 5: rows 1..5 up, 7..9 down (clipped); row 0 and 6 black.
    EXPECT_EQ(LimeRuns(indexed, 9), (std::vector<std::pair<int, int>>{{1, 5}, {7, 9}}));
    EXPECT_TRUE(LimeRuns(indexed, 10).empty());

    QImage narrow(3, 113, QImage::Format_ARGB32);
    PaintPeaks(peaks, narrow);  // more peaks than columns: the rest is clipped
    EXPECT_EQ(LimeRuns(narrow, 2).size(), 2u);

    QImage null;
    PaintPeaks(peaks, null);
    EXPECT_TRUE(null.isNull());
}
