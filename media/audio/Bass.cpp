// The BASS-style functions over Decoder (decoding) and Output (device, voices, feeder).
//
// Locking: the handle table has one mutex (held only to find, add or remove handles);
// each channel has its own mutex, held for every operation on it, including the
// feeder's decoding for a playing channel. Lock order: the table lock is never held
// while taking another (except by BASS_Init, which opens the device under it); a
// channel's lock may be followed by Output's client list (wake/detach) or the silent
// clock's lock. The PortAudio callback takes no lock at all.
#include "../Bass.h"

#include "Decoder.h"
#include "Output.h"

#include <samplerate.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <new>
#include <string_view>
#include <unordered_map>

namespace qlrc::audio {
namespace {

thread_local int tError = BASS_OK;

template <typename T>
T Fail(int code, T result) {
    tError = code;
    return result;
}

// ---- silent output clock -----------------------------------------------------------------

std::mutex& ClockMutex() {
    static std::mutex m;
    return m;
}
std::function<std::int64_t()>& ClockFunction() {
    static std::function<std::int64_t()> f;
    return f;
}
std::int64_t SilentNowNs() {
    std::lock_guard lock(ClockMutex());
    if (ClockFunction()) return ClockFunction()();
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Whole frames in `seconds` at `rate`; the tiny bias keeps 0.02 s * 44100 at 882 despite
// binary fractions.
std::int64_t SecondsToFrames(double seconds, int rate) {
    return static_cast<std::int64_t>(std::floor(seconds * rate + 1e-6));
}

// ---- channels ----------------------------------------------------------------------------

class Channel {
public:
    Channel(std::unique_ptr<Decoder> decoder, DWORD flags)
        : fmt_(decoder->format()), bpf_(fmt_.bytesPerFrame()), decode_((flags & BASS_STREAM_DECODE) != 0),
          decoder_(std::move(decoder)), length_(decoder_->lengthFrames()), freq_(static_cast<float>(fmt_.rate)),
          loop_((flags & BASS_SAMPLE_LOOP) != 0) {}
    virtual ~Channel() = default;
    Channel(const Channel&) = delete;
    Channel& operator=(const Channel&) = delete;

    const DecoderFormat& format() const { return fmt_; }  // never changes
    int bytesPerFrame() const { return bpf_; }
    bool isDecode() const { return decode_; }

    QWORD lengthBytes() {
        std::lock_guard lock(m_);
        return length_ * bpf_;
    }
    QWORD positionBytes() {
        std::lock_guard lock(m_);
        return static_cast<QWORD>(std::floor(positionFrames())) * bpf_;
    }
    BOOL setPositionBytes(QWORD bytes) {
        std::lock_guard lock(m_);
        if (bytes < 0) return Fail(BASS_ERROR_ILLPARAM, FALSE);
        const std::int64_t frame = bytes / bpf_;
        if (frame > length_) return Fail(BASS_ERROR_POSITION, FALSE);
        return seekTo(frame) ? TRUE : Fail(BASS_ERROR_POSITION, FALSE);
    }
    DWORD isActive() {
        std::lock_guard lock(m_);
        return activity();
    }
    float freq() {
        std::lock_guard lock(m_);
        return freq_;
    }
    BOOL setFreq(float value) {
        std::lock_guard lock(m_);
        if (!std::isfinite(value) || value < 100.0f || value > 16.0f * static_cast<float>(fmt_.rate))
            return Fail(BASS_ERROR_ILLPARAM, FALSE);
        changeFreq(value);
        return TRUE;
    }
    DWORD flags() {
        std::lock_guard lock(m_);
        return flagsLocked();
    }
    DWORD setLoop(bool on) {
        std::lock_guard lock(m_);
        changeLoop(on);
        return flagsLocked();
    }

    // Decode-only operations.
    virtual DWORD level() { return Fail(BASS_ERROR_NOTAVAIL, DWORD{0}); }
    virtual DWORD data(void*, DWORD) { return Fail(BASS_ERROR_NOTAVAIL, static_cast<DWORD>(-1)); }
    // Playback-only operations.
    virtual BOOL play(bool) { return Fail(BASS_ERROR_DECODE, FALSE); }
    virtual BOOL pause() { return Fail(BASS_ERROR_DECODE, FALSE); }
    virtual BOOL stop() { return Fail(BASS_ERROR_DECODE, FALSE); }
    // Releases the device side; called on the freeing thread before the last reference goes.
    virtual void shutdown() {}

protected:
    // All with m_ held.
    virtual double positionFrames() = 0;
    virtual bool seekTo(std::int64_t frame) = 0;
    virtual DWORD activity() = 0;
    virtual void changeFreq(float value) { freq_ = value; }
    virtual void changeLoop(bool on) { loop_ = on; }
    DWORD flagsLocked() const {
        return (fmt_.eightBit ? BASS_SAMPLE_8BITS : 0) | (loop_ ? BASS_SAMPLE_LOOP : 0)
               | (decode_ ? BASS_STREAM_DECODE : 0);
    }

    const DecoderFormat fmt_;  // never changes after construction
    const int bpf_;            // never changes after construction
    const bool decode_;        // never changes after construction
    std::mutex m_;
    std::unique_ptr<Decoder> decoder_;
    std::int64_t length_;  // frames
    float freq_;
    bool loop_;
};

// Pulled by its caller: GetLevel / GetData move the position on.
class DecodeChannel final : public Channel {
public:
    using Channel::Channel;

    DWORD level() override {
        std::lock_guard lock(m_);
        const auto want = static_cast<std::size_t>(std::max<std::int64_t>(1, SecondsToFrames(0.02, fmt_.rate)));
        // Peaks straight from the decoded chunk, without copying it out first: the
        // waveform scan calls this some 50 times per second of audio.
        int peak[2] = {0, 0};
        std::size_t got = 0;
        while (got < want && hasMore()) {
            const std::size_t avail = (pending_.size() - pendingOff_) / bpf_;
            const std::size_t take = std::min(avail, want - got);
            AddPeaks(pending_.data() + pendingOff_, take, peak);
            pendingOff_ += take * bpf_;
            got += take;
        }
        pos_ += static_cast<std::int64_t>(got);
        if (pos_ > length_) length_ = pos_;
        if (got == 0) return Fail(BASS_ERROR_ENDED, DWORD{0});
        tError = BASS_OK;
        if (fmt_.channels == 1) peak[1] = peak[0];
        return static_cast<DWORD>(peak[0]) | (static_cast<DWORD>(peak[1]) << 16);
    }

    DWORD data(void* buffer, DWORD length) override {
        // Flags in the high bits (FFT, float, available bytes) are not offered.
        if (!buffer || (length & 0xF0000000u)) return Fail(BASS_ERROR_ILLPARAM, static_cast<DWORD>(-1));
        std::lock_guard lock(m_);
        const std::size_t frames = length / static_cast<DWORD>(bpf_);
        const std::size_t got = readFrames(buffer, frames);
        tError = (got || frames == 0) ? BASS_OK : BASS_ERROR_ENDED;
        return static_cast<DWORD>(got * bpf_);
    }

protected:
    double positionFrames() override { return static_cast<double>(pos_); }

    bool seekTo(std::int64_t frame) override {
        pending_.clear();
        pendingOff_ = 0;
        eof_ = false;
        if (decoder_->seek(frame)) {
            pos_ = frame;
            return true;
        }
        // Damaged data the decoder cannot cross: go back to where we were; failing that,
        // the stream ends here.
        if (!decoder_->seek(pos_)) {
            eof_ = true;
            length_ = pos_;
        }
        return false;
    }

    DWORD activity() override { return hasMore() ? BASS_ACTIVE_PLAYING : BASS_ACTIVE_STOPPED; }

private:
    // Raises peak[0] / peak[1] to the largest magnitudes of channels 0 and 1 (mono:
    // channel 0 only) in `frames` frames at `src`; 8-bit samples count (s - 128) * 256.
    void AddPeaks(const std::uint8_t* src, std::size_t frames, int peak[2]) const {
        const std::size_t ch = static_cast<std::size_t>(fmt_.channels);
        const std::size_t used = std::min<std::size_t>(ch, 2);
        if (fmt_.eightBit) {
            for (std::size_t f = 0; f < frames; ++f)
                for (std::size_t c = 0; c < used; ++c)
                    peak[c] = std::max(peak[c], std::abs(static_cast<int>(src[f * ch + c]) - 128) * 256);
            return;
        }
        constexpr std::size_t kChunk = 2048;  // samples
        std::int16_t s[kChunk];
        const std::size_t perChunk = kChunk / ch;
        for (std::size_t done = 0; done < frames;) {
            const std::size_t n = std::min(perChunk, frames - done);
            std::memcpy(s, src + done * ch * 2, n * ch * 2);  // the bytes may not be aligned for int16
            if (ch == 2) {
                int l = peak[0], r = peak[1];
                for (std::size_t f = 0; f < n; ++f) {
                    l = std::max(l, std::abs(static_cast<int>(s[2 * f])));
                    r = std::max(r, std::abs(static_cast<int>(s[2 * f + 1])));
                }
                peak[0] = l;
                peak[1] = r;
            } else {
                for (std::size_t f = 0; f < n; ++f)
                    for (std::size_t c = 0; c < used; ++c)
                        peak[c] = std::max(peak[c], std::abs(static_cast<int>(s[f * ch + c])));
            }
            done += n;
        }
    }

    // Keeps one decoded chunk ahead, so "data remains" is known exactly.
    bool hasMore() {
        if (pendingOff_ < pending_.size()) return true;
        if (eof_) return false;
        constexpr std::size_t kChunk = 4096;
        pending_.resize(kChunk * bpf_);
        pendingOff_ = 0;
        const std::size_t got = decoder_->read(pending_.data(), kChunk);
        pending_.resize(got * bpf_);
        if (got == 0) {
            eof_ = true;
            length_ = pos_;  // what the decoder really delivered is the length
            return false;
        }
        return true;
    }

    std::size_t readFrames(void* dst, std::size_t frames) {
        auto* out = static_cast<std::uint8_t*>(dst);
        std::size_t done = 0;
        while (done < frames && hasMore()) {
            const std::size_t avail = (pending_.size() - pendingOff_) / bpf_;
            const std::size_t take = std::min(avail, frames - done);
            std::memcpy(out + done * bpf_, pending_.data() + pendingOff_, take * bpf_);
            pendingOff_ += take * bpf_;
            done += take;
        }
        pos_ += static_cast<std::int64_t>(done);
        if (pos_ > length_) length_ = pos_;
        return done;
    }

    std::int64_t pos_ = 0;
    Bytes pending_;
    std::size_t pendingOff_ = 0;
    bool eof_ = false;
};

struct SrcDeleter {
    void operator()(SRC_STATE* s) const { src_delete(s); }
};

// Pushed to the output by the layer: on the device through a Voice, or on the silent
// clock when there is no device.
class PlaybackChannel final : public Channel, public VoiceClient, public std::enable_shared_from_this<PlaybackChannel> {
public:
    PlaybackChannel(std::unique_ptr<Decoder> decoder, DWORD flags, std::shared_ptr<Output> out)
        : Channel(std::move(decoder), flags), out_(std::move(out)) {
        if (out_) voice_ = std::make_unique<Voice>();
    }
    ~PlaybackChannel() override { shutdown(); }

    // Registers the voice with the device; false when no slot is free.
    bool attach() {
        std::lock_guard lock(m_);
        if (!out_) return true;
        if (out_->attach(voice_.get(), weak_from_this())) return true;
        out_.reset();
        return false;
    }

    void shutdown() override {
        std::lock_guard lock(m_);
        if (out_) {
            voice_->setPlaying(false);
            out_->detach(voice_.get());
            out_.reset();
        }
        state_ = State::Stopped;
    }

    BOOL play(bool restart) override {
        std::lock_guard lock(m_);
        if (!restart && state_ == State::Playing) {
            positionFrames();  // may find the end has been reached
            if (state_ == State::Playing) return TRUE;
        }
        if (restart) jumped_ = true;
        startAt(restart ? 0.0 : stored_, true);
        return TRUE;
    }

    BOOL pause() override { return halt(State::Paused); }
    BOOL stop() override { return halt(State::Stopped); }

    // Feeder thread: decode ahead into the voice's ring.
    void feed() override {
        std::lock_guard lock(m_);
        feedLocked(Voice::kBlocks);
    }

protected:
    double positionFrames() override {
        if (state_ != State::Playing) return stored_;
        double p = 0;
        if (!out_) {
            p = basePos_ + static_cast<double>(SilentNowNs() - baseNs_) * 1e-9 * freq_;
            if (p >= static_cast<double>(length_)) {
                if (loop_ && length_ > 0) return std::fmod(p, static_cast<double>(length_));
                return finish();
            }
            return p;
        }
        bool ended = false;
        const bool heard = voice_->heardPosition(out_->now(), out_->rate(), validFrom_, gen_, p, ended);
        if (ended) return finish();
        if (!heard) p = genStart_;
        if (p >= static_cast<double>(length_)) p = loop_ ? p - static_cast<double>(length_) : static_cast<double>(length_);
        // Device time estimates jitter a little between callbacks; never step back
        // (except across a loop's wrap, which jumps by far more than half a second).
        if (p < lastPos_ && lastPos_ - p < 0.5 * freq_) p = lastPos_;
        lastPos_ = p;
        return p;
    }

    bool seekTo(std::int64_t frame) override {
        if (state_ == State::Playing) {
            startAt(static_cast<double>(frame), false);
        } else {
            stored_ = static_cast<double>(frame);
            jumped_ = true;
        }
        return true;
    }

    DWORD activity() override {
        positionFrames();  // notices the end of the stream
        switch (state_) {
        case State::Playing: return BASS_ACTIVE_PLAYING;
        case State::Paused: return BASS_ACTIVE_PAUSED;
        case State::Stopped: break;
        }
        return BASS_ACTIVE_STOPPED;
    }

    void changeFreq(float value) override {
        if (state_ == State::Playing && !out_) {
            const double p = positionFrames();
            freq_ = value;
            if (state_ == State::Playing) startAt(p, true);
        } else if (state_ == State::Playing) {
            // Continue right after what the device already has, at the new rate.
            const double p = holdVoice();
            freq_ = value;
            startAt(p, true);
        } else {
            freq_ = value;
        }
    }

    void changeLoop(bool on) override {
        if (state_ == State::Playing && !out_) {
            const double p = positionFrames();
            loop_ = on;
            if (state_ == State::Playing) startAt(p, true);  // re-base the clock
        } else if (state_ == State::Playing && on && producedEnd_) {
            loop_ = on;
            startAt(holdVoice(), true);  // an end already queued must go
        } else {
            loop_ = on;
        }
    }

private:
    // Decodes up to maxBlocks blocks into the free part of the voice's ring.
    void feedLocked(std::size_t maxBlocks) {
        if (!out_ || state_ != State::Playing || producedEnd_) return;
        const double devRate = out_->rate();
        const bool direct = freq_ == static_cast<float>(fmt_.rate) && devRate == fmt_.rate;
        int emptyRounds = 0;
        for (std::size_t filled = 0; filled < maxBlocks; ++filled) {
            Block* b = voice_->freeBlock();
            if (!b) break;
            b->gen = gen_;
            b->end = false;
            b->step = freq_ / devRate;
            b->srcPos = producePos_;
            const std::size_t n = direct ? produceDirect(b->samples) : produceResampled(b->samples, b->step);
            if (n == 0) {
                if (direct && loop_ && length_ > 0 && ++emptyRounds < 2 && decoder_->seek(0)) {
                    producePos_ = 0;  // the next block starts at byte 0: no gap
                    continue;
                }
                b->frames = 0;
                b->end = true;
                voice_->commit();
                producedEnd_ = true;
                return;
            }
            emptyRounds = 0;
            b->frames = static_cast<std::uint32_t>(n);
            voice_->commit();
        }
    }

    enum class State { Stopped, Playing, Paused };

    double finish() {
        state_ = State::Stopped;
        stored_ = static_cast<double>(length_);
        if (voice_) {
            voice_->setPlaying(false);
            gen_ = voice_->newGeneration();
        }
        return stored_;
    }

    BOOL halt(State to) {
        std::lock_guard lock(m_);
        if (state_ == State::Playing) {
            stored_ = positionFrames();  // silent output; may also find the end
            if (voice_ && state_ == State::Playing) {
                // The device still plays what it has queued, so the channel stops after
                // that, and continues from there: nothing is skipped or heard twice.
                stored_ = holdVoice();
                gen_ = voice_->newGeneration();  // what is left in the ring is dropped
            }
        }
        if (state_ != State::Stopped) state_ = to;
        return TRUE;
    }

    // Stops the callback taking from the voice and returns the source position right
    // after the last frame it mixed (or where this generation started).
    double holdVoice() {
        voice_->setPlaying(false);
        out_->quiesce();
        double end = genStart_;
        if (!voice_->lastMixedEnd(validFrom_, end)) end = genStart_;
        return std::clamp(end, 0.0, static_cast<double>(length_));
    }

    // Starts (or restarts) playing from source frame `from`, at once. continuous: the
    // audio follows on from what the device is still playing (resume, rate or loop
    // change), so the position keeps following it; otherwise (seek, restart) the
    // position jumps to `from` now.
    void startAt(double from, bool continuous) {
        from = std::clamp(from, 0.0, static_cast<double>(length_));
        if (jumped_) continuous = false;
        jumped_ = false;
        state_ = State::Playing;
        stored_ = from;
        if (!out_) {
            basePos_ = from;
            baseNs_ = SilentNowNs();
            return;
        }
        voice_->setPlaying(false);
        out_->quiesce();
        voice_->flush();
        const auto frame = static_cast<std::int64_t>(std::floor(from));
        producedEnd_ = !decoder_->seek(frame);  // a decoder that cannot seek ends here
        producePos_ = static_cast<double>(frame);
        if (src_) src_reset(src_.get());
        gen_ = voice_->newGeneration();
        if (!continuous) {
            validFrom_ = gen_;
            lastPos_ = from;
        }
        genStart_ = from;
        feedLocked(8);  // the first ~50 ms are ready before the callback looks
        voice_->setPlaying(true);
        out_->wake();
    }

    // Decoded frames -> stereo float. Mono is doubled; beyond two channels the first two are kept.
    void toStereo(const std::uint8_t* src, std::size_t frames, float* dst) const {
        const std::size_t ch = static_cast<std::size_t>(fmt_.channels);
        for (std::size_t f = 0; f < frames; ++f) {
            float s[2];
            for (std::size_t c = 0; c < 2; ++c) {
                const std::size_t i = f * ch + std::min(c, ch - 1);
                if (fmt_.eightBit) s[c] = (static_cast<int>(src[i]) - 128) / 128.0f;
                else {
                    std::int16_t v;
                    std::memcpy(&v, src + 2 * i, 2);
                    s[c] = v / 32768.0f;
                }
            }
            dst[2 * f] = s[0];
            dst[2 * f + 1] = s[1];
        }
    }

    std::size_t produceDirect(float* out) {
        decoded_.resize(kBlockFrames * static_cast<std::size_t>(bpf_));
        const std::size_t n = decoder_->read(decoded_.data(), kBlockFrames);
        toStereo(decoded_.data(), n, out);
        producePos_ += static_cast<double>(n);
        return n;
    }

    static long SrcInput(void* user, float** data) {
        auto* self = static_cast<PlaybackChannel*>(user);
        constexpr std::size_t kIn = 1024;
        self->decoded_.resize(kIn * static_cast<std::size_t>(self->bpf_));
        std::size_t n = self->decoder_->read(self->decoded_.data(), kIn);
        if (n == 0 && self->loop_ && self->length_ > 0 && self->decoder_->seek(0))
            n = self->decoder_->read(self->decoded_.data(), kIn);  // looping: no gap
        self->srcIn_.resize(2 * std::max<std::size_t>(n, 1));
        self->toStereo(self->decoded_.data(), n, self->srcIn_.data());
        *data = self->srcIn_.data();
        return static_cast<long>(n);
    }

    std::size_t produceResampled(float* out, double step) {
        if (!src_) {
            int err = 0;
            src_.reset(src_callback_new(&PlaybackChannel::SrcInput, SRC_SINC_FASTEST, 2, &err, this));
            if (!src_ || err != 0) return 0;
        }
        const long n = src_callback_read(src_.get(), 1.0 / step, kBlockFrames, out);
        if (n <= 0) return 0;
        producePos_ += static_cast<double>(n) * step;
        if (producePos_ >= static_cast<double>(length_) && loop_ && length_ > 0)
            producePos_ -= static_cast<double>(length_);
        return static_cast<std::size_t>(n);
    }

    std::shared_ptr<Output> out_;  // null: the silent output
    std::unique_ptr<Voice> voice_;
    State state_ = State::Stopped;
    double stored_ = 0;  // position while paused or stopped (frames)
    // silent output
    double basePos_ = 0;
    std::int64_t baseNs_ = 0;
    // device
    std::uint64_t gen_ = 0;
    std::uint64_t validFrom_ = 0;  // oldest generation whose audio still counts for the position
    bool jumped_ = true;           // moved while not playing: the next start is a jump
    double genStart_ = 0;
    double lastPos_ = 0;
    double producePos_ = 0;
    bool producedEnd_ = false;
    std::unique_ptr<SRC_STATE, SrcDeleter> src_;
    Bytes decoded_;
    std::vector<float> srcIn_;
};

// ---- the handle table ----------------------------------------------------------------------

struct Layer {
    std::mutex m;
    std::unordered_map<DWORD, std::shared_ptr<Channel>> channels;
    DWORD next = 1;
    bool initialised = false;
    bool silentChosen = false;
    std::shared_ptr<Output> output;  // null: silent output
};

Layer& TheLayer() {
    static Layer layer;
    return layer;
}

std::shared_ptr<Channel> Find(DWORD handle) {
    if (handle == 0) return Fail(BASS_ERROR_HANDLE, std::shared_ptr<Channel>());
    Layer& l = TheLayer();
    std::lock_guard lock(l.m);
    const auto it = l.channels.find(handle);
    if (it == l.channels.end()) return Fail(BASS_ERROR_HANDLE, std::shared_ptr<Channel>());
    tError = BASS_OK;
    return it->second;
}

// Every entry point runs its body through here: a failure to allocate (or any other
// exception from below) becomes an error result instead of leaving the C-style API.
template <typename T, typename F>
T Guarded(T onError, F&& body) {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return Fail(BASS_ERROR_MEM, onError);
    } catch (...) {
        return Fail(BASS_ERROR_UNKNOWN, onError);
    }
}

// The bytes to decode, copied so the caller's block may go away at any time.
std::shared_ptr<const Bytes> TakeBytes(BOOL mem, const void* file, QWORD offset, QWORD length) {
    if (!file || offset < 0 || length < 0) return Fail(BASS_ERROR_ILLPARAM, nullptr);
    if (mem) {
        if (length == 0) return Fail(BASS_ERROR_ILLPARAM, nullptr);
        const auto* p = static_cast<const std::uint8_t*>(file) + offset;
        return std::make_shared<const Bytes>(p, p + length);
    }
    std::ifstream in(static_cast<const char*>(file), std::ios::binary);
    if (!in) return Fail(BASS_ERROR_FILEOPEN, nullptr);
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < 0 || offset > size) return Fail(BASS_ERROR_FILEOPEN, nullptr);
    const QWORD count = length == 0 ? size - offset : std::min<QWORD>(length, size - offset);
    auto bytes = std::make_shared<Bytes>(static_cast<std::size_t>(count));
    in.seekg(offset);
    if (count > 0 && !in.read(reinterpret_cast<char*>(bytes->data()), count)) return Fail(BASS_ERROR_FILEOPEN, nullptr);
    return bytes;
}

DWORD Register(std::unique_ptr<Decoder> decoder, DWORD flags) {
    Layer& l = TheLayer();
    std::shared_ptr<Channel> ch;
    if (flags & BASS_STREAM_DECODE) {
        ch = std::make_shared<DecodeChannel>(std::move(decoder), flags);
    } else {
        std::shared_ptr<Output> out;
        {
            std::lock_guard lock(l.m);
            out = l.output;
        }
        auto pc = std::make_shared<PlaybackChannel>(std::move(decoder), flags, std::move(out));
        if (!pc->attach()) return Fail(BASS_ERROR_NOCHAN, DWORD{0});
        ch = std::move(pc);
    }
    std::lock_guard lock(l.m);
    DWORD h = l.next++;
    while (h == 0 || h == static_cast<DWORD>(-1) || l.channels.count(h)) h = l.next++;
    l.channels.emplace(h, std::move(ch));
    tError = BASS_OK;
    return h;
}

BOOL FreeHandle(DWORD handle) {
    std::shared_ptr<Channel> ch;
    {
        Layer& l = TheLayer();
        std::lock_guard lock(l.m);
        const auto it = l.channels.find(handle);
        if (handle == 0 || it == l.channels.end()) return Fail(BASS_ERROR_HANDLE, FALSE);
        ch = std::move(it->second);
        l.channels.erase(it);
    }
    ch->shutdown();  // on this thread, before the last reference can end up anywhere else
    tError = BASS_OK;
    return TRUE;
}

}  // namespace
}  // namespace qlrc::audio

