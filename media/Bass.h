// Bass.h — the audio layer: BASS-style functions for decoding, playback, positions and
// levels of in-memory audio, built on libmpg123, libsndfile, libopenmpt, PortAudio and
// libsamplerate (target `audio`; no Qt).
//
// Units. Positions and lengths are bytes of decoded data: 16-bit signed interleaved
// samples at the source's own rate and channel count, or 8-bit unsigned samples where
// the source itself is 8-bit PCM (BASS_SAMPLE_8BITS set in the channel's flags).
// On a 44.1 kHz stereo stream BASS_ChannelSeconds2Bytes(h, 0.02) is 3528.
//
// Threads. Every function may be called from any thread. The handle table is locked, so
// the GUI thread and a background scan thread may work at the same time (on different
// handles; calls on one handle are serialised by that channel's own lock). A stale,
// freed or unknown handle gives the error result of the function (FALSE, 0 or -1 as
// listed) and BASS_ErrorGetCode() == BASS_ERROR_HANDLE; it never crashes.
//
// Output. BASS_Init opens the default PortAudio device (about 100 ms of buffering; a
// pause or seek is heard after it, while the position already tells the truth). When no device can be opened,
// BASS_Init returns FALSE and the layer carries on with a silent output driven by the
// monotonic clock: playback, positions and end of stream behave as with a device, only
// inaudibly. The silent output is also used when the environment has QERIMOLRC_AUDIO=null
// (BASS_Init then returns TRUE), for device 0, and for playback streams created while
// the layer is not initialised.
//
// Position of a playback channel is the sample being heard now (latency-compensated),
// smooth and monotonic while playing, exact when paused or stopped, and moved at once by
// BASS_ChannelSetPosition. Pausing or stopping keeps the position; BASS_ChannelPlay(h,
// FALSE) continues from it, BASS_ChannelPlay(h, TRUE) starts from byte 0. On a device,
// pausing lets what the device already holds play out and the position then stands
// just after it, where playing continues: nothing is skipped or heard twice.
#pragma once

#include <cstdint>
#include <functional>

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
// Byte positions and lengths are signed 64-bit, so that a failure reads as -1.
using QWORD = std::int64_t;
using BOOL = int;
using HSTREAM = DWORD;
using HMUSIC = DWORD;
using HCHANNEL = DWORD;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

// Error codes (BASS_ErrorGetCode, per calling thread).
constexpr int BASS_OK = 0;
constexpr int BASS_ERROR_MEM = 1;        // memory error
constexpr int BASS_ERROR_FILEOPEN = 2;   // the file could not be opened
constexpr int BASS_ERROR_DRIVER = 3;     // no output device could be opened
constexpr int BASS_ERROR_HANDLE = 5;     // stale, freed or unknown handle
constexpr int BASS_ERROR_FORMAT = 6;     // unsupported sample format
constexpr int BASS_ERROR_POSITION = 7;   // position beyond the end
constexpr int BASS_ERROR_INIT = 8;       // BASS_Init has not been called
constexpr int BASS_ERROR_ALREADY = 14;   // already initialised
constexpr int BASS_ERROR_NOCHAN = 18;    // no free playback voice
constexpr int BASS_ERROR_ILLTYPE = 19;   // unsupported attribute or mode
constexpr int BASS_ERROR_ILLPARAM = 20;  // bad parameter
constexpr int BASS_ERROR_DEVICE = 23;    // bad device number
constexpr int BASS_ERROR_NOTAVAIL = 37;  // not available on this kind of channel
constexpr int BASS_ERROR_DECODE = 38;    // the channel is a decode channel (cannot play)
constexpr int BASS_ERROR_FILEFORM = 41;  // no decoder accepts the bytes
constexpr int BASS_ERROR_ENDED = 45;     // the channel has ended
constexpr int BASS_ERROR_UNKNOWN = -1;

