#include "AudioDevice.h"

#include "Exceptions.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <utility>
#include <vector>


// alsa/error.h (1.2.8) declares snd_lib_error_set_local outside its extern "C"
// block, so C++ would look for a mangled name; bind to the C symbol directly.
snd_local_error_handler_t AlsaSetLocalErrorHandler(snd_local_error_handler_t handler) __asm__(
    "snd_lib_error_set_local");

namespace {

// Longest line name the mixer hands out, as the name field of a mixer line holds it.
constexpr std::size_t MaxLineNameChars = 64;

// ---- ALSA simple mixer -------------------------------------------------------------

// ALSA writes every failure to stderr; ours are quiet by rule (no card is normal).
// The handler is thread-local, so other threads' ALSA users keep their messages.
class QuietAlsa {
public:
    QuietAlsa() : FPrevious(AlsaSetLocalErrorHandler(&Silent)) {}
    ~QuietAlsa() { AlsaSetLocalErrorHandler(FPrevious); }
    QuietAlsa(const QuietAlsa&) = delete;
    QuietAlsa& operator=(const QuietAlsa&) = delete;

private:
    static void Silent(const char*, int, const char*, int, const char*, va_list) {}
    snd_local_error_handler_t FPrevious;
};

struct MixerCloser {
    void operator()(snd_mixer_t* mixer) const
    {
        const QuietAlsa quiet;
        snd_mixer_close(mixer);
    }
};
using MixerHandle = std::unique_ptr<snd_mixer_t, MixerCloser>;

struct SelemIdFree {
    void operator()(snd_mixer_selem_id_t* id) const { snd_mixer_selem_id_free(id); }
};
using SelemIdHandle = std::unique_ptr<snd_mixer_selem_id_t, SelemIdFree>;

// Element names tried for each line type, in order.
std::vector<const char*> ElementNames(TLineType Type)
{
    switch (Type) {
    case ltMaster: return {"Master"};
    case ltMicrophone: return {"Capture", "Mic"};
    case ltWaveOut: return {"PCM"};
    case ltSynth: return {"Synth"};
    case ltCD: return {"CD"};
    }
    return {};  // a value outside the enumeration names no line
}

// One direction (playback or capture) of an element's volume or switch, chosen
// per control: playback when the element has it (a source line's level on the
// speakers, as the master and the wave-out lines are), capture otherwise.
class TAlsaSession final : public TMixerSession {
public:
    explicit TAlsaSession(MixerHandle Mixer) : FMixer(std::move(Mixer)) {}

    bool FindLine(TLineType Type) override
    {
        const QuietAlsa quiet;
        FElem = nullptr;
        snd_mixer_selem_id_t* rawId = nullptr;
        if (snd_mixer_selem_id_malloc(&rawId) < 0)
            return false;
        SelemIdHandle id(rawId);
        for (const char* name : ElementNames(Type)) {
            snd_mixer_selem_id_set_name(id.get(), name);
            snd_mixer_selem_id_set_index(id.get(), 0);
            snd_mixer_elem_t* elem = snd_mixer_find_selem(FMixer.get(), id.get());
            if (elem != nullptr && snd_mixer_selem_is_active(elem)) {
                FElem = elem;
                return true;
            }
        }
        return false;
    }

    std::string LineName() override
    {
        const char* name = FElem != nullptr ? snd_mixer_selem_get_name(FElem) : nullptr;
        return name != nullptr ? std::string(name) : std::string();
    }

    bool HasControl(TMixerControlKind Kind) override
    {
        const QuietAlsa quiet;
        if (FElem == nullptr)
            return false;
        if (Kind == mckMute)
            return snd_mixer_selem_has_playback_switch(FElem) != 0 ||
                   snd_mixer_selem_has_capture_switch(FElem) != 0;
        if (Kind != mckVolume)
            return false;
        long min = 0;
        long max = 0;
        // A volume that cannot move is no volume control.
        return VolumeRange(min, max) && max > min;
    }

    bool SetValue(TMixerControlKind Kind, std::uint16_t Value) override
    {
        const QuietAlsa quiet;
        if (FElem == nullptr)
            return false;
        if (Kind == mckMute) {
            const int on = Value != 0 ? 0 : 1;  // ALSA switches say "sounding", not "muted"
            const int rc = Playback(Kind) ? snd_mixer_selem_set_playback_switch_all(FElem, on)
                                          : snd_mixer_selem_set_capture_switch_all(FElem, on);
            return rc >= 0;
        }
        long min = 0;
        long max = 0;
        if (Kind != mckVolume || !VolumeRange(min, max) || max <= min)
            return false;
        const long double span = static_cast<long double>(max) - static_cast<long double>(min);
        const long raw = min + static_cast<long>(std::llround(Value * span / 65535.0L));
        const int rc = Playback(Kind) ? snd_mixer_selem_set_playback_volume_all(FElem, raw)
                                      : snd_mixer_selem_set_capture_volume_all(FElem, raw);
        return rc >= 0;
    }

