// The three decoding libraries behind the Decoder interface. Every library handle lives
// in a unique_ptr with its release function; every return code is looked at.
#include "Decoder.h"

#include "../Bass.h"

#include <libopenmpt/libopenmpt.h>
#include <mpg123.h>
#include <sndfile.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <mutex>

namespace qlrc::audio {
namespace {

// A read position over shared bytes, for the libraries' replaced I/O.
struct MemoryReader {
    std::shared_ptr<const Bytes> data;
    std::size_t pos = 0;

    std::size_t read(void* dst, std::size_t n) {
        const std::size_t left = data->size() - pos;
        n = std::min(n, left);
        if (n > 0) std::memcpy(dst, data->data() + pos, n);
        pos += n;
        return n;
    }
    std::int64_t seek(std::int64_t offset, int whence) {
        std::int64_t base = 0;
        if (whence == SEEK_CUR) base = static_cast<std::int64_t>(pos);
        else if (whence == SEEK_END) base = static_cast<std::int64_t>(data->size());
        else if (whence != SEEK_SET) return -1;
        const std::int64_t target = base + offset;
        if (target < 0 || target > static_cast<std::int64_t>(data->size())) return -1;
        pos = static_cast<std::size_t>(target);
        return target;
    }
};

// ---- libmpg123 --------------------------------------------------------------------------

struct Mpg123Deleter {
    void operator()(mpg123_handle* mh) const {
        mpg123_close(mh);
        mpg123_delete(mh);
    }
};
using Mpg123Ptr = std::unique_ptr<mpg123_handle, Mpg123Deleter>;

mpg123_ssize_t MpgRead(void* handle, void* dst, std::size_t n) {
    return static_cast<mpg123_ssize_t>(static_cast<MemoryReader*>(handle)->read(dst, n));
}
off_t MpgSeek(void* handle, off_t offset, int whence) {
    return static_cast<off_t>(static_cast<MemoryReader*>(handle)->seek(offset, whence));
}

bool Mpg123Ready() {
    static const bool ok = [] { return mpg123_init() == MPG123_OK; }();
    return ok;
}

// A handle reading `reader`, quiet, gapless, 16-bit output at any rate.
Mpg123Ptr NewMpg123(MemoryReader* reader) {
    if (!Mpg123Ready()) return nullptr;
    int err = MPG123_OK;
    Mpg123Ptr mh(mpg123_new(nullptr, &err));
    if (!mh || err != MPG123_OK) return nullptr;
    if (mpg123_param(mh.get(), MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_GAPLESS, 0) != MPG123_OK) return nullptr;
    // Frames decoded ahead of a seek target: low-rate layer III streams keep their bit
    // reservoir across several frames, so one is not enough for clean samples.
    if (mpg123_param(mh.get(), MPG123_PREFRAMES, 4, 0) != MPG123_OK) return nullptr;
    if (mpg123_format_none(mh.get()) != MPG123_OK) return nullptr;
    const long* rates = nullptr;
    std::size_t count = 0;
    mpg123_rates(&rates, &count);
    for (std::size_t i = 0; i < count; ++i) {
        if (mpg123_format(mh.get(), rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16) != MPG123_OK)
            return nullptr;
    }
    if (mpg123_replace_reader_handle(mh.get(), MpgRead, MpgSeek, nullptr) != MPG123_OK) return nullptr;
    if (mpg123_open_handle(mh.get(), reader) != MPG123_OK) return nullptr;
    return mh;
}

// libmpg123 finds "frames" in almost anything, so a block is only taken for MPEG audio
// when the frames it parses cover at least half of the bytes after the first frame
// (tags and a little junk are fine; random bytes or a lone header are not).
// On success `length` is the exact (gapless) sample count from a full scan. The scan
// runs on this separate handle: decoding on a handle that has scanned and seeked back
// differs from a fresh decode in the last bit of some samples.
bool ProbeMpegAudio(const std::shared_ptr<const Bytes>& data, std::int64_t& length) {
    MemoryReader reader{data, 0};
    Mpg123Ptr mh = NewMpg123(&reader);
    if (!mh) return false;
    std::int64_t first = -1;
    std::int64_t covered = 0;
    std::int64_t frames = 0;
    for (;;) {
        const int r = mpg123_framebyframe_next(mh.get());
        if (r != MPG123_OK && r != MPG123_NEW_FORMAT) break;
        unsigned long header = 0;
        unsigned char* body = nullptr;
        std::size_t bodyBytes = 0;
        if (mpg123_framedata(mh.get(), &header, &body, &bodyBytes) != MPG123_OK) break;
        if (first < 0) first = static_cast<std::int64_t>(mpg123_framepos(mh.get()));
        covered += static_cast<std::int64_t>(bodyBytes) + 4;
        ++frames;
    }
    if (frames == 0 || first < 0) return false;
    const std::int64_t span = static_cast<std::int64_t>(data->size()) - first;
    if (span <= 0 || covered * 2 < span) return false;
    if (mpg123_scan(mh.get()) != MPG123_OK) return false;
    const off_t samples = mpg123_length(mh.get());
    if (samples < 0) return false;
    length = samples;
    return true;
}

class Mpg123Decoder final : public Decoder {
public:
    static std::unique_ptr<Decoder> Open(std::shared_ptr<const Bytes> data) {
        std::int64_t length = 0;
        if (!data || data->empty() || !ProbeMpegAudio(data, length)) return nullptr;
        std::unique_ptr<Mpg123Decoder> d(new Mpg123Decoder(std::move(data)));
        if (!d->init(length)) return nullptr;
        return d;
    }