using namespace qlrc::audio;

BOOL BASS_Init(int device, DWORD freq, DWORD, void*, const void*) {
    return Guarded<BOOL>(FALSE, [&]() -> BOOL {
        Layer& l = TheLayer();
        std::lock_guard lock(l.m);
        if (l.initialised) return Fail(BASS_ERROR_ALREADY, FALSE);
        if (device < -1) return Fail(BASS_ERROR_DEVICE, FALSE);
        const char* env = std::getenv("QERIMOLRC_AUDIO");
        if (device == 0 || (env && std::string_view(env) == "null")) {
            l.initialised = true;
            l.silentChosen = true;
            l.output.reset();
            tError = BASS_OK;
            return TRUE;
        }
        if (freq > 384000) return Fail(BASS_ERROR_ILLPARAM, FALSE);
        l.output = Output::OpenDefault(freq ? static_cast<int>(freq) : 44100);
        if (!l.output) return Fail(BASS_ERROR_DRIVER, FALSE);  // carry on silently
        l.initialised = true;
        l.silentChosen = false;
        tError = BASS_OK;
        return TRUE;
    });
}

BOOL BASS_Stop() {
    return Guarded<BOOL>(FALSE, []() -> BOOL {
        std::vector<std::shared_ptr<Channel>> all;
        {
            Layer& l = TheLayer();
            std::lock_guard lock(l.m);
            if (!l.initialised) return Fail(BASS_ERROR_INIT, FALSE);
            for (auto& [h, ch] : l.channels)
                if (!ch->isDecode()) all.push_back(ch);
        }
        for (auto& ch : all)
            if (ch->isActive() == BASS_ACTIVE_PLAYING) ch->pause();
        tError = BASS_OK;
        return TRUE;
    });
}

