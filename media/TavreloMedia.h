// TAudioMedia: the media controller for one opened audio file. It owns the
// file's bytes, one playback stream over them, the lyric document whose lines
// serve as the recording's sentences, and a 200 ms timer that drives the repeat
// modes and notifies the window. Besides transport and positions it offers
// sentence navigation and repeat, an A-B loop, looping, rate steps, master
// volume, per-line hiding of the text and export of a clip as WAV, all also
// reachable through the COM-style interface IAudioMedia.
//
// Threads: a controller is created, used and destroyed on the GUI thread (the
// thread whose event loop delivers its timer ticks). The only other thread it
// starts is the sentence scan, which appends to the lyric document (the document
// locks itself); the controller stops and joins the scan before freeing it.
#pragma once

#include "AudioDevice.h"
#include "Bass.h"
#include "LRCHandle.h"
#include "Streams.h"
#include "TavreloTimer.h"

#include "ClipExport.h"
#include "PeakScan.h"
#include "SentenceScan.h"

#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QImage;
class TScanThread;
class TAudioMedia;


// ---- COM-style interfaces ------------------------------------------------------
// Plain abstract classes whose virtual functions sit in the vtable in declaration
// order. They have no virtual destructor on purpose: the slots must stay exactly
// where clients of the interface expect them. Reference counting does nothing;
// every object is freed by its owner.

using HRESULT = std::int32_t;
inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);

struct TGUID {
    std::uint32_t D1;
    std::uint16_t D2;
    std::uint16_t D3;
    std::uint8_t D4[8];

    // Byte for byte, as the interface identity is defined.
    friend bool operator==(const TGUID& a, const TGUID& b) { return std::memcmp(&a, &b, sizeof(TGUID)) == 0; }
};
static_assert(sizeof(TGUID) == 16, "TGUID must have no padding");

// {00000000-0000-0000-C000-000000000046}
inline constexpr TGUID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
// {64E0E1E7-729B-4293-BCD6-7C4866734DE5}
inline constexpr TGUID IID_IAudioMedia = {0x64E0E1E7, 0x729B, 0x4293, {0xBC, 0xD6, 0x7C, 0x48, 0x66, 0x73, 0x4D, 0xE5}};

class IUnknown {
public:
    // Slot 0: S_OK and the interface in *Obj when implemented, else E_NOINTERFACE and null.
    virtual HRESULT QueryInterface(const TGUID& IID, void** Obj) = 0;
    // Slots 1 and 2: constant results, nothing counted.
    virtual std::int32_t _AddRef() = 0;
    virtual std::int32_t _Release() = 0;

protected:
    IUnknown() = default;
    IUnknown(const IUnknown&) = default;
    IUnknown& operator=(const IUnknown&) = default;
    ~IUnknown() = default;
};

// The controller's state; msStopped also stands for nothing opened and for a
// missing playback stream.
enum TMediaState : std::uint8_t {
    msPlaying = 0,
    msPaused = 1,
    msStopped = 2,
};

// Fired on every timer tick with the controller as sender (GUI thread).
using TMediaNotifyEvent = std::function<void(TAudioMedia* Sender)>;

// The small object handed to ExportClip's choice callback: the callback sets Tag
// to 1 (the sentence at the position) or 2 (the A-B section); anything else cancels.
struct TClipChoice {
    std::int32_t Tag = 0;
};
using TChooseClipEvent = std::function<void(TClipChoice& Choice)>;