    std::size_t read(void* dst, std::size_t frames) override {
        if (ended_) return 0;
        auto* out = static_cast<unsigned char*>(dst);
        const std::size_t bpf = static_cast<std::size_t>(format_.bytesPerFrame());
        std::size_t want = frames * bpf;
        std::size_t got = 0;
        while (got < want) {
            std::size_t done = 0;
            const int r = mpg123_read(mh_.get(), out + got, want - got, &done);
            got += done;
            if (r == MPG123_OK || r == MPG123_NEW_FORMAT) {
                if (r == MPG123_NEW_FORMAT && !sameFormat()) { ended_ = true; break; }
                if (done == 0 && r == MPG123_OK) { ended_ = true; break; }
                continue;
            }
            // MPG123_DONE or an error: the stream ends here.
            ended_ = true;
            break;
        }
        return got / bpf;  // libmpg123 hands out whole frames of 16-bit samples
    }

    bool seek(std::int64_t frame) override {
        // libmpg123 lands on the exact sample, but its first output after a seek can be
        // off (the layer III overlap is not primed at low rates); land earlier and decode
        // a few frames' worth into the void so the samples delivered are clean.
        const std::int64_t preroll = std::min<std::int64_t>(frame, 4 * 1152);
        const off_t r = mpg123_seek(mh_.get(), static_cast<off_t>(frame - preroll), SEEK_SET);
        ended_ = false;
        if (r < 0) return false;
        std::int64_t left = preroll;
        std::array<unsigned char, 4096> sink;
        const std::int64_t bpf = format_.bytesPerFrame();
        while (left > 0) {
            const std::size_t n = read(sink.data(), static_cast<std::size_t>(std::min<std::int64_t>(left, 4096 / bpf)));
            if (n == 0) return false;
            left -= static_cast<std::int64_t>(n);
        }
        return true;
    }

private:
    explicit Mpg123Decoder(std::shared_ptr<const Bytes> data) : reader_{std::move(data), 0} {}