BOOL BASS_Free() {
    return Guarded<BOOL>(FALSE, []() -> BOOL {
        std::unordered_map<DWORD, std::shared_ptr<Channel>> all;
        std::shared_ptr<Output> out;
        {
            Layer& l = TheLayer();
            std::lock_guard lock(l.m);
            if (!l.initialised) return Fail(BASS_ERROR_INIT, FALSE);
            all.swap(l.channels);
            out = std::move(l.output);
            l.initialised = false;
            l.silentChosen = false;
        }
        for (auto& [h, ch] : all) ch->shutdown();
        all.clear();
        out.reset();  // closes the device here, after every voice has been detached
        tError = BASS_OK;
        return TRUE;
    });
}

int BASS_ErrorGetCode() { return tError; }

HSTREAM BASS_StreamCreateFile(BOOL mem, const void* file, QWORD offset, QWORD length, DWORD flags) {
    return Guarded<HSTREAM>(0, [&]() -> HSTREAM {
        if (flags & BASS_SAMPLE_FLOAT) return Fail(BASS_ERROR_FORMAT, HSTREAM{0});
        auto bytes = TakeBytes(mem, file, offset, length);
        if (!bytes) return 0;
        auto decoder = OpenStreamDecoder(std::move(bytes));
        if (!decoder) return Fail(BASS_ERROR_FILEFORM, HSTREAM{0});
        return Register(std::move(decoder), flags);
    });
}

