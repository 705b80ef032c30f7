// The waveform peak scan: one pair of peak levels per pixel column of the strip,
// from one decode of the whole file in 20 ms level readings. TAudioMedia's
// BuildPeakList and DrawPeaks are defined with these helpers (PeakScan.cpp).
//
// A decode can also be kept as a TLevelTrace (the readings alone, 16 bytes per 20 ms
// of audio), from which the peak list for any other strip width is rebuilt without
// decoding again; BuildPeakListFromTrace gives exactly what BuildPeakList gives.
//
// Threads: every function here may run on any thread; each decode uses its own
// handle. Painting into a QImage needs no GUI application object.
#pragma once

#include <cstdint>
#include <memory>
#include <stop_token>
#include <vector>

class QImage;
class TMemoryStream;
struct TSpeakingPeak;
using TPeakList = std::vector<TSpeakingPeak>;

// One 20 ms level reading of a decode pass.
struct TLevelReading {
    std::uint32_t Level = 0;    // left peak in the low 16 bits, right peak in the high 16
    bool Ended = false;         // this reading met the end of the data
    std::int64_t Position = 0;  // byte position after the reading
};

// Every reading of one decode pass, to the end of the data.
struct TLevelTrace {
    std::int64_t LengthBytes = 0;   // decoded length of the stream
    std::int64_t BytesPer20Ms = 0;  // 0: the bytes were not audio
    std::vector<TLevelReading> Readings;

    bool IsAudio() const { return BytesPer20Ms > 0; }
};

// Decodes the whole of stream's bytes once (the stream is rewound, not freed).
// Stops early, with the readings so far, once `stop` is requested (checked every reading).
TLevelTrace ReadLevelTrace(TMemoryStream& stream, std::stop_token stop = {});

// The peak list BuildPeakList would give for `columns` over the same bytes, and its
// bytes per column (0 and an empty list when the trace is not audio or columns < 1).
TPeakList BuildPeakListFromTrace(const TLevelTrace& trace, int columns, std::int32_t& bytesPerColumn);

// Paints peaks into bitmap as the waveform strip shows them: black background, lime
// bars, the left channel up from the middle row (height / 2), the right channel down
// from two rows below it, leaving one dark row between; a value of 32768 fills the
// half height. Columns beyond the list stay black. A null bitmap is left alone; an
// indexed or monochrome one is converted to 32-bit RGB first.
void PaintPeaks(const TPeakList& peaks, QImage& bitmap);
