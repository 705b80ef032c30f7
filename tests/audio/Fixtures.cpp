#include "Fixtures.h"

#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>

namespace qlrc::audio::test {

bool Run(const std::string& command) {
    return std::system(command.c_str()) == 0;
}

Bytes ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteAll(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

namespace {
void Put16(Bytes& b, unsigned v) {
    b.push_back(static_cast<std::uint8_t>(v & 0xFF));
    b.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
}
void Put32(Bytes& b, std::uint32_t v) {
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}
void PutTag(Bytes& b, const char* tag) { b.insert(b.end(), tag, tag + 4); }

Bytes WavHeader(int rate, int channels, int bits, std::uint32_t dataBytes) {
    Bytes b;
    PutTag(b, "RIFF");
    Put32(b, 36 + dataBytes);
    PutTag(b, "WAVE");
    PutTag(b, "fmt ");
    Put32(b, 16);
    Put16(b, 1);
    Put16(b, static_cast<unsigned>(channels));
    Put32(b, static_cast<std::uint32_t>(rate));
    Put32(b, static_cast<std::uint32_t>(rate * channels * bits / 8));
    Put16(b, static_cast<unsigned>(channels * bits / 8));
    Put16(b, static_cast<unsigned>(bits));
    PutTag(b, "data");
    Put32(b, dataBytes);
    return b;
}
}  // namespace

Bytes MakeWav(int rate, int channels, const std::vector<std::int16_t>& samples) {
    Bytes b = WavHeader(rate, channels, 16, static_cast<std::uint32_t>(samples.size() * 2));
    for (std::int16_t s : samples) Put16(b, static_cast<std::uint16_t>(s));
    return b;
}

Bytes MakeWav8(int rate, int channels, const std::vector<std::uint8_t>& samples) {
    Bytes b = WavHeader(rate, channels, 8, static_cast<std::uint32_t>(samples.size()));
    b.insert(b.end(), samples.begin(), samples.end());
    if (samples.size() % 2) b.push_back(0);  // RIFF chunks are padded to even sizes
    return b;
}

Bytes MakeModule() {
    Bytes m(1084, 0);
    const char title[] = "qlrc test";
    std::copy(title, title + sizeof title - 1, m.begin());
    // Sample 1: 64 bytes of square wave, looped, full volume.
    std::uint8_t* s1 = m.data() + 20;
    s1[22] = 0; s1[23] = 32;  // length in words
    s1[25] = 64;              // volume
    s1[26] = 0; s1[27] = 0;   // repeat offset
    s1[28] = 0; s1[29] = 32;  // repeat length
    for (int i = 1; i < 31; ++i) m[20 + 30 * i + 29] = 1;  // unused samples: repeat length 1
    m[950] = 1;     // song length: one pattern
    m[951] = 127;
    m[1080] = 'M'; m[1081] = '.'; m[1082] = 'K'; m[1083] = '.';
    Bytes pattern(64 * 4 * 4, 0);
    for (int row = 0; row < 64; row += 16) {  // a note every 16 rows on channel 1
        const unsigned period = 428;
        std::uint8_t* cell = pattern.data() + row * 16;
        cell[0] = static_cast<std::uint8_t>(((1 & 0xF0)) | (period >> 8));
        cell[1] = static_cast<std::uint8_t>(period & 0xFF);
        cell[2] = static_cast<std::uint8_t>((1 & 0x0F) << 4);
    }
    m.insert(m.end(), pattern.begin(), pattern.end());
    for (int i = 0; i < 64; ++i) m.push_back(static_cast<std::uint8_t>(i < 32 ? 100 : 156));  // +100 / -100
    return m;
}

namespace {

// Opus has no command-line encoder installed here; libsndfile writes it.
bool WriteOpus(const std::filesystem::path& path, int seconds) {
    SF_INFO info{};
    info.samplerate = 48000;
    info.channels = 2;
    info.format = SF_FORMAT_OGG | SF_FORMAT_OPUS;
    std::unique_ptr<SNDFILE, int (*)(SNDFILE*)> sf(sf_open(path.c_str(), SFM_WRITE, &info), sf_close);
    if (!sf) return false;
    std::vector<short> data(static_cast<std::size_t>(48000 * seconds * 2));
    for (std::size_t i = 0; i < data.size() / 2; ++i) {
        const double v = std::sin(2 * M_PI * 440.0 * static_cast<double>(i) / 48000.0);
        data[2 * i] = data[2 * i + 1] = static_cast<short>(v * 12000);
    }
    return sf_writef_short(sf.get(), data.data(), 48000 * seconds) == 48000 * seconds;
}

struct FixtureDir {
    Fixtures fx;
    FixtureDir() {
        std::string templ = (std::filesystem::temp_directory_path() / "qlrc-audio-XXXXXX").string();
        if (!mkdtemp(templ.data())) {
            fx.error = "mkdtemp failed";
            return;
        }
        fx.dir = templ;
        make();
    }
    ~FixtureDir() {
        std::error_code ec;
        if (!fx.dir.empty()) std::filesystem::remove_all(fx.dir, ec);
    }

    void step(const std::string& what, const std::string& command) {
        if (!fx.error.empty()) return;
        const std::string full = "cd '" + fx.dir.string() + "' && ( " + command + " ) >/dev/null 2>&1";
        if (!Run(full)) fx.error = what + " failed: " + command;
    }

    // soxArgs: "<output format options> | <effects>".
    void mp3(const std::string& name, const std::string& soxArgs, const std::string& lameArgs) {
        const auto bar = soxArgs.find('|');
        step(name, "sox -n " + soxArgs.substr(0, bar) + " '" + name + ".wav' " + soxArgs.substr(bar + 1) + " && lame --quiet " + lameArgs + " '" + name + ".wav' '"
                       + name + "'");
        step(name + " reference", "mpg123 -q -s '" + name + "' > '" + name + ".raw'");
        fx.mp3s.push_back(name);
    }

    void make() {
        // 44.1 kHz stereo, different tones left and right.
        mp3("cbr.mp3", "-r 44100 -c 2 -b 16 | synth 3 sine 440 sine 660 gain -3", "--cbr -b 128");
        mp3("vbr.mp3", "-r 44100 -c 2 -b 16 | synth 3 sine 200-4000 pinknoise gain -6", "-V 2");
        mp3("mono48.mp3", "-r 48000 -c 1 -b 16 | synth 2 sine 1000 gain -6", "-m m");
        mp3("r22.mp3", "-r 22050 -c 2 -b 16 | synth 2 sine 300 sine 500", "");
        mp3("r8.mp3", "-r 8000 -c 1 -b 16 | synth 1.5 sine 300", "-m m");  // MPEG 2.5
        mp3("id3.mp3", "-r 44100 -c 2 -b 16 | synth 1 sine 440", "--add-id3v2 --pad-id3v2-size 3000 --tt Title --ta Artist");
        mp3("short.mp3", "-r 44100 -c 2 -b 16 | synth 0.05 sine 440", "");
        // Layer II, through sox's encoder.
        step("mp2", "sox -n -r 44100 -c 2 -b 16 layer2.mp2 synth 2 sine 440 sine 550");
        step("mp2 reference", "mpg123 -q -s layer2.mp2 > layer2.mp2.raw");
        fx.mp3s.push_back("layer2.mp2");
        // Speech.
        step("speech", "espeak-ng -w speech.wav 'one two three, the quick brown fox' && lame --quiet speech.wav speech.mp3");
        step("speech reference", "mpg123 -q -s speech.mp3 > speech.mp3.raw");
        fx.mp3s.push_back("speech.mp3");
        // The libsndfile formats.
        step("wav16", "sox -n -r 44100 -c 2 -b 16 w16.wav synth 1 sine 440 sine 660");
        step("wav8", "sox -n -r 11025 -c 1 -b 8 -e unsigned-integer w8.wav synth 1 sine 440");
        step("wav24", "sox -n -r 48000 -c 2 -b 24 w24.wav synth 1 sine 440");
        step("wavf", "sox -n -r 44100 -c 2 -b 32 -e floating-point wf.wav synth 1 sine 440 gain -3");
        step("flac", "sox -n -r 44100 -c 2 -b 16 t.flac synth 1 sine 440");
        step("ogg", "sox -n -r 44100 -c 2 t.ogg synth 1 sine 440");
        if (fx.error.empty() && !WriteOpus(fx.dir / "t.opus", 1)) fx.error = "opus writing failed";
        // Four minutes of VBR for the benchmarks (made only there, see Fx4Min in bench).
    }
};

}  // namespace

const Fixtures& Fx() {
    static FixtureDir dir;
    return dir.fx;
}

}  // namespace qlrc::audio::test

// libsndfile leaves libvorbis' info block behind when a damaged Ogg Vorbis file fails
// to open (the truncation tests do that on purpose); not ours to free. Kept here so the
// suites pass under LeakSanitizer however they are started.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libvorbis.so\n";
}
