// The waveform peak scan (TAudioMedia::BuildPeakList, DrawPeaks, CopyAudioStream) and
// the level trace that rebuilds the strip for another width without decoding again.
#include "PeakScan.h"

#include "Bass.h"
#include "DecodeHandle.h"
#include "Streams.h"
#include "TavreloMedia.h"

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QRect>

#include <algorithm>
#include <limits>
#include <utility>

namespace {

// The column given to the reading that meets the end of the data: greater than every
// real column, so that reading always closes one last column and ends the scan.
constexpr std::uint64_t kEndColumn = std::numeric_limits<std::uint64_t>::max();
// Files whose loudest kept reading is below a third of full scale are scaled up so
// that it becomes kNormalTop.
constexpr std::uint32_t kQuietBelow = 10922;
constexpr std::uint32_t kNormalTop = 29768;
constexpr std::uint32_t kFullScale = 32768;

// A decode handle over the stream's bytes (the stream is rewound); 0 when no decoder
// accepts them.
HSTREAM OpenDecode(TMemoryStream& stream)
{
    stream.SetPosition(0);
    if (stream.Size() == 0)
        return 0;
    return BASS_StreamCreateFile(TRUE, stream.Memory(), 0, static_cast<QWORD>(stream.Size()), BASS_STREAM_DECODE);
}

// Decoded length and the 20 ms figure of an open decode handle; false when the handle
// cannot convert times (then the bytes count as not audio).
bool ReadFigures(HSTREAM handle, std::int64_t& length, std::int64_t& per20Ms)
{
    per20Ms = BASS_ChannelSeconds2Bytes(handle, 0.02);
    length = BASS_ChannelGetLength(handle, BASS_POS_BYTE);
    return per20Ms > 0;
}

// Reads 20 ms levels until sink returns true or the data ends (the ending reading is
// handed to sink too).
template <class Sink>
void ReadLevels(HSTREAM handle, Sink&& sink)
{
    QWORD previous = BASS_ChannelGetPosition(handle, BASS_POS_BYTE);
    for (;;) {
        TLevelReading reading;
        reading.Level = BASS_ChannelGetLevel(handle);
        const QWORD position = BASS_ChannelGetPosition(handle, BASS_POS_BYTE);
        // A position that fails or stands still ends the data as well: a decoder that
        // stopped delivering must not keep the GUI thread here for ever.
        reading.Ended = BASS_ChannelIsActive(handle) != BASS_ACTIVE_PLAYING || position < 0 || position <= previous;
        reading.Position = std::max<QWORD>(position, 0);
        previous = position;
        if (sink(reading) || reading.Ended)
            return;
    }
}

// Bytes one column stands for: the length shared out over the columns, but never less
// than 20 ms. Kept within 32 bits, as the caller stores it.
std::int32_t BytesPerColumn(std::int64_t length, std::int64_t per20Ms, int columns)
{
    const std::int64_t share = std::max<std::int64_t>(length, 0) / columns;
    const std::int64_t bytes = std::max(share, per20Ms);
    return static_cast<std::int32_t>(std::min<std::int64_t>(bytes, std::numeric_limits<std::int32_t>::max()));
}

// round(value * kNormalTop / top), half to even, in exact integers.
std::uint16_t Normalised(std::uint16_t value, std::uint32_t top)
{
    const std::uint64_t scaled = std::uint64_t{value} * kNormalTop;
    std::uint64_t quotient = scaled / top;
    const std::uint64_t twice = 2 * (scaled % top);
    if (twice > top || (twice == top && (quotient & 1) != 0))
        ++quotient;
    return static_cast<std::uint16_t>(quotient);
}

// The column rule: the reading during which the position first passes the end of
// column k gives entry k (its own levels, not a maximum over the column).
class TColumnBuilder {
public:
    TColumnBuilder(int columns, std::int32_t bytesPerColumn)
        : FColumns(static_cast<std::uint64_t>(columns)), FBytesPerColumn(static_cast<std::uint64_t>(bytesPerColumn))
    {
    }

    // True once the list is complete.
    bool Add(const TLevelReading& reading)
    {
        const std::uint64_t current =
            reading.Ended ? kEndColumn : static_cast<std::uint64_t>(reading.Position) / FBytesPerColumn;
        if (current <= FLast)
            return false;
        TSpeakingPeak peak;
        peak.LeftPeak = static_cast<std::uint16_t>(reading.Level & 0xFFFF);
        peak.RightPeak = static_cast<std::uint16_t>(reading.Level >> 16);
        FTop = std::max({FTop, std::uint32_t{peak.LeftPeak}, std::uint32_t{peak.RightPeak}});
        FPeaks.push_back(peak);
        if (current >= FColumns)
            return true;
        FLast = current;
        return false;
    }

