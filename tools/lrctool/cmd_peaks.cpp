// Command over the waveform peak scan: peaks.
#include "Command.h"

#include "PeakScan.h"
#include "Streams.h"
#include "TavreloMedia.h"

#include <QImage>
#include <QString>

#include <memory>
#include <stdexcept>
#include <string>

namespace {

// The strip's height in the editor.
constexpr int kStripHeight = 113;

int Peaks(const CommandArgs& args)
{
    CommandArgs rest;
    std::string png;
    bool wantPng = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--png") {
            if (i + 1 >= args.size())
                throw UsageError("--png needs a FILE");
            png = args[++i];
            wantPng = true;
        } else {
            rest.push_back(args[i]);
        }
    }
    if (rest.size() != 2)
        throw UsageError("expected AUDIO and COLUMNS");
    const int columns = ParseInt32Argument(rest[1], "COLUMNS");
    if (columns < 1)
        throw UsageError("COLUMNS must be at least 1");

    // One scan gives both: DrawPeaks is BuildPeakList followed by PaintPeaks.
    std::int32_t bytesPerColumn = 0;
    const TPeakList peaks =
        TAudioMedia::BuildPeakList(std::make_unique<TMemoryStream>(ReadInputBytes(rest[0])), columns, bytesPerColumn);
    if (bytesPerColumn == 0)
        throw std::runtime_error("\"" + rest[0] + "\" is not audio that can be decoded");
    if (wantPng) {
        QImage bitmap(columns, kStripHeight, QImage::Format_RGB32);
        if (bitmap.isNull())
            throw std::runtime_error("cannot make an image " + std::to_string(columns) + " pixels wide");
        PaintPeaks(peaks, bitmap);
        if (!bitmap.save(QString::fromStdString(png), "PNG"))
            throw std::runtime_error("cannot write \"" + png + "\"");
    }

    std::string out = "{\"bytesPerColumn\":" + std::to_string(bytesPerColumn) + ",\"peaks\":[";
    for (std::size_t i = 0; i < peaks.size(); ++i) {
        if (i > 0)
            out += ',';
        out += '[' + std::to_string(peaks[i].LeftPeak) + ',' + std::to_string(peaks[i].RightPeak) + ']';
    }
    out += "]}\n";
    WriteOutputBytes(out);
    return 0;
}

const CommandRegistration peaksCommand({"peaks", "AUDIO COLUMNS [--png FILE]",
    "waveform peaks [left,right] per column and the decoded bytes per column as JSON "
    "(--png: also the painted strip, COLUMNS x 113)", Peaks});

}  // namespace
