// Real output: plays through PortAudio into a PulseAudio null sink (reached through
// ALSA's pulse plugin), records the sink's monitor with `parec`, and checks that each
// click is heard where the channel's reported position says it is. scripts/test starts
// the PulseAudio daemon; without one these tests are skipped.
#include "AudioTestUtil.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

extern char** environ;

namespace qlrc::audio::test {
namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRate = 44100;

std::int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

bool PulseReachable() {
    return Run("pactl info >/dev/null 2>&1");
}

// `parec` on the default sink's monitor, 44.1 kHz stereo s16. Each sample's wall time is
// estimated as t0 + index / rate, t0 being the earliest over all reads of (arrival time -
// samples received so far / rate): data can only arrive after it was rendered, so the
// read that arrived with the least delay gives the tightest bound.
class MonitorRecorder {
public:
    MonitorRecorder() = default;
    MonitorRecorder(const MonitorRecorder&) = delete;
    MonitorRecorder& operator=(const MonitorRecorder&) = delete;
    ~MonitorRecorder() { stop(); }

    bool start(const std::string& source) {
        int fds[2];
        if (pipe(fds) != 0) return false;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        posix_spawn_file_actions_addclose(&actions, fds[1]);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        const std::string device = "--device=" + source;
        const char* argv[] = {"parec", "--raw", "--format=s16le", "--rate=44100", "--channels=2",
                              "--latency-msec=2", device.c_str(), nullptr};
        const int rc = posix_spawnp(&pid_, "parec", &actions, nullptr, const_cast<char**>(argv), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        if (rc != 0) {
            close(fds[0]);
            pid_ = -1;
            return false;
        }
        fd_ = fds[0];
        reader_ = std::jthread([this] { readLoop(); });
        // Ready once audio (silence) flows.
        for (int i = 0; i < 500 && frames() < kRate / 10; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return frames() >= kRate / 10;
    }

    void stop() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);  // the parec we started, by its id
            int status = 0;
            waitpid(pid_, &status, 0);
            pid_ = -1;
        }
        if (reader_.joinable()) reader_.join();  // sees end of file once parec is gone
        if (fd_ >= 0) {
            close(fd_);
            fd_ = -1;
        }
    }

    std::size_t frames() {
        std::lock_guard lock(m_);
        return left_.size();
    }
    std::vector<std::int16_t> left() {
        std::lock_guard lock(m_);
        return left_;
    }
    std::int64_t t0() {
        std::lock_guard lock(m_);
        return t0_;
    }

private:
    void readLoop() {
        std::vector<std::int16_t> buf(4096);
        std::size_t carry = 0;  // bytes of a partial frame
        std::vector<std::uint8_t> bytes(16384 + 4);
        for (;;) {
            const ssize_t n = read(fd_, bytes.data() + carry, 16384);
            if (n <= 0) break;
            const std::int64_t arrived = NowNs();
            const std::size_t have = carry + static_cast<std::size_t>(n);
            const std::size_t whole = have / 4;
            std::lock_guard lock(m_);
            for (std::size_t f = 0; f < whole; ++f) {
                std::int16_t l;
                std::memcpy(&l, bytes.data() + 4 * f, 2);
                left_.push_back(l);
            }
            carry = have - whole * 4;
            std::memmove(bytes.data(), bytes.data() + whole * 4, carry);
            const std::int64_t candidate = arrived - static_cast<std::int64_t>(left_.size()) * 1'000'000'000 / kRate;
            t0_ = std::min(t0_, candidate);
        }
    }

    pid_t pid_ = -1;
    int fd_ = -1;
    std::mutex m_;
    std::vector<std::int16_t> left_;
    std::int64_t t0_ = INT64_MAX;
    std::jthread reader_;
};

// Four seconds of silence with a 1 ms click every half second (left and right).
std::vector<double> ClickTimes() { return {0.5, 1.0, 1.5, 2.0, 2.5, 3.0, 3.5}; }
Bytes ClickTrack() {
    std::vector<std::int16_t> s(2 * 4 * kRate, 0);
    for (double t : ClickTimes()) {
        const auto start = static_cast<std::size_t>(std::llround(t * kRate));
        for (std::size_t i = 0; i < 44; ++i) s[2 * (start + i)] = s[2 * (start + i) + 1] = 20000;  // a square pulse: survives resampling
    }
    return MakeWav(kRate, 2, s);
}