    bool init(std::int64_t length) {
        mh_ = NewMpg123(&reader_);
        if (!mh_) return false;
        long rate = 0;
        int channels = 0, encoding = 0;
        if (mpg123_getformat(mh_.get(), &rate, &channels, &encoding) != MPG123_OK) return false;
        if (rate <= 0 || channels < 1 || channels > 2 || encoding != MPG123_ENC_SIGNED_16) return false;
        // From here on only this format: a stream changing it midway ends there.
        if (mpg123_format_none(mh_.get()) != MPG123_OK) return false;
        if (mpg123_format(mh_.get(), rate, channels, MPG123_ENC_SIGNED_16) != MPG123_OK) return false;
        mpg123_frameinfo2 info{};
        if (mpg123_info(mh_.get(), &info) != MPG123_OK) return false;
        format_.rate = static_cast<int>(rate);
        format_.channels = channels;
        format_.eightBit = false;
        format_.ctype = info.layer == 1 ? BASS_CTYPE_STREAM_MP1
                        : info.layer == 2 ? BASS_CTYPE_STREAM_MP2 : BASS_CTYPE_STREAM_MP3;
        format_.origres = 0;
        length_ = length;
        return true;
    }

    bool sameFormat() {
        long rate = 0;
        int channels = 0, encoding = 0;
        if (mpg123_getformat(mh_.get(), &rate, &channels, &encoding) != MPG123_OK) return false;
        return rate == format_.rate && channels == format_.channels && encoding == MPG123_ENC_SIGNED_16;
    }

    MemoryReader reader_;  // must outlive mh_ (declared first, destroyed last)
    Mpg123Ptr mh_;
    bool ended_ = false;
};

// ---- libsndfile -------------------------------------------------------------------------

sf_count_t SfLength(void* user) { return static_cast<sf_count_t>(static_cast<MemoryReader*>(user)->data->size()); }
sf_count_t SfSeek(sf_count_t offset, int whence, void* user) {
    return static_cast<sf_count_t>(static_cast<MemoryReader*>(user)->seek(offset, whence));
}
sf_count_t SfRead(void* dst, sf_count_t n, void* user) {
    if (n <= 0) return 0;
    return static_cast<sf_count_t>(static_cast<MemoryReader*>(user)->read(dst, static_cast<std::size_t>(n)));
}
sf_count_t SfWrite(const void*, sf_count_t, void*) { return 0; }  // read-only
sf_count_t SfTell(void* user) { return static_cast<sf_count_t>(static_cast<MemoryReader*>(user)->pos); }

struct SndfileDeleter {
    void operator()(SNDFILE* sf) const { sf_close(sf); }
};

class SndfileDecoder final : public Decoder {
public:
    static std::unique_ptr<Decoder> Open(std::shared_ptr<const Bytes> data) {
        if (!data || data->empty()) return nullptr;
        std::unique_ptr<SndfileDecoder> d(new SndfileDecoder(std::move(data)));
        if (!d->init()) return nullptr;
        return d;
    }

    std::size_t read(void* dst, std::size_t frames) override {
        if (floatData_) {
            // libsndfile does not scale float WAV data read as short; convert here.
            const std::size_t ch = static_cast<std::size_t>(format_.channels);
            floats_.resize(frames * ch);
            const sf_count_t n = sf_readf_float(sf_.get(), floats_.data(), static_cast<sf_count_t>(frames));
            if (n <= 0) return 0;
            auto* out = static_cast<std::int16_t*>(dst);
            for (std::size_t i = 0; i < static_cast<std::size_t>(n) * ch; ++i)
                out[i] = static_cast<std::int16_t>(std::clamp(std::lrint(floats_[i] * 32768.0f), -32768L, 32767L));
            return static_cast<std::size_t>(n);
        }
        if (!format_.eightBit) {
            const sf_count_t n = sf_readf_short(sf_.get(), static_cast<short*>(dst), static_cast<sf_count_t>(frames));
            return n > 0 ? static_cast<std::size_t>(n) : 0;
        }
        // 8-bit sources: libsndfile widens u8 to (u8 - 128) << 8, so narrowing back is exact.
        const std::size_t ch = static_cast<std::size_t>(format_.channels);
        wide_.resize(frames * ch);
        const sf_count_t n = sf_readf_short(sf_.get(), wide_.data(), static_cast<sf_count_t>(frames));
        if (n <= 0) return 0;
        auto* out = static_cast<std::uint8_t*>(dst);
        for (std::size_t i = 0; i < static_cast<std::size_t>(n) * ch; ++i)
            out[i] = static_cast<std::uint8_t>((wide_[i] >> 8) + 128);
        return static_cast<std::size_t>(n);
    }