HMUSIC BASS_MusicLoad(BOOL mem, const void* file, QWORD offset, DWORD length, DWORD flags, DWORD freq) {
    return Guarded<HMUSIC>(0, [&]() -> HMUSIC {
        if (flags & BASS_SAMPLE_FLOAT) return Fail(BASS_ERROR_FORMAT, HMUSIC{0});
        if (freq != 0 && (freq < 8000 || freq > 192000)) return Fail(BASS_ERROR_ILLPARAM, HMUSIC{0});
        auto bytes = TakeBytes(mem, file, offset, length);
        if (!bytes) return 0;
        auto decoder = OpenModuleDecoder(std::move(bytes), freq ? static_cast<int>(freq) : 44100);
        if (!decoder) return Fail(BASS_ERROR_FILEFORM, HMUSIC{0});
        return Register(std::move(decoder), flags);
    });
}

BOOL BASS_StreamFree(HSTREAM handle) {
    return Guarded<BOOL>(FALSE, [&] { return FreeHandle(handle); });
}

BOOL BASS_MusicFree(HMUSIC handle) {
    return Guarded<BOOL>(FALSE, [&] { return FreeHandle(handle); });
}

BOOL BASS_ChannelPlay(DWORD handle, BOOL restart) {
    return Guarded<BOOL>(FALSE, [&]() -> BOOL {
        auto ch = Find(handle);
        return ch ? ch->play(restart != FALSE) : FALSE;
    });
}

