// Output: the PortAudio device, the lock-free voices it mixes and the feeder thread
// that keeps the voices filled.
//
// Threads:
//  - the PortAudio callback (real-time) only calls Voice::mixInto through Output's
//    callback: it copies samples out of ring blocks, publishes the playhead through
//    atomics, and never decodes, locks, allocates or logs;
//  - the feeder thread (Output's std::jthread) calls VoiceClient::feed on the playing
//    channels, which decode into their voice's ring under the channel's own lock;
//  - control threads (GUI, tests) call the Voice control functions with the owning
//    channel's lock held, and Output::now/rate/wake/attach/detach freely.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <stop_token>
#include <thread>
#include <vector>

namespace qlrc::audio {

// Device frames per ring block; blocks are the unit handed from feeder to callback.
constexpr std::uint32_t kBlockFrames = 256;

struct Block {
    std::uint64_t gen = 0;    // generation the block was produced for (older ones are skipped)
    std::uint32_t frames = 0; // valid frames in samples
    bool end = false;         // end of the stream: nothing follows in this generation
    double srcPos = 0;        // source frame of the first sample
    double step = 1;          // source frames per device frame
    float samples[kBlockFrames * 2] = {};  // stereo, interleaved
};

// One playing channel as the callback sees it: a single-producer (feeder) /
// single-consumer (callback) ring of blocks plus the published playhead.
class Voice {
public:
    // ~1.1 s at 44.1 kHz: the feeder may be starved of CPU for a while without a gap.
    static constexpr std::size_t kBlocks = 192;
    static constexpr std::size_t kAnchors = 256;

    Voice();

    // ---- control side (owning channel's lock held) ----
    // Starts a new generation: every block already queued is dropped unheard.
    std::uint64_t newGeneration();
    std::uint64_t generation() const { return gen_.load(std::memory_order_acquire); }
    void setPlaying(bool on) { playing_.store(on, std::memory_order_release); }
    // Drops every queued block. Only after setPlaying(false) and Output::quiesce(): the
    // control thread then stands in for the consumer, which is not looking.
    void flush();
    // Source position heard at device time `now` (device running at `rate` Hz), from
    // what the callback mixed in generations minGen..curGen; false when none of that has
    // reached the device yet. `ended`: the end block of curGen has been heard.
    bool heardPosition(double now, double rate, std::uint64_t minGen, std::uint64_t curGen, double& pos,
                       bool& ended) const;
    // Source position just after the last frame mixed in generations >= minGen (where a
    // continuation must start so nothing is skipped or heard twice); false when none.
    // Call after setPlaying(false) and Output::quiesce().
    bool lastMixedEnd(std::uint64_t minGen, double& end) const;

    // ---- producer side (feeder, owning channel's lock held) ----
    Block* freeBlock();  // next block to fill, or null when the ring is full
    void commit();       // publishes the block returned by freeBlock

    // ---- consumer side (PortAudio callback only) ----
    // Adds this voice's next `frames` frames to out (stereo). dac: device time of out[0].
    void mixInto(float* out, std::uint32_t frames, double dac, double rate) noexcept;

private:
    void publishAnchor(double dac, double srcPos, double step, std::uint32_t frames, std::uint64_t gen) noexcept;
    struct AnchorCopy { double dac, srcPos, step; std::uint32_t frames; std::uint64_t gen; };
    void copyAnchors(std::array<AnchorCopy, kAnchors>& out) const;

    std::vector<Block> blocks_;  // fixed size, allocated once
    // SPSC indices. writeCount_ is stored by the producer with release after the block is
    // filled; readCount_ by the consumer with release after it has finished with a block.
    std::atomic<std::uint64_t> writeCount_{0};
    std::atomic<std::uint64_t> readCount_{0};
    std::uint32_t readOffset_ = 0;  // consumer only: frames already taken from the front block

    std::atomic<std::uint64_t> gen_{1};
    std::atomic<bool> playing_{false};

    // Playhead, written by the callback under a sequence lock (odd = being written).
    struct Anchor {
        std::atomic<double> dac{0}, srcPos{0}, step{0};
        std::atomic<std::uint32_t> frames{0};
        std::atomic<std::uint64_t> gen{0};
    };
    mutable std::atomic<std::uint32_t> seq_{0};
    std::array<Anchor, kAnchors> anchors_;
    std::atomic<std::uint32_t> anchorHead_{0};
    std::atomic<std::uint64_t> endGen_{0};
    std::atomic<double> endDac_{0};
};

// Implemented by playback channels: top up the voice (called on the feeder thread).
class VoiceClient {
public:
    virtual void feed() = 0;

protected:
    ~VoiceClient() = default;
};

class Output {
public:
    static constexpr std::size_t kSlots = 32;

    // Opens the default device at `rate` Hz, stereo float. Null when it cannot be opened.
    static std::shared_ptr<Output> OpenDefault(int rate);
    ~Output();
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    double rate() const { return rate_; }  // fixed after opening
    // The device clock (the time base of the callback's dac times), seconds.
    double now() const;

    // Registers a voice with the callback and its client with the feeder. False when
    // every slot is taken. The voice must stay alive until detach has returned.
    bool attach(Voice* voice, std::weak_ptr<VoiceClient> client);
    // Removes the voice; on return the callback no longer touches it.
    void detach(Voice* voice);
    // Waits until a callback in progress (if any) has finished, so that what it read
    // (a voice's playing flag, say) before this call is no longer in use.
    void quiesce();
    // Makes the feeder run a round now (after play, seek, rate change).
    void wake();

    // Frames handed to the device so far (tests and benchmarks).
    std::uint64_t framesRendered() const { return rendered_.load(std::memory_order_relaxed); }

    // PortAudio callback thread only (through the adapter in Output.cpp).
    int onDeviceCallback(float* out, unsigned long frames, double dacTime, double currentTime) noexcept;

private:
    struct Impl;
    Output();
    int render(float* out, unsigned long frames, double dac) noexcept;
    void feederLoop(std::stop_token stop);

    std::unique_ptr<Impl> impl_;
    double rate_ = 44100;
    double latency_ = 0;

    std::array<std::atomic<Voice*>, kSlots> slots_{};
    std::atomic<std::uint64_t> enterCount_{0};  // callbacks started
    std::atomic<std::uint64_t> exitCount_{0};   // callbacks finished
    std::atomic<std::uint64_t> rendered_{0};

    std::mutex clientsMutex_;
    std::condition_variable_any wakeup_;
    bool woken_ = false;
    std::vector<std::pair<Voice*, std::weak_ptr<VoiceClient>>> clients_;
    std::jthread feeder_;  // last member: started last, stopped and joined first
};

}  // namespace qlrc::audio