    bool seek(std::int64_t frame) override {
        if (sf_seek(sf_.get(), static_cast<sf_count_t>(frame), SEEK_SET) >= 0) return true;
        // Damaged files (a truncated FLAC, say) can refuse to seek: start over and skip.
        SF_INFO info{};
        if (!open(info)) return false;
        return skip(frame) == frame;
    }

private:
    explicit SndfileDecoder(std::shared_ptr<const Bytes> data) : reader_{std::move(data), 0} {}

    bool open(SF_INFO& info) {
        sf_.reset();
        reader_.pos = 0;
        SF_VIRTUAL_IO io{SfLength, SfSeek, SfRead, SfWrite, SfTell};
        sf_.reset(sf_open_virtual(&io, SFM_READ, &info, &reader_));
        return sf_ != nullptr;
    }

    std::int64_t skip(std::int64_t frames) {
        std::vector<std::uint8_t> sink(4096 * static_cast<std::size_t>(format_.bytesPerFrame()));
        std::int64_t done = 0;
        while (done < frames) {
            const std::size_t n = read(sink.data(), static_cast<std::size_t>(std::min<std::int64_t>(frames - done, 4096)));
            if (n == 0) break;
            done += static_cast<std::int64_t>(n);
        }
        return done;
    }

    bool init() {
        SF_INFO info{};
        if (!open(info)) return false;
        const int major = info.format & SF_FORMAT_TYPEMASK;
        const int minor = info.format & SF_FORMAT_SUBMASK;
        if (major == SF_FORMAT_MPEG) return false;  // MPEG audio goes through libmpg123
        if (info.samplerate <= 0 || info.samplerate > 768000 || info.channels < 1 || info.channels > 8)
            return false;
        sf_command(sf_.get(), SFC_SET_CLIPPING, nullptr, SF_TRUE);
        format_.rate = info.samplerate;
        format_.channels = info.channels;
        format_.eightBit = minor == SF_FORMAT_PCM_U8 || minor == SF_FORMAT_PCM_S8;
        floatData_ = minor == SF_FORMAT_FLOAT || minor == SF_FORMAT_DOUBLE;
        switch (minor) {
        case SF_FORMAT_PCM_S8: case SF_FORMAT_PCM_U8: format_.origres = 8; break;
        case SF_FORMAT_PCM_16: format_.origres = 16; break;
        case SF_FORMAT_PCM_24: format_.origres = 24; break;
        case SF_FORMAT_PCM_32: case SF_FORMAT_FLOAT: format_.origres = 32; break;
        case SF_FORMAT_DOUBLE: format_.origres = 64; break;
        default: format_.origres = 0; break;
        }
        if (major == SF_FORMAT_WAV || major == SF_FORMAT_WAVEX || major == SF_FORMAT_RF64)
            format_.ctype = (minor == SF_FORMAT_FLOAT || minor == SF_FORMAT_DOUBLE) ? BASS_CTYPE_STREAM_WAV_FLOAT
                                                                                     : BASS_CTYPE_STREAM_WAV_PCM;
        else if (major == SF_FORMAT_FLAC) format_.ctype = BASS_CTYPE_STREAM_FLAC;
        else if (major == SF_FORMAT_OGG) format_.ctype = minor == SF_FORMAT_OPUS ? BASS_CTYPE_STREAM_OPUS
                                                                                 : BASS_CTYPE_STREAM_OGG;
        else format_.ctype = BASS_CTYPE_STREAM_WAV;
        if (info.frames >= 0 && info.frames < (std::int64_t{1} << 40)) {
            length_ = info.frames;
        } else {
            // Length unknown (a damaged or streamed file): count by decoding once.
            length_ = skip(std::numeric_limits<std::int64_t>::max());
            if (!seek(0)) return false;
        }
        return true;
    }