struct PositionSample {
    std::int64_t ns;
    double seconds;
};

// Reported position at wall time `ns`, interpolated between the samples around it.
double PositionAt(const std::vector<PositionSample>& v, std::int64_t ns) {
    auto it = std::lower_bound(v.begin(), v.end(), ns, [](const PositionSample& p, std::int64_t t) { return p.ns < t; });
    if (it == v.begin()) return v.front().seconds;
    if (it == v.end()) return v.back().seconds;
    const PositionSample& b = *it;
    const PositionSample& a = *(it - 1);
    const double f = static_cast<double>(ns - a.ns) / static_cast<double>(b.ns - a.ns);
    return a.seconds + f * (b.seconds - a.seconds);
}

// Wall times (ns) at which clicks start in the recording.
std::vector<std::int64_t> Onsets(const std::vector<std::int16_t>& rec, std::int64_t t0) {
    std::vector<std::int64_t> out;
    std::size_t quiet = 0;
    for (std::size_t i = 0; i < rec.size(); ++i) {
        if (std::abs(static_cast<int>(rec[i])) > 5000) {
            if (quiet > kRate / 10) out.push_back(t0 + static_cast<std::int64_t>(i) * 1'000'000'000 / kRate);
            quiet = 0;
        } else {
            ++quiet;
        }
    }
    return out;
}

// Output of a shell command, or nothing when it fails.
std::string Capture(const std::string& command) {
    std::unique_ptr<FILE, int (*)(FILE*)> p(popen(command.c_str(), "r"), pclose);
    if (!p) return {};
    std::string out;
    char buf[256];
    while (std::fgets(buf, sizeof buf, p.get())) out += buf;
    return out;
}

class DeviceOutput : public ::testing::Test {
protected:
    void SetUp() override {
        if (!PulseReachable()) GTEST_SKIP() << "no PulseAudio server reachable (scripts/test starts one)";
        // A null sink of this test's own, so that cases running side by side do not hear
        // each other; new streams go to it through PULSE_SINK.
        static int serial = 0;
        sink = "qlrc_audio_" + std::to_string(getpid()) + "_" + std::to_string(++serial);
        module = Capture("pactl load-module module-null-sink sink_name=" + sink + " 2>/dev/null");
        while (!module.empty() && (module.back() == '\n' || module.back() == ' ')) module.pop_back();
        ASSERT_FALSE(module.empty()) << "cannot add a null sink";
        ASSERT_EQ(setenv("PULSE_SINK", sink.c_str(), 1), 0);
        ASSERT_TRUE(BASS_Init(-1, kRate, 0, nullptr, nullptr)) << "PulseAudio runs but PortAudio cannot open it: "
                                                              << BASS_ErrorGetCode();
        ASSERT_FALSE(BASS_Test_OutputIsSilent());
        // The sink starts slowly after a new stream appears; let it settle.
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        ASSERT_TRUE(recorder.start(sink + ".monitor")) << "parec does not record the monitor";
        track = ClickTrack();
    }
    void TearDown() override {
        recorder.stop();
        BASS_Free();
        unsetenv("PULSE_SINK");
        if (!module.empty()) test::Run("pactl unload-module " + module + " >/dev/null 2>&1");
    }

    // Samples the reported position every millisecond while `during` runs its steps,
    // until the channel stops (or 15 s pass).
    template <typename Steps>
    void playAndSample(DWORD h, Steps&& during) {
        const std::int64_t start = NowNs();
        while (NowNs() - start < 15'000'000'000) {
            const std::int64_t ns = NowNs();
            const QWORD pos = BASS_ChannelGetPosition(h, BASS_POS_BYTE);
            const double sec = BASS_ChannelBytes2Seconds(h, pos);
            samples.push_back({ns, sec});
            if (!during(sec)) break;
            if (BASS_ChannelIsActive(h) == BASS_ACTIVE_STOPPED) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the tail reaches the sink
        recorder.stop();
    }

    // For each click heard: the reported position at that moment minus the click's
    // place in the track (seconds of source).
    std::vector<std::pair<double, double>> heardVersusReported() {
        std::vector<std::pair<double, double>> out;
        for (std::int64_t w : Onsets(recorder.left(), recorder.t0())) {
            const double reported = PositionAt(samples, w);
            double nearest = ClickTimes().front();
            for (double c : ClickTimes())
                if (std::abs(c - reported) < std::abs(nearest - reported)) nearest = c;
            out.emplace_back(nearest, reported - nearest);
        }
        return out;
    }

    static void Report(const char* what, const std::vector<std::pair<double, double>>& errors) {
        std::printf("[ %s ] click: reported - actual (ms):", what);
        for (const auto& [click, err] : errors) std::printf(" %.1f@%.1fs", err * 1000, click);
        std::printf("\n");
    }

    std::string sink, module;
    MonitorRecorder recorder;
    Bytes track;
    std::vector<PositionSample> samples;
};

TEST_F(DeviceOutput, EachClickIsHeardWhereThePositionSaysIt) {
    Handle h(PlayStream(track));
    ASSERT_TRUE(h);
    ASSERT_TRUE(BASS_ChannelPlay(h.get(), TRUE));
    playAndSample(h.get(), [](double) { return true; });
    const auto errors = heardVersusReported();
    Report("plain", errors);
    ASSERT_EQ(errors.size(), ClickTimes().size());
    for (std::size_t i = 0; i < errors.size(); ++i) {
        EXPECT_DOUBLE_EQ(errors[i].first, ClickTimes()[i]);
        EXPECT_LT(std::abs(errors[i].second), 0.020);
    }
    // Smooth and monotonic while playing; at the end it rests on the last frame. (The
    // last sample may be taken a moment before the end is noticed, so ask again.)
    for (std::size_t i = 1; i < samples.size(); ++i) ASSERT_GE(samples[i].seconds, samples[i - 1].seconds);
    EXPECT_LE(samples.back().seconds, 4.0);
    EXPECT_EQ(BASS_ChannelIsActive(h.get()), BASS_ACTIVE_STOPPED);
    EXPECT_DOUBLE_EQ(BASS_ChannelBytes2Seconds(h.get(), BASS_ChannelGetPosition(h.get(), BASS_POS_BYTE)), 4.0);
}

TEST_F(DeviceOutput, PauseAndResumeNeitherSkipNorRepeat) {
    Handle h(PlayStream(track));
    ASSERT_TRUE(h);
    ASSERT_TRUE(BASS_ChannelPlay(h.get(), TRUE));
    bool paused = false, resumed = false;
    double pausedAt = -1;
    std::int64_t pauseEnds = 0;
    playAndSample(h.get(), [&](double sec) {
        if (!paused && sec >= 1.2) {
            EXPECT_TRUE(BASS_ChannelPause(h.get()));
            pausedAt = BASS_ChannelBytes2Seconds(h.get(), BASS_ChannelGetPosition(h.get(), BASS_POS_BYTE));
            EXPECT_EQ(BASS_ChannelIsActive(h.get()), BASS_ACTIVE_PAUSED);
            paused = true;
            pauseEnds = NowNs() + 700'000'000;
        } else if (paused && !resumed) {
            EXPECT_DOUBLE_EQ(sec, pausedAt);  // exact while paused
            if (NowNs() >= pauseEnds) {
                EXPECT_TRUE(BASS_ChannelPlay(h.get(), FALSE));
                resumed = true;
            }
        }
        return true;
    });
    ASSERT_TRUE(resumed);
    const auto errors = heardVersusReported();
    Report("pause/resume", errors);
    ASSERT_EQ(errors.size(), ClickTimes().size()) << "a click was skipped or heard twice";
    for (std::size_t i = 0; i < errors.size(); ++i) {
        EXPECT_DOUBLE_EQ(errors[i].first, ClickTimes()[i]);
        EXPECT_LT(std::abs(errors[i].second), 0.020);
    }
}

TEST_F(DeviceOutput, SeekMovesThePositionAtOnceAndTheSoundFollows) {
    Handle h(PlayStream(track));
    ASSERT_TRUE(h);
    ASSERT_TRUE(BASS_ChannelPlay(h.get(), TRUE));
    bool sought = false;
    playAndSample(h.get(), [&](double sec) {
        if (!sought && sec >= 0.7) {
            EXPECT_TRUE(BASS_ChannelSetPosition(h.get(), BASS_ChannelSeconds2Bytes(h.get(), 2.2), BASS_POS_BYTE));
            EXPECT_NEAR(BASS_ChannelBytes2Seconds(h.get(), BASS_ChannelGetPosition(h.get(), BASS_POS_BYTE)), 2.2, 0.001);
            sought = true;
        }
        return true;
    });
    const auto errors = heardVersusReported();
    Report("seek", errors);
    ASSERT_EQ(errors.size(), 4u);  // 0.5, then 2.5 .. 3.5; 1.0 to 2.0 were jumped over
    const double expected[] = {0.5, 2.5, 3.0, 3.5};
    for (std::size_t i = 0; i < errors.size(); ++i) {
        EXPECT_DOUBLE_EQ(errors[i].first, expected[i]);
        EXPECT_LT(std::abs(errors[i].second), 0.020);
    }
}

TEST_F(DeviceOutput, DoubleRatePlaysTwiceAsFastInSourcePositions) {
    Handle h(PlayStream(track));
    ASSERT_TRUE(h);
    ASSERT_TRUE(BASS_ChannelPlay(h.get(), TRUE));
    bool faster = false;
    playAndSample(h.get(), [&](double sec) {
        if (!faster && sec >= 0.7) {
            EXPECT_TRUE(BASS_ChannelSlideAttribute(h.get(), BASS_ATTRIB_FREQ, 2.0f * kRate, 0));
            faster = true;
        }
        return true;
    });
    const auto errors = heardVersusReported();
    Report("double rate", errors);
    ASSERT_EQ(errors.size(), ClickTimes().size());
    for (std::size_t i = 0; i < errors.size(); ++i) {
        EXPECT_DOUBLE_EQ(errors[i].first, ClickTimes()[i]);
        // 20 ms of listening is 40 ms of source at double rate.
        EXPECT_LT(std::abs(errors[i].second), i == 0 ? 0.020 : 0.040);
    }
    // After the change the clicks come every 250 ms.
    const auto onsets = Onsets(recorder.left(), recorder.t0());
    for (std::size_t i = 2; i < onsets.size(); ++i)
        EXPECT_NEAR(static_cast<double>(onsets[i] - onsets[i - 1]) / 1e9, 0.25, 0.002);
}

TEST_F(DeviceOutput, LoopingWrapsToTheStartWithoutAGap) {
    // One second with a click at 0.1 s, looped: the clicks come exactly a second apart.
    std::vector<std::int16_t> one(2 * kRate, 0);
    for (std::size_t i = 0; i < 44; ++i) one[2 * (4410 + i)] = one[2 * (4410 + i) + 1] = 20000;
    const Bytes loop = MakeWav(kRate, 2, one);
    Handle h(PlayStream(loop, BASS_SAMPLE_LOOP));
    ASSERT_TRUE(h);
    ASSERT_TRUE(BASS_ChannelPlay(h.get(), TRUE));
    const std::int64_t start = NowNs();
    playAndSample(h.get(), [&](double) { return NowNs() - start < 3'400'000'000; });
    const auto onsets = Onsets(recorder.left(), recorder.t0());
    ASSERT_GE(onsets.size(), 3u);
    for (std::size_t i = 1; i < onsets.size(); ++i)
        EXPECT_NEAR(static_cast<double>(onsets[i] - onsets[i - 1]) / 1e9, 1.0, 0.001);
    std::printf("[ loop ] click:");
    for (std::int64_t w : onsets) {
        const double reported = PositionAt(samples, w);
        std::printf(" %.1f ms", (reported - 0.1) * 1000);
        EXPECT_NEAR(reported, 0.1, 0.020);  // heard where the (wrapped) position says
    }
    std::printf("\n");
}

}  // namespace
}  // namespace qlrc::audio::test