// Stream and sample flags.
constexpr DWORD BASS_SAMPLE_8BITS = 1;       // 8-bit unsigned samples (channel info)
constexpr DWORD BASS_SAMPLE_MONO = 2;        // accepted and ignored
constexpr DWORD BASS_SAMPLE_LOOP = 4;        // loop back to byte 0 at the end, no gap
constexpr DWORD BASS_SAMPLE_FLOAT = 256;     // not supported: creation fails with BASS_ERROR_FORMAT
constexpr DWORD BASS_STREAM_PRESCAN = 0x20000;  // accepted; lengths are always exact
constexpr DWORD BASS_STREAM_DECODE = 0x200000;  // decode only: pulled with GetLevel/GetData
constexpr DWORD BASS_MUSIC_DECODE = BASS_STREAM_DECODE;

// Channel types (BASS_CHANNELINFO::ctype).
constexpr DWORD BASS_CTYPE_STREAM_OGG = 0x10002;
constexpr DWORD BASS_CTYPE_STREAM_MP1 = 0x10003;
constexpr DWORD BASS_CTYPE_STREAM_MP2 = 0x10004;
constexpr DWORD BASS_CTYPE_STREAM_MP3 = 0x10005;
constexpr DWORD BASS_CTYPE_STREAM_FLAC = 0x10900;
constexpr DWORD BASS_CTYPE_STREAM_OPUS = 0x11200;
constexpr DWORD BASS_CTYPE_STREAM_WAV = 0x40000;  // other libsndfile formats
constexpr DWORD BASS_CTYPE_STREAM_WAV_PCM = 0x50001;
constexpr DWORD BASS_CTYPE_STREAM_WAV_FLOAT = 0x50003;
constexpr DWORD BASS_CTYPE_MUSIC_MOD = 0x20000;

// BASS_ChannelIsActive results.
constexpr DWORD BASS_ACTIVE_STOPPED = 0;
constexpr DWORD BASS_ACTIVE_PLAYING = 1;  // decode channel: data remains
constexpr DWORD BASS_ACTIVE_STALLED = 2;
constexpr DWORD BASS_ACTIVE_PAUSED = 3;

// Position modes and attributes.
constexpr DWORD BASS_POS_BYTE = 0;
constexpr DWORD BASS_ATTRIB_FREQ = 1;

struct BASS_CHANNELINFO {
    DWORD freq = 0;      // the source's own sample rate in Hz
    DWORD chans = 0;     // channel count
    DWORD flags = 0;     // BASS_SAMPLE_8BITS, BASS_SAMPLE_LOOP, BASS_STREAM_DECODE
    DWORD ctype = 0;     // BASS_CTYPE_...
    DWORD origres = 0;   // bits per sample of the source (0 when compressed)
    HSTREAM sample = 0;  // always 0
    const char* filename = nullptr;  // always null (streams are made from memory)
};

// --- Layer ---------------------------------------------------------------------------

// device -1 (default) or 1 (first device) opens the default PortAudio output at freq Hz
// (44100 when 0); device 0 chooses the silent output. flags, win and clsid are ignored.
// FALSE when the device cannot be opened (BASS_ERROR_DRIVER; the silent output is then
// in use) or when already initialised (BASS_ERROR_ALREADY).
BOOL BASS_Init(int device, DWORD freq, DWORD flags, void* win, const void* clsid);
// Pauses every playing channel.
BOOL BASS_Stop();
// Frees every channel and closes the output. FALSE (BASS_ERROR_INIT) when not initialised.
BOOL BASS_Free();
// Error code of the last call made by this thread.
int BASS_ErrorGetCode();

// --- Streams -------------------------------------------------------------------------

// mem TRUE: file points at `length` bytes in memory (from `offset`); the layer copies
// them, so the caller may free its block at any time. length 0 with mem TRUE is refused
// (BASS_ERROR_ILLPARAM): the size of a memory block cannot be guessed safely.
// mem FALSE: file is a NUL-terminated path; offset/length (0 = to the end) select a part.
// Accepts MP3/MP2/MP1 (libmpg123), WAV, FLAC, Ogg Vorbis, Opus and the other libsndfile
// formats. flags: 0 (playback), BASS_STREAM_DECODE, BASS_SAMPLE_LOOP.
// Returns 0 when no decoder accepts the bytes (BASS_ERROR_FILEFORM), never crashing.
HSTREAM BASS_StreamCreateFile(BOOL mem, const void* file, QWORD offset, QWORD length, DWORD flags);
// Module files (MOD, XM, IT, S3M, ...) through libopenmpt, rendered in stereo at `freq`
// Hz (44100 when 0): a decode channel with BASS_MUSIC_DECODE, else a playback channel.
// The same rules for mem/offset/length as BASS_StreamCreateFile (length 0 with mem TRUE
// is refused).
HMUSIC BASS_MusicLoad(BOOL mem, const void* file, QWORD offset, DWORD length, DWORD flags, DWORD freq);
// Frees a stream or music handle (playback stops at once).
BOOL BASS_StreamFree(HSTREAM handle);
BOOL BASS_MusicFree(HMUSIC handle);

