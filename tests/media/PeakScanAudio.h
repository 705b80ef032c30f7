// Audio made in memory for the scan and clip suites: PCM WAV images whose 20 ms blocks
// carry chosen peak levels, so every reading of the audio layer is known exactly.
#pragma once

#include "Fixtures.h"
#include "Streams.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qlrc::scan::test {

using qlrc::audio::test::Bytes;

// Peaks of one 20 ms block (absolute values, at most 32768).
struct TBlockLevel {
    std::int32_t Left = 0;
    std::int32_t Right = 0;
};

// A 16-bit WAV of one block per entry, 20 ms each at `rate`. Each block alternates
// +peak and -peak sample by sample (32768 is written as -32768), so its reading is
// exactly the given pair; mono takes Left.
inline Bytes BlocksWav(int rate, int channels, const std::vector<TBlockLevel>& blocks)
{
    const int frames = rate / 50;
    std::vector<std::int16_t> samples;
    samples.reserve(blocks.size() * static_cast<std::size_t>(frames * channels));
    const auto sample = [](std::int32_t peak, int f) -> std::int16_t {
        if (peak >= 32768)
            return -32768;
        return static_cast<std::int16_t>(f % 2 == 0 ? peak : -peak);
    };
    for (const TBlockLevel& block : blocks) {
        for (int f = 0; f < frames; ++f) {
            samples.push_back(sample(block.Left, f));
            if (channels >= 2)
                samples.push_back(sample(block.Right, f));
            for (int c = 2; c < channels; ++c)
                samples.push_back(0);
        }
    }
    return qlrc::audio::test::MakeWav(rate, channels, samples);
}

// Silent (0) and loud blocks for the sentence scan: pattern entries are runs of
// blocks, positive for loud, negative for silent (e.g. {-30, 270} = 600 ms silence,
// 5.4 s loud). 8 kHz mono, loud peak 8000.
inline Bytes PatternWav(const std::vector<int>& runs, std::int32_t loud = 8000)
{
    std::vector<TBlockLevel> blocks;
    for (int run : runs) {
        const std::int32_t level = run > 0 ? loud : 0;
        for (int i = 0; i < (run > 0 ? run : -run); ++i)
            blocks.push_back({level, level});
    }
    return BlocksWav(8000, 1, blocks);
}

inline std::unique_ptr<TMemoryStream> StreamOf(const Bytes& bytes)
{
    return std::make_unique<TMemoryStream>(std::string(bytes.begin(), bytes.end()));
}

}  // namespace qlrc::scan::test
