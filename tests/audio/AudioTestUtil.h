// Small helpers shared by the audio suites.
#pragma once

#include "Bass.h"
#include "Fixtures.h"

#include <cstdint>
#include <vector>

namespace qlrc::audio::test {

// Owns a stream or music handle; frees it at scope end.
class Handle {
public:
    explicit Handle(DWORD h = 0) : h_(h) {}
    ~Handle() {
        if (h_) BASS_StreamFree(h_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    DWORD get() const { return h_; }
    explicit operator bool() const { return h_ != 0; }

private:
    DWORD h_;
};

inline DWORD DecodeStream(const Bytes& b, DWORD extra = 0) {
    return BASS_StreamCreateFile(TRUE, b.data(), 0, static_cast<QWORD>(b.size()), BASS_STREAM_DECODE | extra);
}

inline DWORD PlayStream(const Bytes& b, DWORD extra = 0) {
    return BASS_StreamCreateFile(TRUE, b.data(), 0, static_cast<QWORD>(b.size()), extra);
}

// Everything a decode channel still delivers, read in GetData calls of `chunk` bytes.
inline Bytes DecodeRest(DWORD h, DWORD chunk = 10000) {
    Bytes out;
    std::vector<std::uint8_t> buf(chunk);
    while (BASS_ChannelIsActive(h) == BASS_ACTIVE_PLAYING) {
        const DWORD n = BASS_ChannelGetData(h, buf.data(), chunk);
        if (n == static_cast<DWORD>(-1) || n == 0) break;
        out.insert(out.end(), buf.begin(), buf.begin() + n);
    }
    return out;
}

}  // namespace qlrc::audio::test