// --- Channels ------------------------------------------------------------------------

// restart TRUE starts from byte 0; FALSE continues from the current position.
// Decode channels cannot be played (BASS_ERROR_DECODE).
BOOL BASS_ChannelPlay(DWORD handle, BOOL restart);
BOOL BASS_ChannelPause(DWORD handle);
BOOL BASS_ChannelStop(DWORD handle);
// BASS_ACTIVE_*; 0 for handle 0 and for unknown handles. A decode channel is
// BASS_ACTIVE_PLAYING while decoded data remains, BASS_ACTIVE_STOPPED after the last byte.
DWORD BASS_ChannelIsActive(DWORD handle);

// mode must be BASS_POS_BYTE. -1 on failure.
QWORD BASS_ChannelGetLength(DWORD handle, DWORD mode);
QWORD BASS_ChannelGetPosition(DWORD handle, DWORD mode);
// pos is rounded down to a whole sample frame. FALSE (BASS_ERROR_POSITION) beyond the
// length. A playing channel continues from there at once.
BOOL BASS_ChannelSetPosition(DWORD handle, QWORD pos, DWORD mode);
// Whole sample frames at the source's own rate; -1 on failure (bad handle, negative or
// non-finite seconds).
QWORD BASS_ChannelSeconds2Bytes(DWORD handle, double seconds);
// Seconds at the source's own rate; -1.0 on failure.
double BASS_ChannelBytes2Seconds(DWORD handle, QWORD pos);

// Decode channels: peaks of the next 20 ms (consumed; the position moves on by that
// much): left peak in the low 16 bits, right peak in the high 16 bits, each 0..32768
// (mono: both the same). 0 once no data remains and on any failure (never -1, which
// would read as peaks of 65535; see BASS_ErrorGetCode).
DWORD BASS_ChannelGetLevel(DWORD handle);
// Decode channels: writes up to `length` bytes (whole sample frames) of decoded samples
// in the channel's format and returns the count (0 once no data remains); the position
// moves on. (DWORD)-1 on failure (bad handle, playback channel, flags in `length`).
DWORD BASS_ChannelGetData(DWORD handle, void* buffer, DWORD length);
BOOL BASS_ChannelGetInfo(DWORD handle, BASS_CHANNELINFO* info);

// BASS_ATTRIB_FREQ: the playback rate in Hz (initially the source's own rate). Setting
// it changes the speed, pitch following as on a tape; positions stay in the source's
// bytes. Accepted range 100..(16 x the source rate). time (ms) is ignored: the new
// value takes effect at once.
BOOL BASS_ChannelGetAttribute(DWORD handle, DWORD attrib, float* value);
BOOL BASS_ChannelSetAttribute(DWORD handle, DWORD attrib, float value);
BOOL BASS_ChannelSlideAttribute(DWORD handle, DWORD attrib, float value, DWORD time);
// Sets the flags selected by mask (only BASS_SAMPLE_LOOP can change) and returns the
// channel's flags afterwards; (DWORD)-1 on failure.
DWORD BASS_ChannelFlags(DWORD handle, DWORD flags, DWORD mask);

// --- Test seams ----------------------------------------------------------------------

// Replaces the clock of the silent output: a function returning monotonic nanoseconds
// (an empty function restores std::chrono::steady_clock). Positions of channels playing
// on the silent output follow it exactly, so a test can step time by hand. Set it before
// creating the channels it should drive.
void BASS_Test_SetClock(std::function<std::int64_t()> nowNs);
// TRUE while playback streams go to the silent output.
BOOL BASS_Test_OutputIsSilent();
