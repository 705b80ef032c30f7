// The media controller's speed targets, each beside `mpg123 -t` (decode without
// output) on the same 4-minute 44.1 kHz stereo VBR MP3 in the same run:
//  - opening as the editor does it: the copy for the waveform, controller creation,
//    Open, and BuildPeakList at 4800 columns; with an LRC file beside the audio (no
//    sentence scan) and without one (the scan starts in the background meanwhile);
//    target: not slower than 1.5x one mpg123 -t pass;
//  - the whole background sentence scan, from Open until its lines are in.
// The ratios are printed after the benchmarks. The MP3 is made at start-up with sox
// and lame in a temporary folder; the audio layer runs on its silent output.
#include "Bass.h"
#include "Streams.h"
#include "TavreloMedia.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

struct Song {
    std::filesystem::path dir, mp3;
    std::string bytes;
    std::string error;

    Song()
    {
        std::string templ = (std::filesystem::temp_directory_path() / "qlrc-bench-media-XXXXXX").string();
        if (!mkdtemp(templ.data())) {
            error = "mkdtemp failed";
            return;
        }
        dir = templ;
        mp3 = dir / "song.mp3";
        // Four minutes of phrases (600 ms pauses, then 2.4 s of gliding tone over
        // noise), so the sentence scan finds starts and the encoder has work to do.
        const std::string cmd = "cd '" + dir.string() +
                                "' && sox -n -r 44100 -c 2 -b 16 song.wav synth 2.4 sine 110-880 pinknoise gain -8 "
                                "pad 0.6 0 repeat 79 >/dev/null 2>&1 && lame --quiet -V 2 song.wav song.mp3";
        if (std::system(cmd.c_str()) != 0) {
            error = "sox/lame failed";
            return;
        }
        std::ifstream in(mp3, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    ~Song()
    {
        std::error_code ec;
        if (!dir.empty())
            std::filesystem::remove_all(dir, ec);
    }
};

const Song& TheSong()
{
    static Song song;
    return song;
}

// Mean wall seconds per iteration of each benchmark, for the ratios at the end.
std::map<std::string, double>& MeanSeconds()
{
    static std::map<std::string, double> means;
    return means;
}

void Record(benchmark::State& state, const std::string& name, double totalSeconds)
{
    if (state.iterations() > 0)
        MeanSeconds()[name] = totalSeconds / static_cast<double>(state.iterations());
}

const std::string kLyrics = "[00:00.40]one\r\n[00:06.40]two\r\n[00:12.40]three\r\n";

// What the editor does on opening a file, up to the painted strip's peaks.
void OpenWithWaveform(benchmark::State& state, bool withLyrics, const char* name)
{
    const Song& s = TheSong();
    if (!s.error.empty())
        return state.SkipWithError(s.error.c_str());
    double total = 0;
    std::int64_t columns = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        auto audio = std::make_unique<TMemoryStream>(s.bytes);
        auto copy = CopyAudioStream(*audio);
        auto media = std::make_unique<TAudioMedia>(std::move(audio),
                                                   withLyrics ? std::make_unique<TMemoryStream>(kLyrics) : nullptr);
        media->Open();
        std::int32_t bytesPerColumn = 0;
        const TPeakList peaks = TAudioMedia::BuildPeakList(std::move(copy), 4800, bytesPerColumn);
        total += std::chrono::duration<double>(Clock::now() - start).count();
        if (bytesPerColumn == 0)
            return state.SkipWithError("no waveform");
        columns = static_cast<std::int64_t>(peaks.size());
        state.PauseTiming();
        media.reset();  // stops a running scan; not part of opening
        state.ResumeTiming();
    }
    state.counters["columns"] = static_cast<double>(columns);
    Record(state, name, total);
}

void BM_OpenWithWaveform_WithLyrics(benchmark::State& state)
{
    OpenWithWaveform(state, true, "open+waveform (with lyrics)");
}
BENCHMARK(BM_OpenWithWaveform_WithLyrics)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_OpenWithWaveform_ScanBeside(benchmark::State& state)
{
    OpenWithWaveform(state, false, "open+waveform (scan beside)");
}
BENCHMARK(BM_OpenWithWaveform_ScanBeside)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SentenceScan(benchmark::State& state)
{
    const Song& s = TheSong();
    if (!s.error.empty())
        return state.SkipWithError(s.error.c_str());
    double total = 0;
    int lines = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        TAudioMedia media(std::make_unique<TMemoryStream>(s.bytes), nullptr);
        media.Open();
        while (media.Scanning())
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        total += std::chrono::duration<double>(Clock::now() - start).count();
        lines = media.Lyric().Count();
    }
    state.counters["lines"] = lines;
    Record(state, "sentence scan", total);
}
BENCHMARK(BM_SentenceScan)->Unit(benchmark::kMillisecond)->UseRealTime();

// The reference: the mpg123 command decoding the same file without output.
void BM_Mpg123CommandTestMode(benchmark::State& state)
{
    const Song& s = TheSong();
    if (!s.error.empty())
        return state.SkipWithError(s.error.c_str());
    const std::string cmd = "mpg123 -q -t '" + s.mp3.string() + "'";
    double total = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        if (std::system(cmd.c_str()) != 0)
            return state.SkipWithError("mpg123 failed");
        total += std::chrono::duration<double>(Clock::now() - start).count();
    }
    Record(state, "mpg123 -t", total);
}
BENCHMARK(BM_Mpg123CommandTestMode)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv)
{
    // Silent output: the figures are about decoding, not about a device.
    if (::setenv("QERIMOLRC_AUDIO", "null", 1) != 0 || !BASS_Init(-1, 44100, 0, nullptr, nullptr)) {
        std::fprintf(stderr, "cannot start the audio layer\n");
        return 1;
    }
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    const auto& means = MeanSeconds();
    const auto reference = means.find("mpg123 -t");
    if (reference != means.end() && reference->second > 0) {
        std::printf("\nRatios to one `mpg123 -t` pass (%.1f ms):\n", reference->second * 1000);
        for (const auto& [name, seconds] : means)
            if (name != reference->first)
                std::printf("  %-30s %8.1f ms  %5.2fx%s\n", name.c_str(), seconds * 1000, seconds / reference->second,
                            name.rfind("open+waveform", 0) == 0 ? "  (target <= 1.5x)" : "");
    }
    return BASS_Free() ? 0 : 1;
}