BOOL BASS_ChannelPause(DWORD handle) {
    return Guarded<BOOL>(FALSE, [&]() -> BOOL {
        auto ch = Find(handle);
        return ch ? ch->pause() : FALSE;
    });
}

BOOL BASS_ChannelStop(DWORD handle) {
    return Guarded<BOOL>(FALSE, [&]() -> BOOL {
        auto ch = Find(handle);
        return ch ? ch->stop() : FALSE;
    });
}

DWORD BASS_ChannelIsActive(DWORD handle) {
    return Guarded<DWORD>(BASS_ACTIVE_STOPPED, [&]() -> DWORD {
        auto ch = Find(handle);
        return ch ? ch->isActive() : BASS_ACTIVE_STOPPED;
    });
}

QWORD BASS_ChannelGetLength(DWORD handle, DWORD mode) {
    return Guarded<QWORD>(-1, [&]() -> QWORD {
        auto ch = Find(handle);
        if (!ch) return -1;
        if (mode != BASS_POS_BYTE) return Fail(BASS_ERROR_ILLTYPE, QWORD{-1});
        return ch->lengthBytes();
    });
}

QWORD BASS_ChannelGetPosition(DWORD handle, DWORD mode) {
    return Guarded<QWORD>(-1, [&]() -> QWORD {
        auto ch = Find(handle);
        if (!ch) return -1;
        if (mode != BASS_POS_BYTE) return Fail(BASS_ERROR_ILLTYPE, QWORD{-1});
        return ch->positionBytes();
    });
}

