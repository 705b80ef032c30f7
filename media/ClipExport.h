// Cutting a time range of in-memory audio out as a PCM WAV image.
#pragma once

#include <cstdint>
#include <memory>

class TMemoryStream;

// The decoded samples of [startMs, endMs] of the audio in `source`, behind a 44-byte
// RIFF WAVE header (PCM; channels, rate and sample size of the decoded stream). The
// data is read in 10000-byte pieces from the byte of startMs until the piece that
// reaches endMs, so it may run up to 9999 bytes past endMs; it stops at the end of the
// audio. The result's position is at its end (the caller rewinds it).
// An absent source, or bytes that no decoder accepts, give an empty stream. A start at
// or past the end of the audio gives a header with no data. `source` stays the
// caller's and is not moved. Any thread may call this (it uses its own decode handle).
std::unique_ptr<TMemoryStream> BuildWavClip(const TMemoryStream* source, std::int32_t startMs, std::int32_t endMs);
