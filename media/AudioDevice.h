// TAUDIODevice: volume, mute switch and name of one line of the system mixer.
// The media controller uses it on the master line for its volume operations.
//
// Each operation opens the mixer, works on one line and closes it again; nothing
// is held between calls. The mixer itself sits behind TMixerBackend so the rules
// here can be exercised against a fake; the default backend is ALSA's simple
// mixer on the "default" control device.
//
// Threads: a TAUDIODevice is used by one thread at a time (the controller's GUI
// thread); separate objects may be used on separate threads.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>


// Which mixer line an operation works on.
enum TLineType : std::uint8_t {
    ltMaster = 0,
    ltMicrophone = 1,
    ltWaveOut = 2,
    ltSynth = 3,
    ltCD = 4,
};

// Display names of the line types, each with a trailing blank.
inline constexpr std::array<std::string_view, 5> LineTypeNames = {
    "Master ", "Microphone ", "WaveOut ", "Synth ", "CD "};

// What GetControl and SetControl work on.
enum TMixerControlKind : int {
    mckVolume = 0,    // 0..65535
    mckMute = 1,      // non-zero = muted
    mckLineName = 2,  // read only: fills LineName
};

// One opened mixer. Destroying the session closes the mixer.
class TMixerSession {
public:
    virtual ~TMixerSession() = default;

    // Selects the line of this type for the calls below; false when the mixer has none.
    virtual bool FindLine(TLineType Type) = 0;
    // The selected line's full name.
    virtual std::string LineName() = 0;
    // Whether the selected line has a control of this kind (volume or mute).
    virtual bool HasControl(TMixerControlKind Kind) = 0;
    // Volume in 0..65535 or mute (non-zero = muted), the same on every channel.
    // False when the mixer refuses.
    virtual bool SetValue(TMixerControlKind Kind, std::uint16_t Value) = 0;
    // The control's value as SetValue takes it; empty when the mixer refuses.
    virtual std::optional<std::uint32_t> GetValue(TMixerControlKind Kind) = 0;
};

// The system's first mixer.
class TMixerBackend {
public:
    virtual ~TMixerBackend() = default;
    // Null when there is no mixer or it cannot be opened.
    virtual std::unique_ptr<TMixerSession> Open() = 0;
};

// ALSA's simple mixer on the named control device ("default", "hw:0", "pulse" ...).
// Lines: master "Master", microphone "Capture" then "Mic", wave-out "PCM",
// synth "Synth", CD "CD". Volumes map the element's raw range linearly onto 0..65535.
std::unique_ptr<TMixerBackend> MakeAlsaMixerBackend(std::string Device = "default");


class TAUDIODevice {
public:
    // The master line on the ALSA "default" mixer.
    TAUDIODevice();
    explicit TAUDIODevice(std::unique_ptr<TMixerBackend> Backend);

    TLineType LineType() const { return FLineType; }
    void SetLineType(TLineType Value) { FLineType = Value; }
    // " " after every GetControl, the line's name after a successful GetControl(mckLineName).
    const std::string& LineName() const { return FLineName; }

    // The line's volume (0..65535) or mute state; 0 when there is no mixer or no such
    // line. Kind mckLineName fills LineName and returns 0.
    // Throws Exception "Get Control Line Information Error! " when the line lacks the
    // control and "Get Control Details Error! " when reading it fails.
    std::uint16_t GetControl(TMixerControlKind Kind);
    // Sets the line's volume or mute; nothing when there is no mixer or no such line,
    // or for Kind mckLineName. Throws "Get Control Line Information Error! " when the
    // line lacks the control and "Set Control Details Error! " when writing fails.
    void SetControl(std::uint16_t Value, TMixerControlKind Kind);

    std::uint16_t ReadVolume() { return GetControl(mckVolume); }
    void WriteVolume(std::uint16_t Value) { SetControl(Value, mckVolume); }

private:
    TLineType FLineType = ltMaster;
    std::string FLineName;
    std::unique_ptr<TMixerBackend> FBackend;
};
