// Audio fixtures made at test time in a temporary folder (sox, lame, espeak-ng, mpg123
// and libsndfile), never committed. Made once per test process, removed at its end.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace qlrc::audio::test {

using Bytes = std::vector<std::uint8_t>;

// Runs a shell command; true when it exited with status 0.
bool Run(const std::string& command);
Bytes ReadAll(const std::filesystem::path& path);
void WriteAll(const std::filesystem::path& path, const Bytes& bytes);

// A 16-bit (or 8-bit unsigned) PCM WAV image of interleaved samples.
Bytes MakeWav(int rate, int channels, const std::vector<std::int16_t>& samples);
Bytes MakeWav8(int rate, int channels, const std::vector<std::uint8_t>& samples);
// A four-channel ProTracker module: one pattern playing a square-wave sample.
Bytes MakeModule();

struct Fixtures {
    std::filesystem::path dir;
    // MP3s: name -> file in dir; each has a "<name>.raw" beside it made by `mpg123 -s`.
    std::vector<std::string> mp3s;
    std::string error;  // non-empty when a tool failed
    std::filesystem::path path(const std::string& name) const { return dir / name; }
    Bytes bytes(const std::string& name) const { return ReadAll(dir / name); }
};

// Made on first use.
const Fixtures& Fx();

}  // namespace qlrc::audio::test
