// Commands over the lyric document: dump, text, at, extract.
#include "Command.h"
#include "Json.h"

#include "LRCHandle.h"
#include "Streams.h"

#include <string>

namespace {

// Splits off the --raw flag; everything else stays in order ("--" ends options).
CommandArgs TakeRawFlag(const CommandArgs& args, bool& raw)
{
    CommandArgs rest;
    bool optionsEnded = false;
    raw = false;
    for (const std::string& arg : args) {
        if (!optionsEnded && arg == "--raw")
            raw = true;
        else if (!optionsEnded && arg == "--")
            optionsEnded = true;
        else
            rest.push_back(arg);
    }
    return rest;
}

void LoadDocument(TLyricHandle& doc, const std::string& file)
{
    doc.SetText(ReadInputBytes(file));
}

int Dump(const CommandArgs& args)
{
    bool raw;
    const CommandArgs rest = TakeRawFlag(args, raw);
    if (rest.size() != 1)
        throw UsageError("expected one FILE");
    TLyricHandle doc;
    LoadDocument(doc, rest[0]);
    const TLRCInfo info = doc.Info();
    std::string out = "{\"title\":" + JsonString(info.Title, raw) + ",\"artist\":" + JsonString(info.Artist, raw) +
                      ",\"album\":" + JsonString(info.Album, raw) + ",\"by\":" + JsonString(info.By, raw) +
                      ",\"la\":" + JsonString(info.La, raw) + ",\"offset\":" + std::to_string(info.Offset) +
                      ",\"lines\":[";
    const int count = doc.Count();
    for (int i = 0; i < count; ++i) {
        const TLyricItem line = doc.GetItem(i);
        if (i > 0)
            out += ',';
        out += "{\"time\":" + std::to_string(line.Time) + ",\"end\":" + std::to_string(line.EndTime) +
               ",\"label\":" + JsonString(line.TimeLabel, raw) + ",\"text\":" + JsonString(line.Text, raw) + "}";
    }
    out += "]}\n";
    WriteOutputBytes(out);
    return 0;
}

int Text(const CommandArgs& args)
{
    if (args.size() != 1)
        throw UsageError("expected one FILE");
    TLyricHandle doc;
    LoadDocument(doc, args[0]);
    WriteOutputBytes(doc.GetText());
    return 0;
}

int At(const CommandArgs& args)
{
    bool raw;
    const CommandArgs rest = TakeRawFlag(args, raw);
    if (rest.size() < 2)
        throw UsageError("expected FILE and at least one position");
    std::vector<std::int32_t> positions;
    for (std::size_t i = 1; i < rest.size(); ++i)
        positions.push_back(ParseInt32Argument(rest[i], "MS"));
    TLyricHandle doc;
    LoadDocument(doc, rest[0]);
    std::string out;
    for (const std::int32_t pos : positions) {
        out += "{\"pos\":" + std::to_string(pos) + ",\"start\":" + std::to_string(doc.LineStartAt(pos)) +
               ",\"end\":" + std::to_string(doc.LineEndAt(pos)) +
               ",\"shown\":" + (doc.IsLineShownAt(pos) ? "true" : "false") +
               ",\"text\":" + JsonString(doc.LineTextAt(pos), raw) + "}\n";
    }
    WriteOutputBytes(out);
    return 0;
}

int Extract(const CommandArgs& args)
{
    if (args.size() != 3)
        throw UsageError("expected FILE START END");
    const std::int32_t start = ParseInt32Argument(args[1], "START");
    const std::int32_t end = ParseInt32Argument(args[2], "END");
    TLyricHandle doc;
    LoadDocument(doc, args[0]);
    const auto segment = doc.ExtractSegment(start, end, doc.Info());
    WriteOutputBytes(segment->Bytes());
    return 0;
}

const CommandRegistration dumpCommand({"dump", "[--raw] FILE",
    "the parsed document as JSON (--raw: strings as bytes U+0000..U+00FF)", Dump});
const CommandRegistration textCommand({"text", "FILE", "the document rendered back to LRC text", Text});
const CommandRegistration atCommand({"at", "[--raw] FILE MS...",
    "line start, end, visibility and text at each position, one JSON object per line", At});
const CommandRegistration extractCommand({"extract", "FILE START END",
    "the lines starting in [START, END) re-based to START as LRC text (also writes kkk.lrc here)", Extract});

}  // namespace
