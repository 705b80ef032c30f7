#include "SentenceScan.h"

#include "LRCHandle.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace {

// Peaks below this (1% of full scale) on both channels make a block silent.
constexpr DWORD kSilentLevel = 327;
// Bytes-per-block values that mean the caller's conversion failed.
constexpr DWORD kFailedBlockBytes = static_cast<DWORD>(-1);

// The block number given to the reading that meets the end of the data: greater than
// every real block.
constexpr std::uint64_t kEndMarker = std::numeric_limits<std::uint64_t>::max();

constexpr std::int32_t kMinGapMs = 5000;
constexpr std::int32_t kForceGapMs = 20000;
constexpr std::int32_t kTakeAtOnce = 25;
constexpr std::int32_t kRememberAbove = 9;
constexpr std::int32_t kLastLineEnd = 2147483646;

std::int32_t StartOf(const TOnset& onset)
{
    return onset.TimeMs - (onset.SilentCount / 3) * 20;
}

}  // namespace

std::vector<TOnset> ScanOnsets(HSTREAM channel, std::int32_t lengthMs, DWORD blockBytes, std::stop_token stop)
{
    std::vector<TOnset> onsets;
    if (blockBytes == 0 || blockBytes == kFailedBlockBytes) {
        // The caller could not convert 20 ms for us; the channel itself can.
        const QWORD own = BASS_ChannelSeconds2Bytes(channel, 0.02);
        if (own <= 0 || own >= kFailedBlockBytes)
            return onsets;
        blockBytes = static_cast<DWORD>(own);
    }
    // Compared unsigned, as a block number: a negative length never ends the scan early.
    const std::uint64_t total = static_cast<std::uint32_t>(lengthMs / 20);

    std::uint64_t last = 0;
    std::int32_t run = 1;
    std::int64_t index = 0;
    QWORD previous = BASS_ChannelGetPosition(channel, BASS_POS_BYTE);
    while (!stop.stop_requested()) {
        const DWORD level = BASS_ChannelGetLevel(channel);
        const QWORD position = BASS_ChannelGetPosition(channel, BASS_POS_BYTE);
        // A position that fails or stands still also ends the data: otherwise a channel
        // that stopped delivering would keep this loop spinning for ever.
        const bool ended = BASS_ChannelIsActive(channel) != BASS_ACTIVE_PLAYING || position < 0 || position <= previous;
        previous = position;
        const std::uint64_t current = ended ? kEndMarker : static_cast<std::uint64_t>(position) / blockBytes;
        if (current <= last)
            continue;
        const DWORD left = level & 0xFFFF;
        const DWORD right = level >> 16;
        if (left < kSilentLevel && right < kSilentLevel) {
            ++run;
        } else if (run > 3) {
            onsets.push_back(TOnset{run, static_cast<std::int32_t>(std::min<std::int64_t>(index * 20, kLastLineEnd))});
            run = 0;
        }
        ++index;
        // The end marker always ends: with a length that reads as the largest block
        // number, waiting for "greater than the total" would never stop.
        if (ended || current > total)
            break;
        last = current;
    }
    return onsets;
}

std::vector<TLyricItem> ChooseSentenceStarts(const std::vector<TOnset>& onsets)
{
    std::vector<std::int32_t> starts;
    if (!onsets.empty()) {
        starts.push_back(std::max(StartOf(onsets[0]), 0));
        std::size_t last = 0;
        std::size_t chosen = 0;
        std::int32_t best = kRememberAbove;
        const auto take = [&](std::size_t k) {
            starts.push_back(StartOf(onsets[k]));
            last = k;
            best = kRememberAbove;
        };
        for (std::size_t i = 1; i < onsets.size(); ++i) {
            const std::int64_t gap = std::int64_t{onsets[i].TimeMs} - onsets[last].TimeMs;
            if (gap < kMinGapMs)
                continue;
            // Strictly greater, here and below: on a tie the earlier onset stays chosen.
            if (onsets[i].SilentCount > best) {
                chosen = i;
                best = onsets[i].SilentCount;
            }
            if (best >= kTakeAtOnce) {
                take(chosen);
            } else if (gap > kForceGapMs) {
                best = 0;
                for (std::size_t j = last + 1; j <= i; ++j) {
                    if (std::int64_t{onsets[j].TimeMs} - onsets[last].TimeMs >= kMinGapMs &&
                        onsets[j].SilentCount > best) {
                        chosen = j;
                        best = onsets[j].SilentCount;
                    }
                }
                take(chosen);
            }
        }
    }

    std::vector<TLyricItem> lines;
    lines.reserve(starts.size());
    for (std::size_t k = 0; k < starts.size(); ++k) {
        TLyricItem line;
        line.Time = starts[k];
        line.EndTime = k + 1 < starts.size() ? starts[k + 1] - 1 : kLastLineEnd;
        line.Visibility = lvDefault;
        lines.push_back(std::move(line));
    }
    return lines;
}

TScanThread::TScanThread(HSTREAM decodeChannel, std::int32_t lengthMs, TLyricHandle& lyric, DWORD blockBytes)
    : FChannel(decodeChannel), FLyric(lyric), FLengthMs(lengthMs), FBlockBytes(blockBytes)
{
}

TScanThread::~TScanThread()
{
    if (FThread.joinable()) {
        FThread.request_stop();
        FThread.join();
    } else if (FChannel != 0) {
        BASS_StreamFree(FChannel);  // never started: the handle is still ours
    }
}

void TScanThread::Start()
{
    if (FThread.joinable() || FFinished.load(std::memory_order_acquire))
        return;
    FThread = std::jthread([this](std::stop_token stop) { Execute(std::move(stop)); });
}

void TScanThread::RequestStop()
{
    FThread.request_stop();
}

// Scan thread.
void TScanThread::Execute(std::stop_token stop)
{
    try {
        const std::vector<TOnset> onsets = ScanOnsets(FChannel, FLengthMs, FBlockBytes, stop);
        // All lines go in together, each complete with its end time, so a reader
        // sees every sentence or none.
        if (!stop.stop_requested())
            FLyric.AddLines(ChooseSentenceStarts(onsets));
    } catch (...) {
        // Only running out of memory gets here: the document is left empty.
        FLyric.Clear();
    }
    BASS_StreamFree(FChannel);
    FFinished.store(true, std::memory_order_release);
}