    TPeakList Finish()
    {
        if (FTop > 0 && FTop < kQuietBelow) {
            for (TSpeakingPeak& peak : FPeaks) {
                peak.LeftPeak = Normalised(peak.LeftPeak, FTop);
                peak.RightPeak = Normalised(peak.RightPeak, FTop);
            }
        }
        return std::move(FPeaks);
    }

private:
    const std::uint64_t FColumns;
    const std::uint64_t FBytesPerColumn;
    std::uint64_t FLast = 0;
    std::uint32_t FTop = 0;
    TPeakList FPeaks;
};

}  // namespace

std::unique_ptr<TMemoryStream> CopyAudioStream(TStream& source)
{
    auto copy = std::make_unique<TMemoryStream>();
    copy->CopyFrom(source, 0);  // rewinds source and leaves it at its end
    return copy;
}

TPeakList TAudioMedia::BuildPeakList(std::unique_ptr<TMemoryStream> stream, int columns, std::int32_t& bytesPerColumn)
{
    bytesPerColumn = 0;
    TPeakList peaks;
    if (!stream)
        return peaks;
    {
        const TDecodeHandle handle(OpenDecode(*stream));
        std::int64_t length = 0;
        std::int64_t per20Ms = 0;
        // No columns, no strip: nothing to decode for (and nothing to divide by).
        if (handle.Get() == 0 || !ReadFigures(handle.Get(), length, per20Ms) || columns < 1)
            return peaks;
        bytesPerColumn = BytesPerColumn(length, per20Ms, columns);
        TColumnBuilder builder(columns, bytesPerColumn);
        ReadLevels(handle.Get(), [&](const TLevelReading& reading) { return builder.Add(reading); });
        peaks = builder.Finish();
    }
    stream.reset();  // the decode handle first, then the bytes it was made over
    return peaks;
}

void TAudioMedia::DrawPeaks(std::unique_ptr<TMemoryStream> stream, int columns, QImage& bitmap,
                            std::int32_t& bytesPerColumn)
{
    const TPeakList peaks = BuildPeakList(std::move(stream), columns, bytesPerColumn);
    PaintPeaks(peaks, bitmap);
}

TLevelTrace ReadLevelTrace(TMemoryStream& stream, std::stop_token stop)
{
    TLevelTrace trace;
    const TDecodeHandle handle(OpenDecode(stream));
    if (handle.Get() == 0 || !ReadFigures(handle.Get(), trace.LengthBytes, trace.BytesPer20Ms)) {
        trace.BytesPer20Ms = 0;
        return trace;
    }
    // Room for the readings the length promises, within reason: a damaged file may
    // report a length it does not have.
    if (trace.LengthBytes > 0)
        trace.Readings.reserve(static_cast<std::size_t>(std::min<std::int64_t>(trace.LengthBytes / trace.BytesPer20Ms + 2, 1 << 20)));
    ReadLevels(handle.Get(), [&](const TLevelReading& reading) {
        trace.Readings.push_back(reading);
        return stop.stop_requested();
    });
    return trace;
}

TPeakList BuildPeakListFromTrace(const TLevelTrace& trace, int columns, std::int32_t& bytesPerColumn)
{
    bytesPerColumn = 0;
    if (!trace.IsAudio() || columns < 1)
        return {};
    bytesPerColumn = BytesPerColumn(trace.LengthBytes, trace.BytesPer20Ms, columns);
    TColumnBuilder builder(columns, bytesPerColumn);
    for (const TLevelReading& reading : trace.Readings) {
        if (builder.Add(reading))
            break;
    }
    return builder.Finish();
}

void PaintPeaks(const TPeakList& peaks, QImage& bitmap)
{
    if (bitmap.isNull())
        return;
    switch (bitmap.format()) {
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB:
    case QImage::Format_Indexed8:
    case QImage::Format_Alpha8:
    case QImage::Format_Grayscale8:
    case QImage::Format_Grayscale16:
        bitmap = bitmap.convertToFormat(QImage::Format_RGB32);  // lime needs colour
        break;
    default:
        break;
    }
    QPainter painter(&bitmap);
    if (!painter.isActive())
        return;
    painter.fillRect(bitmap.rect(), Qt::black);
    const QColor lime(0x00, 0xFF, 0x00);
    const std::int64_t mid = bitmap.height() / 2;
    const int count = static_cast<int>(std::min<std::size_t>(peaks.size(), static_cast<std::size_t>(bitmap.width())));
    for (int x = 0; x < count; ++x) {
        // Trunc(peak / 32768 * mid), exactly.
        const int up = static_cast<int>(peaks[x].LeftPeak * mid / kFullScale);
        const int down = static_cast<int>(peaks[x].RightPeak * mid / kFullScale);
        if (up > 0)
            painter.fillRect(QRect(x, static_cast<int>(mid) - up + 1, 1, up), lime);
        if (down > 0)
            painter.fillRect(QRect(x, static_cast<int>(mid) + 2, 1, down), lime);
    }
}
