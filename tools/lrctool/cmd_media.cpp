// Commands over the media controller: sentences (the background sentence scan of
// a file without lyrics) and clip (a sentence or an A-B section cut out as WAV).
// Both open a real controller on the audio layer's silent output.
#include "Command.h"

#include "Bass.h"
#include "LRCHandle.h"
#include "Streams.h"
#include "TavreloMedia.h"

#include <QCoreApplication>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

namespace {

// The audio layer on its silent output for the life of a command, and the
// application object the controller's timer needs.
class TSilentAudio {
public:
    TSilentAudio()
    {
        // Set before BASS_Init, which reads it.
        if (::setenv("QERIMOLRC_AUDIO", "null", 1) != 0)
            throw std::runtime_error("cannot choose the silent audio output");
        if (!BASS_Init(-1, 44100, 0, nullptr, nullptr))
            throw std::runtime_error("cannot start the audio layer (error " + std::to_string(BASS_ErrorGetCode()) + ")");
    }
    ~TSilentAudio() { static_cast<void>(BASS_Free()); }
    TSilentAudio(const TSilentAudio&) = delete;
    TSilentAudio& operator=(const TSilentAudio&) = delete;

private:
    int FArgc = 1;
    char FName[8] = "lrctool";
    char* FArgv[2] = {FName, nullptr};
    QCoreApplication FApp{FArgc, FArgv};
};

// The editor's position text: minutes, seconds and hundredths, whole hours dropped.
std::string FormatTime(std::int32_t ms)
{
    const std::int64_t value = ms < 0 ? 0 : ms;
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d.%02d", static_cast<int>(value / 60000 % 60),
                  static_cast<int>(value / 1000 % 60), static_cast<int>(value % 1000 / 10));
    return text;
}

std::unique_ptr<TAudioMedia> OpenController(const std::string& audioFile, std::unique_ptr<TMemoryStream> lyric)
{
    auto media = std::make_unique<TAudioMedia>(std::make_unique<TMemoryStream>(ReadInputBytes(audioFile)),
                                               std::move(lyric));
    media->Open();
    if (media->Channel() == 0)
        throw std::runtime_error("\"" + audioFile + "\" is not audio that can be decoded");
    return media;
}

int Sentences(const CommandArgs& args)
{
    bool lrc = false;
    CommandArgs rest;
    for (const std::string& arg : args) {
        if (arg == "--lrc")
            lrc = true;
        else
            rest.push_back(arg);
    }
    if (rest.size() != 1)
        throw UsageError("expected one AUDIO file");

    TSilentAudio audio;
    const std::unique_ptr<TAudioMedia> media = OpenController(rest[0], nullptr);
    while (media->Scanning())
        std::this_thread::sleep_for(std::chrono::milliseconds(5));

    const TLyricHandle& doc = media->Lyric();
    std::string out = lrc ? "" : "{\"lines\":[";
    const int count = doc.Count();
    for (int i = 0; i < count; ++i) {
        const TLyricItem line = doc.GetItem(i);
        if (lrc) {
            out += "[" + FormatTime(line.Time) + "]\r\n";
        } else {
            if (i > 0)
                out += ',';
            out += "{\"time\":" + std::to_string(line.Time) + ",\"end\":" + std::to_string(line.EndTime) + "}";
        }
    }
    if (!lrc)
        out += "]}\n";
    WriteOutputBytes(out);
    return 0;
}

int Clip(const CommandArgs& args)
{
    CommandArgs rest;
    std::string wavFile;
    std::string lrcFile;
    bool at = false;
    bool ab = false;
    std::int32_t pointA = 0;
    std::int32_t pointB = 0;
    const auto value = [&args](std::size_t& i, const char* option) -> const std::string& {
        if (i + 1 >= args.size())
            throw UsageError(std::string(option) + " needs a value");
        return args[++i];
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--at") {
            at = true;
            pointA = ParseInt32Argument(value(i, "--at"), "MS");
        } else if (args[i] == "--ab") {
            ab = true;
            pointA = ParseInt32Argument(value(i, "--ab"), "A");
            pointB = ParseInt32Argument(value(i, "--ab"), "B");
        } else if (args[i] == "-o") {
            wavFile = value(i, "-o");
        } else if (args[i] == "--lrc") {
            lrcFile = value(i, "--lrc");
        } else {
            rest.push_back(args[i]);
        }
    }
    if (rest.size() != 2)
        throw UsageError("expected AUDIO and LRC");
    if (at == ab)
        throw UsageError("give either --at MS or --ab A B");
    if (wavFile.empty())
        throw UsageError("-o OUT.wav is required");
    if (ab && pointB <= pointA)
        throw UsageError("B must come after A");

    TSilentAudio audio;
    // The silent output's clock held still: the positions stay exactly where they
    // are put while the controller plays.
    BASS_Test_SetClock([] { return std::int64_t{0}; });
    const std::unique_ptr<TAudioMedia> media =
        OpenController(rest[0], std::make_unique<TMemoryStream>(ReadInputBytes(rest[1])));
    media->Play();
    if (pointA < 0 || pointA > media->LengthMs() || pointB > media->LengthMs())
        throw std::runtime_error("the position lies outside the audio (0 to " + std::to_string(media->LengthMs()) +
                                 " ms)");

    media->SetPositionMs(pointA);
    int choice = 1;
    if (ab) {
        media->ABStep();
        media->SetPositionMs(pointB);
        media->ABStep();
        choice = 2;
    }
    TMemoryStream wav;
    TMemoryStream lrc;
    if (!media->ExportClip(&wav, &lrc, media->Lyric().Info(), [choice](TClipChoice& c) { c.Tag = choice; }))
        throw std::runtime_error(at ? "no lyric line holds " + std::to_string(pointA) + " ms"
                                    : "the lyric document has no lines");
    media->Stop();
    wav.SaveToFile(wavFile);
    if (!lrcFile.empty())
        lrc.SaveToFile(lrcFile);
    std::printf("{\"start\":%d,\"wavBytes\":%lld,\"lrcBytes\":%lld}\n",
                ab ? pointA : media->Lyric().LineStartAt(pointA), static_cast<long long>(wav.Size()),
                static_cast<long long>(lrc.Size()));
    return 0;
}

const CommandRegistration sentencesCommand({"sentences", "[--lrc] AUDIO",
    "sentence starts found by the background scan of a file without lyrics, as JSON "
    "{\"lines\":[{\"time\",\"end\"}...]} (--lrc: an LRC skeleton of [mm:ss.xx] labels)", Sentences});

const CommandRegistration clipCommand({"clip", "AUDIO LRC (--at MS | --ab A B) -o OUT.wav [--lrc OUT.lrc]",
    "cuts the lyric line at MS, or the section A..B, out of AUDIO as a PCM WAV (and its lines as LRC "
    "re-based to the clip; also writes kkk.lrc in the current folder)", Clip});

}  // namespace