    MemoryReader reader_;
    std::unique_ptr<SNDFILE, SndfileDeleter> sf_;
    std::vector<short> wide_;
    std::vector<float> floats_;
    bool floatData_ = false;
};

// ---- libopenmpt -------------------------------------------------------------------------

struct OpenmptDeleter {
    void operator()(openmpt_module* m) const { openmpt_module_destroy(m); }
};

class OpenmptDecoder final : public Decoder {
public:
    static std::unique_ptr<Decoder> Open(std::shared_ptr<const Bytes> data, int rate) {
        if (!data || data->empty() || rate < 8000 || rate > 192000) return nullptr;
        std::unique_ptr<OpenmptDecoder> d(new OpenmptDecoder(std::move(data)));
        if (!d->init(rate)) return nullptr;
        return d;
    }

    std::size_t read(void* dst, std::size_t frames) override {
        return openmpt_module_read_interleaved_stereo(mod_.get(), format_.rate, frames, static_cast<std::int16_t*>(dst));
    }

    bool seek(std::int64_t frame) override {
        openmpt_module_set_position_seconds(mod_.get(), static_cast<double>(frame) / format_.rate);
        return true;
    }

private:
    explicit OpenmptDecoder(std::shared_ptr<const Bytes> data) : data_(std::move(data)) {}

    bool init(int rate) {
        int error = 0;
        const char* message = nullptr;
        mod_.reset(openmpt_module_create_from_memory2(data_->data(), data_->size(), openmpt_log_func_silent, nullptr,
                                                      openmpt_error_func_ignore, nullptr, &error, &message, nullptr));
        if (message) openmpt_free_string(message);
        if (!mod_) return false;
        const double seconds = openmpt_module_get_duration_seconds(mod_.get());
        if (!std::isfinite(seconds) || seconds < 0 || seconds > 24 * 3600.0) return false;
        format_.rate = rate;
        format_.channels = 2;
        format_.eightBit = false;
        format_.ctype = BASS_CTYPE_MUSIC_MOD;
        format_.origres = 0;
        length_ = static_cast<std::int64_t>(std::llround(seconds * rate));
        return true;
    }

    std::shared_ptr<const Bytes> data_;  // libopenmpt copies what it needs; kept for symmetry
    std::unique_ptr<openmpt_module, OpenmptDeleter> mod_;
};

}  // namespace

std::unique_ptr<Decoder> OpenMpg123Decoder(std::shared_ptr<const Bytes> data) {
    return Mpg123Decoder::Open(std::move(data));
}

std::unique_ptr<Decoder> OpenSndfileDecoder(std::shared_ptr<const Bytes> data) {
    return SndfileDecoder::Open(std::move(data));
}

namespace {
// Containers libsndfile is asked about. Anything else goes to libmpg123 only (libsndfile
// would otherwise try MPEG itself, noisily and to no use).
bool HasContainerMagic(const Bytes& b) {
    if (b.size() < 12) return false;
    static constexpr std::array<const char*, 9> kMagic = {"RIFF", "RIFX", "RF64", "BW64", "FORM",
                                                          "fLaC", "OggS", "caff", ".snd"};
    for (const char* m : kMagic)
        if (std::memcmp(b.data(), m, 4) == 0) return true;
    return false;
}
}  // namespace

std::unique_ptr<Decoder> OpenStreamDecoder(std::shared_ptr<const Bytes> data) {
    if (!data) return nullptr;
    if (HasContainerMagic(*data)) return OpenSndfileDecoder(std::move(data));
    return OpenMpg123Decoder(std::move(data));
}

std::unique_ptr<Decoder> OpenModuleDecoder(std::shared_ptr<const Bytes> data, int rate) {
    return OpenmptDecoder::Open(std::move(data), rate);
}

}  // namespace qlrc::audio
