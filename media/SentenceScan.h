// Background detection of sentence starts: decodes a whole file in 20 ms blocks, finds
// where phrases begin after pauses and appends one empty lyric line per chosen start.
#pragma once

#include "Bass.h"

#include <atomic>
#include <cstdint>
#include <stop_token>
#include <thread>
#include <vector>

class TLyricHandle;
struct TLyricItem;

// A loud block reached after more than three silent blocks since the previous onset.
struct TOnset {
    std::int32_t SilentCount = 0;  // silent blocks counted since the previous onset
    std::int32_t TimeMs = 0;       // start of the loud block

    bool operator==(const TOnset&) const = default;
};

// Phase 1: reads `channel` (a decode handle) to its end or past lengthMs, 20 ms per
// reading, and lists the onsets. A block is silent when both peaks are below 327.
// Returns early, with what it has, once `stop` is requested. blockBytes is the byte
// count of 20 ms of the channel's decoded audio. Runs on the calling thread.
std::vector<TOnset> ScanOnsets(HSTREAM channel, std::int32_t lengthMs, DWORD blockBytes, std::stop_token stop = {});

// Phase 2: the sentence starts among the onsets, as lyric lines with empty text, in
// time order, each ending 1 ms before the next and the last at 2147483646. The first
// onset is always a start; later starts are at least 5 s after the previous one: an
// onset after 500 ms of silence (count 25 or more) is taken when seen, and after more
// than 20 s without a start the onset with the largest count is taken. Each start is
// moved earlier by a third of its counted silence, in whole blocks. Pure function.
std::vector<TLyricItem> ChooseSentenceStarts(const std::vector<TOnset>& onsets);

// Owns one decode handle and, once started, one thread that runs both phases over it
// and appends the lines to the document at the end. The document locks internally, so
// the GUI thread may read it while the lines go in.
//
// Threads: construct, Start, RequestStop, Finished and destroy from the owning (GUI)
// thread; the scan itself runs on the thread made by Start. The document must outlive
// this object; the destructor stops the scan and waits for it (promptly: the stop is
// checked after every 20 ms reading).
class TScanThread {
public:
    // Takes ownership of decodeChannel (freed by the scan when it ends, or by the
    // destructor when the scan never started). blockBytes: bytes of 20 ms of audio.
    TScanThread(HSTREAM decodeChannel, std::int32_t lengthMs, TLyricHandle& lyric, DWORD blockBytes);
    ~TScanThread();
    TScanThread(const TScanThread&) = delete;
    TScanThread& operator=(const TScanThread&) = delete;

    // Starts the scan; a second call does nothing.
    void Start();
    // Asks a running scan to end without adding lines; returns at once.
    void RequestStop();
    // True once the scan has ended (finished, stopped or failed) and freed its handle.
    bool Finished() const { return FFinished.load(std::memory_order_acquire); }

private:
    void Execute(std::stop_token stop);

    // Read by the scan thread, fixed before it starts.
    HSTREAM FChannel;
    TLyricHandle& FLyric;
    const std::int32_t FLengthMs;
    const DWORD FBlockBytes;

    std::atomic<bool> FFinished{false};
    std::jthread FThread;  // last: joined before the fields above go
};