BOOL BASS_ChannelSetPosition(DWORD handle, QWORD pos, DWORD mode) {
    return Guarded<BOOL>(FALSE, [&]() -> BOOL {
        auto ch = Find(handle);
        if (!ch) return FALSE;
        if (mode != BASS_POS_BYTE) return Fail(BASS_ERROR_ILLTYPE, FALSE);
        return ch->setPositionBytes(pos);
    });
}

QWORD BASS_ChannelSeconds2Bytes(DWORD handle, double seconds) {
    return Guarded<QWORD>(-1, [&]() -> QWORD {
        auto ch = Find(handle);
        if (!ch) return -1;
        if (!std::isfinite(seconds) || seconds < 0 || seconds > 1e7) return Fail(BASS_ERROR_ILLPARAM, QWORD{-1});
        return SecondsToFrames(seconds, ch->format().rate) * ch->bytesPerFrame();
    });
}

double BASS_ChannelBytes2Seconds(DWORD handle, QWORD pos) {
    return Guarded<double>(-1.0, [&]() -> double {
        auto ch = Find(handle);
        if (!ch) return -1.0;
        if (pos < 0) return Fail(BASS_ERROR_ILLPARAM, -1.0);
        return static_cast<double>(pos) / (static_cast<double>(ch->bytesPerFrame()) * ch->format().rate);
    });
}

