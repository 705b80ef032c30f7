// Decoder: one small interface over the decoding libraries, plus the factories that pick
// the library for a block of bytes. Output is always the layer's sample format: 16-bit
// signed interleaved, or 8-bit unsigned where the source is 8-bit PCM.
//
// A Decoder is not thread-safe; its owner (a channel) serialises calls under its lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace qlrc::audio {

using Bytes = std::vector<std::uint8_t>;

struct DecoderFormat {
    int rate = 0;          // the source's own sample rate, Hz
    int channels = 0;      // 1..8
    bool eightBit = false; // output samples are 8-bit unsigned
    std::uint32_t ctype = 0;  // BASS_CTYPE_... of Bass.h
    std::uint32_t origres = 0;

    int bytesPerSample() const { return eightBit ? 1 : 2; }
    int bytesPerFrame() const { return bytesPerSample() * channels; }
};

class Decoder {
public:
    virtual ~Decoder() = default;
    const DecoderFormat& format() const { return format_; }
    // Length in sample frames; exact for MP3 (scanned), WAV, FLAC, Ogg; for modules the
    // duration libopenmpt estimates.
    std::int64_t lengthFrames() const { return length_; }
    // Decodes up to `frames` frames into dst (bytesPerFrame each). Returns the count
    // written; 0 means the end (or a decoding error that ends the stream).
    virtual std::size_t read(void* dst, std::size_t frames) = 0;
    // Moves to a frame (0 <= frame <= length). False when the library refuses.
    virtual bool seek(std::int64_t frame) = 0;

protected:
    DecoderFormat format_;
    std::int64_t length_ = 0;
};

// MP3/MP2/MP1 (libmpg123) or the libsndfile formats; null when none accepts the bytes.
// The decoder keeps a reference to `data`, which must outlive it.
std::unique_ptr<Decoder> OpenStreamDecoder(std::shared_ptr<const Bytes> data);
// Module files (libopenmpt), stereo at `rate` Hz; null when libopenmpt refuses.
std::unique_ptr<Decoder> OpenModuleDecoder(std::shared_ptr<const Bytes> data, int rate);

// Individual factories (used by the ones above and by tests).
std::unique_ptr<Decoder> OpenMpg123Decoder(std::shared_ptr<const Bytes> data);
std::unique_ptr<Decoder> OpenSndfileDecoder(std::shared_ptr<const Bytes> data);

}  // namespace qlrc::audio