class IAudioMedia : public IUnknown {
public:
    virtual std::int32_t Open() = 0;                               // 3
    virtual void Play(std::int32_t Ignored = 0) = 0;               // 4
    virtual void Resume() = 0;                                     // 5
    virtual void TogglePause() = 0;                                // 6
    virtual void Stop() = 0;                                       // 7
    virtual void Reserved8() = 0;                                  // 8: no effect
    virtual void RepeatSentence() = 0;                             // 9
    virtual void PreviousSentence() = 0;                           // 10
    virtual void NextSentence() = 0;                               // 11
    virtual void SetPositionMs(std::int32_t Ms) = 0;               // 12
    virtual void ABStep() = 0;                                     // 13
    virtual void SeekToNinth(std::int32_t N) = 0;                  // 14
    virtual bool GetLoop() = 0;                                    // 15
    virtual void SetLoop(bool Value) = 0;                          // 16
    virtual std::int32_t GetPointA() = 0;                          // 17
    virtual std::int32_t GetPointB() = 0;                          // 18
    virtual std::int32_t LengthMs() = 0;                           // 19
    virtual std::int32_t PositionMs() = 0;                         // 20
    virtual std::int32_t Reserved21() = 0;                         // 21: returns 0
    virtual std::int64_t SegmentMs() = 0;                          // 22
    virtual bool GetSentenceRepeat() = 0;                          // 23
    virtual void SetSentenceRepeat(bool Value) = 0;                // 24
    virtual TMediaState State() = 0;                               // 25
    virtual std::uint8_t GetABState() = 0;                         // 26
    virtual TMediaNotifyEvent GetOnUpdate() = 0;                   // 27
    virtual std::string CurrentText() = 0;                         // 28
    virtual float GetVolume() = 0;                                 // 29
    virtual void SetVolume(float V) = 0;                           // 30
    virtual void SetOnUpdate(TMediaNotifyEvent Event) = 0;         // 31
    virtual std::int32_t GetRate() = 0;                            // 32
    virtual void SetRateStep(std::int32_t N) = 0;                  // 33
    virtual std::int32_t GetRateStep() = 0;                        // 34
    virtual void Reserved35(std::int32_t Ignored) = 0;             // 35: no effect
    virtual bool IsTextShown(bool Whole) = 0;                      // 36
    virtual void SetTextShown(bool Whole, bool Shown) = 0;         // 37
    virtual std::int32_t Reserved38() = 0;                         // 38: returns 0
    virtual bool ExportClip(TStream* AudioOut, TStream* LyricOut,  // 39
                            TLRCInfo Info, TChooseClipEvent Choose) = 0;

protected:
    IAudioMedia() = default;
    IAudioMedia(const IAudioMedia&) = default;
    IAudioMedia& operator=(const IAudioMedia&) = default;
    ~IAudioMedia() = default;
};


// ---- Waveform peaks ------------------------------------------------------------

// One waveform column: the peaks of the reading that closed it, 0..32768.
struct TSpeakingPeak {
    std::uint16_t RightPeak = 0;
    std::uint16_t LeftPeak = 0;
};
using TPeakList = std::vector<TSpeakingPeak>;

// A new memory stream holding all of source from its start; source is rewound
// first and left at its end.
std::unique_ptr<TMemoryStream> CopyAudioStream(TStream& source);


// ---- The controller ------------------------------------------------------------

// IUnknown without reference counting: the owner frees the object explicitly.
class TMyInterfacedObject : public IUnknown {
public:
    TMyInterfacedObject() = default;
    virtual ~TMyInterfacedObject() = default;
    TMyInterfacedObject(const TMyInterfacedObject&) = delete;
    TMyInterfacedObject& operator=(const TMyInterfacedObject&) = delete;

    HRESULT QueryInterface(const TGUID& IID, void** Obj) override;
    std::int32_t _AddRef() override { return 2; }
    std::int32_t _Release() override { return 200; }

protected:
    // The interface pointer for IID, or null when this class does not implement it.
    virtual void* GetInterface(const TGUID& IID);
};

class TAudioMedia final : public TMyInterfacedObject, public IAudioMedia {
public:
    using TNotifyEvent = TMediaNotifyEvent;
    // Makes the mixer that each volume operation opens and closes again.
    using TMixerFactory = std::function<std::unique_ptr<TMixerBackend>()>;

    // Empty audio, empty document (ShowAll on), timer at 200 ms and disabled.
    TAudioMedia();
    // Takes both streams (either may be null): the audio is copied whole from its
    // start, the lyric text loaded from its start; both are freed here.
    TAudioMedia(std::unique_ptr<TMemoryStream> AudioStream, std::unique_ptr<TMemoryStream> LyricStream);
    // Stops playback and the sentence scan, then frees the stream and the bytes.
    ~TAudioMedia() override;

    TAudioMedia(const TAudioMedia&) = delete;
    TAudioMedia& operator=(const TAudioMedia&) = delete;

    // IUnknown (both bases share these).
    HRESULT QueryInterface(const TGUID& IID, void** Obj) override { return TMyInterfacedObject::QueryInterface(IID, Obj); }
    std::int32_t _AddRef() override { return TMyInterfacedObject::_AddRef(); }
    std::int32_t _Release() override { return TMyInterfacedObject::_Release(); }