DWORD BASS_ChannelGetLevel(DWORD handle) {
    return Guarded<DWORD>(0, [&]() -> DWORD {
        auto ch = Find(handle);
        return ch ? ch->level() : 0;
    });
}

DWORD BASS_ChannelGetData(DWORD handle, void* buffer, DWORD length) {
    return Guarded<DWORD>(static_cast<DWORD>(-1), [&]() -> DWORD {
        auto ch = Find(handle);
        return ch ? ch->data(buffer, length) : static_cast<DWORD>(-1);
    });
}

BOOL BASS_ChannelGetInfo(DWORD handle, BASS_CHANNELINFO* info) {
    return Guarded<BOOL>(FALSE, [&]() -> BOOL {
        auto ch = Find(handle);
        if (!ch) return FALSE;
        if (!info) return Fail(BASS_ERROR_ILLPARAM, FALSE);
        const DecoderFormat& f = ch->format();
        *info = BASS_CHANNELINFO{};
        info->freq = static_cast<DWORD>(f.rate);
        info->chans = static_cast<DWORD>(f.channels);
        info->flags = ch->flags();
        info->ctype = f.ctype;
        info->origres = f.origres;
        return TRUE;
    });
}

BOOL BASS_ChannelGetAttribute(DWORD handle, DWORD attrib, float* value) {
    return Guarded<BOOL>(FALSE, [&]() -> BOOL {
        auto ch = Find(handle);
        if (!ch) return FALSE;
        if (!value) return Fail(BASS_ERROR_ILLPARAM, FALSE);
        if (attrib != BASS_ATTRIB_FREQ) return Fail(BASS_ERROR_ILLTYPE, FALSE);
        *value = ch->freq();
        return TRUE;
    });
}

