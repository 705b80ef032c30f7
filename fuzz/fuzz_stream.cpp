// Fuzz target: arbitrary bytes handed to stream creation (and module loading) and then
// decoded, levelled, sought and played on the silent output. The first byte picks what
// is done; the rest is the "file". Nothing may crash, hang, leak or report a level
// outside 0..32768.
#include "Bass.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {
void CheckAt(bool ok, int line) {
    if (ok) return;
    std::fprintf(stderr, "fuzz_stream: check failed at line %d\n", line);
    std::abort();
}
}  // namespace
#define Check(ok) CheckAt((ok), __LINE__)

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::uint8_t mode = data[0];
    ++data;
    --size;
    const DWORD flags = (mode & 4) ? 0 : BASS_STREAM_DECODE;  // playback goes to the silent output
    const DWORD h = (mode & 1) ? BASS_MusicLoad(TRUE, data, 0, static_cast<DWORD>(size), flags, 0)
                               : BASS_StreamCreateFile(TRUE, data, 0, static_cast<QWORD>(size), flags);
    if (h == 0) {
        Check(BASS_ErrorGetCode() != BASS_OK);
        return 0;
    }
    BASS_CHANNELINFO info;
    Check(BASS_ChannelGetInfo(h, &info) == TRUE);
    Check(info.chans >= 1 && info.chans <= 8 && info.freq > 0);
    const QWORD length = BASS_ChannelGetLength(h, BASS_POS_BYTE);
    Check(length >= 0);
    Check(BASS_ChannelSeconds2Bytes(h, 0.02) >= 0);

    if (flags == 0) {
        Check(BASS_ChannelPlay(h, TRUE) == TRUE);
        BASS_ChannelSetPosition(h, length / 2, BASS_POS_BYTE);
        Check(BASS_ChannelGetPosition(h, BASS_POS_BYTE) <= length);
        BASS_ChannelSlideAttribute(h, BASS_ATTRIB_FREQ, 2.0f * static_cast<float>(info.freq), 0);
        BASS_ChannelFlags(h, BASS_SAMPLE_LOOP, BASS_SAMPLE_LOOP);
        Check(BASS_ChannelPause(h) == TRUE);
        Check(BASS_ChannelIsActive(h) == BASS_ACTIVE_PAUSED || BASS_ChannelIsActive(h) == BASS_ACTIVE_STOPPED);
        Check(BASS_StreamFree(h) == TRUE);
        return 0;
    }

    if ((mode & 2) && !BASS_ChannelSetPosition(h, length / 2, BASS_POS_BYTE)) {
        Check(BASS_ErrorGetCode() == BASS_ERROR_POSITION);  // damaged data may not be crossed
    }
    std::vector<std::uint8_t> buf(10000);
    for (int i = 0; i < 1500 && BASS_ChannelIsActive(h) == BASS_ACTIVE_PLAYING; ++i) {
        if (i % 2) {
            const DWORD level = BASS_ChannelGetLevel(h);
            Check((level & 0xFFFF) <= 32768 && (level >> 16) <= 32768);
        } else {
            const DWORD got = BASS_ChannelGetData(h, buf.data(), 10000);
            Check(got <= 10000);
        }
    }
    if (BASS_ChannelIsActive(h) == BASS_ACTIVE_STOPPED) {
        Check(BASS_ChannelGetPosition(h, BASS_POS_BYTE) == BASS_ChannelGetLength(h, BASS_POS_BYTE));
    }
    if (!BASS_ChannelSetPosition(h, 0, BASS_POS_BYTE)) Check(BASS_ErrorGetCode() == BASS_ERROR_POSITION);
    Check(BASS_StreamFree(h) == TRUE);
    return 0;
}