    // IAudioMedia, in slot order.
    std::int32_t Open() override;
    void Play(std::int32_t Ignored = 0) override;
    void Resume() override;
    void TogglePause() override;
    void Stop() override;
    void Reserved8() override {}
    void RepeatSentence() override;
    void PreviousSentence() override;
    void NextSentence() override;
    void SetPositionMs(std::int32_t Ms) override;
    void ABStep() override;
    void SeekToNinth(std::int32_t N) override;
    bool GetLoop() override { return FLoop; }
    void SetLoop(bool Value) override;
    std::int32_t GetPointA() override { return FPointA; }
    std::int32_t GetPointB() override { return FPointB; }
    std::int32_t LengthMs() override;
    std::int32_t PositionMs() override;
    std::int32_t Reserved21() override { return 0; }
    std::int64_t SegmentMs() override { return LengthMs() / 9; }
    bool GetSentenceRepeat() override { return FSentenceRepeat; }
    void SetSentenceRepeat(bool Value) override;
    TMediaState State() override;
    std::uint8_t GetABState() override { return FABState; }
    TNotifyEvent GetOnUpdate() override { return FOnUpdate; }
    std::string CurrentText() override;
    float GetVolume() override;
    void SetVolume(float V) override;
    void SetOnUpdate(TNotifyEvent Event) override { FOnUpdate = std::move(Event); }
    std::int32_t GetRate() override;
    void SetRateStep(std::int32_t N) override;
    std::int32_t GetRateStep() override { return 10; }
    void Reserved35(std::int32_t) override {}
    bool IsTextShown(bool Whole) override;
    void SetTextShown(bool Whole, bool Shown) override;
    std::int32_t Reserved38() override { return 0; }
    bool ExportClip(TStream* AudioOut, TStream* LyricOut, TLRCInfo Info, TChooseClipEvent Choose) override;

    // Not in the interface.
    std::int32_t PositionBytes();
    void SetPositionBytes(std::int64_t Bytes);
    // One tick of the repeat rules, then OnUpdate. The timer calls it; public so
    // that a caller driving time by hand can too.
    void TimerTick();

    // The lyric document (read-only use; the scan may be appending to it).
    const TLyricHandle& Lyric() const { return *FLyric; }
    // The playback stream (0 before Open or when the bytes are not audio).
    HSTREAM Channel() const { return FChannel; }
    // Whether a sentence scan was started and has not finished yet.
    bool Scanning() const;
    // Replaces the system mixer used by GetVolume/SetVolume (tests hand in a fake).
    void SetMixerFactory(TMixerFactory Factory) { FMixerFactory = std::move(Factory); }

    // Waveform: one peak pair per column over the whole stream, which is freed here;
    // bytesPerColumn receives the decoded bytes one column stands for (0 when the
    // bytes are not audio). Any thread; needs no controller.
    static TPeakList BuildPeakList(std::unique_ptr<TMemoryStream> stream, int columns, std::int32_t& bytesPerColumn);
    // BuildPeakList, then paints the peaks into bitmap.
    static void DrawPeaks(std::unique_ptr<TMemoryStream> stream, int columns, QImage& bitmap, std::int32_t& bytesPerColumn);

protected:
    void* GetInterface(const TGUID& IID) override;

private:
    // The loop check of a seek to Ms: leaving [A, B] switches the A-B loop off.
    void CheckLoopFor(std::int64_t ms);
    void StartSentenceScan();
    void StopSentenceScan();
    std::unique_ptr<TAUDIODevice> MasterLine();

    // GUI thread only, except FLyric, which the scan appends to (it locks itself).
    std::unique_ptr<TTavreloTimer> FTimer;
    TNotifyEvent FOnUpdate;
    bool FOpened = false;
    HSTREAM FChannel = 0;
    bool FSentenceRepeat = false;
    bool FLoop = false;
    std::uint8_t FABState = 0;
    std::int32_t FPointA = 0;
    std::int32_t FPointB = 0;
    std::int32_t FRepeatAnchor = 0;
    std::unique_ptr<TLyricHandle> FLyric;
    std::unique_ptr<TMemoryStream> FAudio;
    std::unique_ptr<TMemoryStream> FScanAudio;
    const bool FAutoScan = true;  // the scan is always allowed
    TMixerFactory FMixerFactory;
    // Declared last so it is destroyed first, should the destructor body not have
    // stopped it already: the scan writes FLyric.
    std::unique_ptr<TScanThread> FScan;
};