BOOL BASS_ChannelSetAttribute(DWORD handle, DWORD attrib, float value) {
    return Guarded<BOOL>(FALSE, [&]() -> BOOL {
        auto ch = Find(handle);
        if (!ch) return FALSE;
        if (attrib != BASS_ATTRIB_FREQ) return Fail(BASS_ERROR_ILLTYPE, FALSE);
        return ch->setFreq(value);
    });
}

BOOL BASS_ChannelSlideAttribute(DWORD handle, DWORD attrib, float value, DWORD) {
    return BASS_ChannelSetAttribute(handle, attrib, value);
}

DWORD BASS_ChannelFlags(DWORD handle, DWORD flags, DWORD mask) {
    return Guarded<DWORD>(static_cast<DWORD>(-1), [&]() -> DWORD {
        auto ch = Find(handle);
        if (!ch) return static_cast<DWORD>(-1);
        if (mask & BASS_SAMPLE_LOOP) return ch->setLoop((flags & BASS_SAMPLE_LOOP) != 0);
        return ch->flags();
    });
}

void BASS_Test_SetClock(std::function<std::int64_t()> nowNs) {
    std::lock_guard lock(ClockMutex());
    ClockFunction() = std::move(nowNs);
}

BOOL BASS_Test_OutputIsSilent() {
    Layer& l = TheLayer();
    std::lock_guard lock(l.m);
    return l.output ? FALSE : TRUE;
}