    std::optional<std::uint32_t> GetValue(TMixerControlKind Kind) override
    {
        const QuietAlsa quiet;
        if (FElem == nullptr || (Kind != mckVolume && Kind != mckMute))
            return std::nullopt;
        const bool playback = Playback(Kind);
        long min = 0;
        long max = 0;
        if (Kind == mckVolume && (!VolumeRange(min, max) || max <= min))
            return std::nullopt;

        // One value for the whole line: the loudest channel, or muted when no
        // channel sounds.
        bool any = false;
        long loudest = 0;
        bool sounding = false;
        for (int c = 0; c <= SND_MIXER_SCHN_LAST; ++c) {
            const auto channel = static_cast<snd_mixer_selem_channel_id_t>(c);
            const bool has = playback ? snd_mixer_selem_has_playback_channel(FElem, channel) != 0
                                      : snd_mixer_selem_has_capture_channel(FElem, channel) != 0;
            if (!has)
                continue;
            if (Kind == mckVolume) {
                long value = 0;
                const int rc = playback ? snd_mixer_selem_get_playback_volume(FElem, channel, &value)
                                        : snd_mixer_selem_get_capture_volume(FElem, channel, &value);
                if (rc < 0)
                    return std::nullopt;
                loudest = any ? std::max(loudest, value) : value;
            } else {
                int on = 0;
                const int rc = playback ? snd_mixer_selem_get_playback_switch(FElem, channel, &on)
                                        : snd_mixer_selem_get_capture_switch(FElem, channel, &on);
                if (rc < 0)
                    return std::nullopt;
                sounding = sounding || on != 0;
            }
            any = true;
        }
        if (!any)
            return std::nullopt;
        if (Kind == mckMute)
            return sounding ? 0u : 1u;
        const long clamped = std::clamp(loudest, min, max);
        const long double span = static_cast<long double>(max) - static_cast<long double>(min);
        const long double part = static_cast<long double>(clamped) - static_cast<long double>(min);
        return static_cast<std::uint32_t>(std::llround(part * 65535.0L / span));
    }

private:
    bool Playback(TMixerControlKind Kind) const
    {
        if (Kind == mckMute)
            return snd_mixer_selem_has_playback_switch(FElem) != 0;
        return snd_mixer_selem_has_playback_volume(FElem) != 0;
    }

    bool VolumeRange(long& min, long& max) const
    {
        if (snd_mixer_selem_has_playback_volume(FElem) != 0)
            return snd_mixer_selem_get_playback_volume_range(FElem, &min, &max) >= 0;
        if (snd_mixer_selem_has_capture_volume(FElem) != 0)
            return snd_mixer_selem_get_capture_volume_range(FElem, &min, &max) >= 0;
        return false;
    }

    MixerHandle FMixer;
    snd_mixer_elem_t* FElem = nullptr;  // owned by FMixer
};

class TAlsaBackend final : public TMixerBackend {
public:
    explicit TAlsaBackend(std::string Device) : FDevice(std::move(Device)) {}

    std::unique_ptr<TMixerSession> Open() override
    {
        const QuietAlsa quiet;
        snd_mixer_t* raw = nullptr;
        if (snd_mixer_open(&raw, 0) < 0 || raw == nullptr)
            return nullptr;
        MixerHandle mixer(raw);
        // No card, or a device name that does not resolve: the quiet "no mixer".
        if (snd_mixer_attach(raw, FDevice.c_str()) < 0)
            return nullptr;
        if (snd_mixer_selem_register(raw, nullptr, nullptr) < 0)
            return nullptr;
        if (snd_mixer_load(raw) < 0)
            return nullptr;
        return std::make_unique<TAlsaSession>(std::move(mixer));
    }

private:
    const std::string FDevice;
};

}  // namespace


std::unique_ptr<TMixerBackend> MakeAlsaMixerBackend(std::string Device)
{
    return std::make_unique<TAlsaBackend>(std::move(Device));
}


// ---- TAUDIODevice -------------------------------------------------------------------

TAUDIODevice::TAUDIODevice() : TAUDIODevice(MakeAlsaMixerBackend()) {}

TAUDIODevice::TAUDIODevice(std::unique_ptr<TMixerBackend> Backend) : FBackend(std::move(Backend)) {}

std::uint16_t TAUDIODevice::GetControl(TMixerControlKind Kind)
{
    FLineName = " ";
    // The session closes the mixer on every way out, exceptions included.
    const std::unique_ptr<TMixerSession> mixer = FBackend ? FBackend->Open() : nullptr;
    if (!mixer)
        return 0;
    if (!mixer->FindLine(FLineType))
        return 0;
    if (Kind == mckLineName) {
        std::string name = mixer->LineName();
        name = name.substr(0, std::min(name.find('\0'), MaxLineNameChars));
        FLineName = std::move(name);
        return 0;
    }
    // Kinds beyond the three name no control: nothing to read.
    if (Kind != mckVolume && Kind != mckMute)
        return 0;
    if (!mixer->HasControl(Kind))
        throw Exception("Get Control Line Information Error! ");
    const std::optional<std::uint32_t> value = mixer->GetValue(Kind);
    if (!value)
        throw Exception("Get Control Details Error! ");
    return static_cast<std::uint16_t>(*value & 0xFFFFu);
}

void TAUDIODevice::SetControl(std::uint16_t Value, TMixerControlKind Kind)
{
    // The name cannot be written, and kinds beyond the three name no control.
    if (Kind != mckVolume && Kind != mckMute)
        return;
    const std::unique_ptr<TMixerSession> mixer = FBackend ? FBackend->Open() : nullptr;
    if (!mixer)
        return;
    if (!mixer->FindLine(FLineType))
        return;
    if (!mixer->HasControl(Kind))
        throw Exception("Get Control Line Information Error! ");
    if (!mixer->SetValue(Kind, Value))
        throw Exception("Set Control Details Error! ");
}
