// The audio layer's speed targets, each beside an outside reference in the same run:
//  - decoding a 4-minute 44.1 kHz stereo VBR MP3 to bytes, and a full GetLevel pass over
//    it (the waveform scan), next to `mpg123 -t` (decode without output) on the same file;
//    target: the GetLevel pass within 1.2x of mpg123 -t;
//  - time from BASS_ChannelPlay to the first sample reaching the device (the position
//    leaving 0, which follows PortAudio's DAC times), on the default device;
//  - CPU used while playing (all threads of the process), in percent of one core;
//    target: under 2 %.
// The MP3 is made at start-up with sox and lame in a temporary folder.
// Device figures need an output device (scripts/test starts a PulseAudio null sink);
// without one they are skipped.
#include "Bass.h"

#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

struct Song {
    std::filesystem::path dir, mp3, wav;
    Bytes bytes;
    std::string error;

    Song() {
        std::string templ = (std::filesystem::temp_directory_path() / "qlrc-bench-XXXXXX").string();
        if (!mkdtemp(templ.data())) {
            error = "mkdtemp failed";
            return;
        }
        dir = templ;
        mp3 = dir / "song.mp3";
        wav = dir / "song.wav";
        // Four minutes of changing tones over noise: a VBR encoder has work to do.
        const std::string cmd = "cd '" + dir.string() +
                                "' && sox -n -r 44100 -c 2 -b 16 song.wav synth 240 sine 110-3520 pinknoise "
                                "tremolo 3 60 gain -8 >/dev/null 2>&1 && lame --quiet -V 2 song.wav song.mp3";
        if (std::system(cmd.c_str()) != 0) {
            error = "sox/lame failed";
            return;
        }
        std::ifstream in(mp3, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    ~Song() {
        std::error_code ec;
        if (!dir.empty()) std::filesystem::remove_all(dir, ec);
    }
};

const Song& TheSong() {
    static Song song;
    return song;
}

void BM_DecodeToBytes(benchmark::State& state) {
    const Song& s = TheSong();
    if (!s.error.empty()) return state.SkipWithError(s.error.c_str());
    std::vector<std::uint8_t> buf(10000);
    std::int64_t total = 0;
    for (auto _ : state) {
        const DWORD h = BASS_StreamCreateFile(TRUE, s.bytes.data(), 0, static_cast<QWORD>(s.bytes.size()), BASS_STREAM_DECODE);
        if (!h) return state.SkipWithError("stream creation failed");
        total = 0;
        while (BASS_ChannelIsActive(h) == BASS_ACTIVE_PLAYING) total += BASS_ChannelGetData(h, buf.data(), 10000);
        BASS_StreamFree(h);
    }
    state.counters["decoded_MB"] = static_cast<double>(total) / 1e6;
}
BENCHMARK(BM_DecodeToBytes)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_GetLevelPass(benchmark::State& state) {
    const Song& s = TheSong();
    if (!s.error.empty()) return state.SkipWithError(s.error.c_str());
    std::int64_t levels = 0;
    for (auto _ : state) {
        const DWORD h = BASS_StreamCreateFile(TRUE, s.bytes.data(), 0, static_cast<QWORD>(s.bytes.size()), BASS_STREAM_DECODE);
        if (!h) return state.SkipWithError("stream creation failed");
        levels = 0;
        DWORD peak = 0;
        while (BASS_ChannelIsActive(h) == BASS_ACTIVE_PLAYING) {
            peak = std::max(peak, BASS_ChannelGetLevel(h) & 0xFFFF);
            ++levels;
        }
        benchmark::DoNotOptimize(peak);
        BASS_StreamFree(h);
    }
    state.counters["levels"] = static_cast<double>(levels);
}
BENCHMARK(BM_GetLevelPass)->Unit(benchmark::kMillisecond)->UseRealTime();

// Opening a stream: the validity probe, the exact-length scan and the decoder's own
// handle (the controller opens the file three times: playback, peak scan, sentence scan).
void BM_CreateStream(benchmark::State& state) {
    const Song& s = TheSong();
    if (!s.error.empty()) return state.SkipWithError(s.error.c_str());
    for (auto _ : state) {
        const DWORD h = BASS_StreamCreateFile(TRUE, s.bytes.data(), 0, static_cast<QWORD>(s.bytes.size()), BASS_STREAM_DECODE);
        if (!h) return state.SkipWithError("stream creation failed");
        BASS_StreamFree(h);
    }
}
BENCHMARK(BM_CreateStream)->Unit(benchmark::kMillisecond)->UseRealTime();

double ChildCpuSeconds() {
    rusage ru{};
    getrusage(RUSAGE_CHILDREN, &ru);
    return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
           static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

// The reference: the mpg123 command decoding the same file without output.
void BM_Mpg123CommandTestMode(benchmark::State& state) {
    const Song& s = TheSong();
    if (!s.error.empty()) return state.SkipWithError(s.error.c_str());
    const std::string cmd = "mpg123 -q -t '" + s.mp3.string() + "'";
    const double child0 = ChildCpuSeconds();
    for (auto _ : state) {
        if (std::system(cmd.c_str()) != 0) return state.SkipWithError("mpg123 failed");
    }
    // Its own CPU time, comparable with the CPU column of the benchmarks above when the
    // machine is busy and wall times are not.
    state.counters["mpg123_cpu_ms"] =
        1000.0 * (ChildCpuSeconds() - child0) / static_cast<double>(std::max<std::int64_t>(1, state.iterations()));
}
BENCHMARK(BM_Mpg123CommandTestMode)->Unit(benchmark::kMillisecond)->UseRealTime();

double CpuSeconds() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
           static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

// Opens the default device once for the device figures; false when there is none.
bool DeviceUp() {
    static const bool up = [] {
        if (!BASS_Init(-1, 44100, 0, nullptr, nullptr)) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // let the sound server settle
        return true;
    }();
    return up;
}

void BM_PlayToFirstSampleHeard(benchmark::State& state) {
    const Song& s = TheSong();
    if (!s.error.empty()) return state.SkipWithError(s.error.c_str());
    if (!DeviceUp()) return state.SkipWithError("no output device");
    const DWORD h = BASS_StreamCreateFile(TRUE, s.bytes.data(), 0, static_cast<QWORD>(s.bytes.size()), 0);
    if (!h) return state.SkipWithError("stream creation failed");
    for (auto _ : state) {
        const auto start = Clock::now();
        BASS_ChannelPlay(h, TRUE);
        while (BASS_ChannelGetPosition(h, BASS_POS_BYTE) <= 0 && Clock::now() - start < std::chrono::seconds(2))
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
        BASS_ChannelStop(h);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    BASS_StreamFree(h);
}
BENCHMARK(BM_PlayToFirstSampleHeard)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(10);

void BM_CpuWhilePlaying(benchmark::State& state) {
    const Song& s = TheSong();
    if (!s.error.empty()) return state.SkipWithError(s.error.c_str());
    if (!DeviceUp()) return state.SkipWithError("no output device");
    const DWORD h = BASS_StreamCreateFile(TRUE, s.bytes.data(), 0, static_cast<QWORD>(s.bytes.size()), 0);
    if (!h) return state.SkipWithError("stream creation failed");
    BASS_ChannelPlay(h, TRUE);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    double percent = 0;
    for (auto _ : state) {
        const double cpu0 = CpuSeconds();
        const auto wall0 = Clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(5));  // the caller idles, as a GUI would
        const double wall = std::chrono::duration<double>(Clock::now() - wall0).count();
        percent = 100.0 * (CpuSeconds() - cpu0) / wall;
        state.SetIterationTime(wall);
    }
    state.counters["cpu_percent_of_a_core"] = percent;
    state.counters["still_playing"] = BASS_ChannelIsActive(h) == BASS_ACTIVE_PLAYING ? 1 : 0;
    BASS_StreamFree(h);
}
BENCHMARK(BM_CpuWhilePlaying)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
