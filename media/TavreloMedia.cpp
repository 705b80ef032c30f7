// TAudioMedia: see TavreloMedia.h. Every member function here runs on the GUI
// thread; only the sentence scan (TScanThread) runs beside it, writing to the
// lyric document, which takes its own lock.
#include "TavreloMedia.h"

#include "DecodeHandle.h"

#include <cmath>
#include <limits>
#include <utility>


namespace {

constexpr std::int32_t TimerIntervalMs = 200;
// A loop or repeat jumps back this long before its end, so that the end itself
// is not heard once the 200 ms tick has come round.
constexpr std::int64_t JumpLeadMs = 200;
// LineEndAt's answer when no line holds the time.
constexpr std::int32_t NoLineEnd = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t BaseRate = 44100;
constexpr std::int32_t RateStepHz = 1200;
constexpr std::int32_t NeutralRateStep = 10;

std::int32_t ClampToInt32(std::int64_t value)
{
    if (value > std::numeric_limits<std::int32_t>::max())
        return std::numeric_limits<std::int32_t>::max();
    if (value < std::numeric_limits<std::int32_t>::min())
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(value);
}

// Seconds times 1000, truncated toward zero. A failed reading of the library
// (negative bytes or seconds) counts as 0 rather than as a negative time.
std::int32_t BytesToMs(HSTREAM channel, QWORD bytes)
{
    if (bytes < 0)
        return 0;
    const double seconds = BASS_ChannelBytes2Seconds(channel, bytes);
    if (!(seconds >= 0))
        return 0;
    const double ms = std::trunc(seconds * 1000.0);
    if (ms >= static_cast<double>(std::numeric_limits<std::int32_t>::max()))
        return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(ms);
}


}  // namespace


// ---- TMyInterfacedObject ------------------------------------------------------

HRESULT TMyInterfacedObject::QueryInterface(const TGUID& IID, void** Obj)
{
    if (Obj == nullptr)
        return E_NOINTERFACE;
    *Obj = GetInterface(IID);
    return *Obj != nullptr ? S_OK : E_NOINTERFACE;
}

void* TMyInterfacedObject::GetInterface(const TGUID& IID)
{
    if (IID == IID_IUnknown)
        return static_cast<IUnknown*>(this);
    return nullptr;
}


// ---- TAudioMedia: construction and destruction ----------------------------------

TAudioMedia::TAudioMedia()
    : FTimer(std::make_unique<TTavreloTimer>()),
      FLyric(std::make_unique<TLyricHandle>()),
      FAudio(std::make_unique<TMemoryStream>()),
      FScanAudio(std::make_unique<TMemoryStream>())
{
    // Disabled first, so that setting the handler cannot start a tick.
    FTimer->SetEnabled(false);
    FTimer->SetOnTimer([this](TTavreloTimer*) { TimerTick(); });
    FTimer->SetInterval(TimerIntervalMs);
}

TAudioMedia::TAudioMedia(std::unique_ptr<TMemoryStream> AudioStream, std::unique_ptr<TMemoryStream> LyricStream)
    : TAudioMedia()
{
    if (AudioStream) {
        AudioStream->SetPosition(0);
        FAudio->CopyFrom(*AudioStream, 0);
    }
    if (LyricStream) {
        LyricStream->SetPosition(0);
        FLyric->LoadFromStream(*LyricStream);
    }
    // Both streams are freed on leaving, as their new owner.
}

TAudioMedia::~TAudioMedia()
{
    FTimer->SetEnabled(false);
    // The scan writes FLyric: it must be joined before anything is freed.
    StopSentenceScan();
    Stop();
    if (FChannel != 0) {
        // A failure leaves nothing for us to free.
        static_cast<void>(BASS_StreamFree(FChannel));
        FChannel = 0;
    }
}

void* TAudioMedia::GetInterface(const TGUID& IID)
{
    if (IID == IID_IAudioMedia)
        return static_cast<IAudioMedia*>(this);
    if (IID == IID_IUnknown)
        return static_cast<IUnknown*>(static_cast<TMyInterfacedObject*>(this));
    return nullptr;
}


// ---- Opening and the sentence scan --------------------------------------------

std::int32_t TAudioMedia::Open()
{
    if (FAudio->Size() == 0 || FOpened)
        return 0;
    FOpened = true;
    // 0 when no decoder accepts the bytes: the controller then counts as opened
    // without a stream, and every reading gives its stopped result.
    FChannel = BASS_StreamCreateFile(TRUE, FAudio->Memory(), 0, FAudio->Size(), 0);
    if (!FLyric->HasLines() && FAutoScan) {
        try {
            StartSentenceScan();
        } catch (const std::exception&) {
            // The playback stream stays usable; only the sentences are lost.
            StopSentenceScan();
            FLyric->Clear();
        }
    }
    return 0;
}

void TAudioMedia::StartSentenceScan()
{
    StopSentenceScan();
    FScanAudio->Clear();
    FScanAudio->CopyFrom(*FAudio, 0);
    const std::int32_t length = LengthMs();
    const QWORD block = BASS_ChannelSeconds2Bytes(FChannel, 0.02);
    // Without a playback stream there is no block size and nothing to navigate.
    if (block <= 0 || block > std::numeric_limits<DWORD>::max())
        return;

    const void* bytes = FScanAudio->Memory();
    const QWORD size = FScanAudio->Size();
    TDecodeHandle stream(BASS_StreamCreateFile(TRUE, bytes, 0, size, BASS_STREAM_DECODE), false);
    // Module files are not streams; the music decoder may take them.
    const bool tryMusic = stream.Get() == 0 && size <= std::numeric_limits<DWORD>::max();
    TDecodeHandle music(
        tryMusic ? BASS_MusicLoad(TRUE, bytes, 0, static_cast<DWORD>(size), BASS_MUSIC_DECODE, 0) : 0, true);
    TDecodeHandle& decode = stream.Get() != 0 ? stream : music;
    if (decode.Get() == 0)
        return;

    // The audio layer keeps its own copy of the bytes: ours is not needed any more.
    FScanAudio->Clear();
    FScan = std::make_unique<TScanThread>(decode.Get(), length, *FLyric, static_cast<DWORD>(block));
    // The thread frees the handle from here on.
    decode.Release();
    FScan->Start();
}

void TAudioMedia::StopSentenceScan()
{
    // The scan's destructor asks it to stop and joins it.
    FScan.reset();
}

bool TAudioMedia::Scanning() const
{
    return FScan && !FScan->Finished();
}


// ---- Transport ------------------------------------------------------------------
// A failing library call here leaves the channel as it was; the controller keeps
// no state of its own about playing, so there is nothing to undo.

void TAudioMedia::Play(std::int32_t)
{
    if (!FOpened)
        return;
    static_cast<void>(BASS_ChannelPlay(FChannel, TRUE));
    FTimer->SetEnabled(true);
}

void TAudioMedia::Resume()
{
    if (!FOpened)
        return;
    static_cast<void>(BASS_ChannelPlay(FChannel, FALSE));
    FTimer->SetEnabled(true);
}

void TAudioMedia::TogglePause()
{
    if (!FOpened)
        return;
    switch (State()) {
    case msPlaying:
        static_cast<void>(BASS_ChannelPause(FChannel));
        break;
    case msPaused:
        static_cast<void>(BASS_ChannelPlay(FChannel, FALSE));
        break;
    case msStopped:
        break;
    }
}

void TAudioMedia::Stop()
{
    if (!FOpened)
        return;
    static_cast<void>(BASS_ChannelStop(FChannel));
    FTimer->SetEnabled(false);
}


// ---- Readings -------------------------------------------------------------------

TMediaState TAudioMedia::State()
{
    if (FChannel == 0 || !FOpened)
        return msStopped;
    switch (BASS_ChannelIsActive(FChannel)) {
    case BASS_ACTIVE_PLAYING:
        return msPlaying;
    case BASS_ACTIVE_PAUSED:
        return msPaused;
    default:
        return msStopped;
    }
}

std::int32_t TAudioMedia::LengthMs()
{
    if (!FOpened)
        return 0;
    return BytesToMs(FChannel, BASS_ChannelGetLength(FChannel, BASS_POS_BYTE));
}

std::int32_t TAudioMedia::PositionMs()
{
    if (!FOpened || State() == msStopped)
        return 0;
    return BytesToMs(FChannel, BASS_ChannelGetPosition(FChannel, BASS_POS_BYTE));
}

std::int32_t TAudioMedia::PositionBytes()
{
    if (!FOpened)
        return 0;
    // A failed reading is 0 rather than -1, and files past 2 GiB of decoded
    // audio stay at the largest 32-bit value instead of wrapping negative.
    const QWORD position = BASS_ChannelGetPosition(FChannel, BASS_POS_BYTE);
    return position < 0 ? 0 : ClampToInt32(position);
}

std::string TAudioMedia::CurrentText()
{
    return FLyric->LineTextAt(PositionMs());
}


// ---- Seeking --------------------------------------------------------------------

void TAudioMedia::SetPositionBytes(std::int64_t Bytes)
{
    if (!FOpened)
        return;
    // Refused (beyond the end, no stream): the position stays where it was.
    static_cast<void>(BASS_ChannelSetPosition(FChannel, Bytes, BASS_POS_BYTE));
}

void TAudioMedia::CheckLoopFor(std::int64_t ms)
{
    if (FABState != 0 && ms < FPointA)
        FABState = 0;
    if (FABState == 2 && ms > FPointB)
        FABState = 0;
}

void TAudioMedia::SetPositionMs(std::int32_t Ms)
{
    if (!FOpened || State() == msStopped || Ms < 0 || Ms > LengthMs())
        return;
    CheckLoopFor(Ms);
    if (FSentenceRepeat && (Ms < FLyric->LineStartAt(FRepeatAnchor) || Ms > FLyric->LineEndAt(FRepeatAnchor)))
        FSentenceRepeat = false;
    const QWORD bytes = BASS_ChannelSeconds2Bytes(FChannel, Ms / 1000.0);
    if (bytes >= 0)
        static_cast<void>(BASS_ChannelSetPosition(FChannel, bytes, BASS_POS_BYTE));
}

void TAudioMedia::SeekToNinth(std::int32_t N)
{
    // Double arithmetic: no overflow for any N; nearbyint rounds half to even.
    const double target = std::nearbyint(static_cast<double>(LengthMs()) * (static_cast<double>(N) - 1.0) / 9.0);
    if (!(target >= 0 && target <= static_cast<double>(std::numeric_limits<std::int32_t>::max())))
        return;
    SetPositionMs(static_cast<std::int32_t>(target));
}


// ---- Sentence navigation -----------------------------------------------------

void TAudioMedia::RepeatSentence()
{
    if (!FOpened || !FLyric->HasLines())
        return;
    const std::int32_t target = FLyric->LineStartAt(PositionMs());
    CheckLoopFor(target);
    SetPositionMs(target);
}

void TAudioMedia::NextSentence()
{
    if (!FOpened || !FLyric->HasLines())
        return;
    const std::int32_t end = FLyric->LineEndAt(PositionMs());
    if (end == NoLineEnd) {
        // No line holds the position: the target lies before every point.
        FABState = 0;
        return;
    }
    const std::int64_t target = static_cast<std::int64_t>(end) + 1;
    CheckLoopFor(target);
    SetPositionMs(ClampToInt32(target));
}

void TAudioMedia::PreviousSentence()
{
    if (!FOpened || !FLyric->HasLines())
        return;
    const std::int64_t start = FLyric->LineStartAt(PositionMs());
    const std::int32_t target = FLyric->LineStartAt(ClampToInt32(start - 1));
    CheckLoopFor(target);
    SetPositionMs(target);
}


// ---- Repeat modes -------------------------------------------------------------

void TAudioMedia::ABStep()
{
    if (!FOpened || State() != msPlaying)
        return;
    switch (FABState) {
    case 0:
        FABState = 1;
        FPointA = PositionMs();
        FSentenceRepeat = false;
        break;
    case 1:
        FABState = 2;
        FPointB = PositionMs();
        break;
    default:
        FABState = 0;
        FPointA = 0;
        FPointB = 0;
        break;
    }
}

void TAudioMedia::SetSentenceRepeat(bool Value)
{
    if (!FOpened || State() == msStopped)
        return;
    FSentenceRepeat = Value;
    if (!Value)
        return;
    FRepeatAnchor = PositionMs();
    // The sentence must lie inside the A-B section, or the loop gives way.
    if (FABState != 0 && FLyric->LineStartAt(FRepeatAnchor) < FPointA)
        FABState = 0;
    if (FABState == 2 && FLyric->LineEndAt(FRepeatAnchor) > FPointB)
        FABState = 0;
}

void TAudioMedia::SetLoop(bool Value)
{
    FLoop = Value;
    // Without a stream the call fails harmlessly; FLoop is applied by the next
    // SetLoop after Open.
    static_cast<void>(BASS_ChannelFlags(FChannel, Value && FOpened ? BASS_SAMPLE_LOOP : 0, BASS_SAMPLE_LOOP));
}


// ---- Rate, volume and text visibility ---------------------------------------

std::int32_t TAudioMedia::GetRate()
{
    if (!FOpened)
        return BaseRate;
    float rate = 0;
    if (!BASS_ChannelGetAttribute(FChannel, BASS_ATTRIB_FREQ, &rate))
        return 0;  // no stream, so no rate
    return static_cast<std::int32_t>(rate);
}

void TAudioMedia::SetRateStep(std::int32_t N)
{
    if (!FOpened)
        return;
    const std::int64_t rate = (static_cast<std::int64_t>(N) - NeutralRateStep) * RateStepHz + BaseRate;
    // A rate the library refuses leaves the current one.
    static_cast<void>(BASS_ChannelSetAttribute(FChannel, BASS_ATTRIB_FREQ, static_cast<float>(rate)));
}

std::unique_ptr<TAUDIODevice> TAudioMedia::MasterLine()
{
    auto device = std::make_unique<TAUDIODevice>(FMixerFactory ? FMixerFactory() : MakeAlsaMixerBackend());
    device->SetLineType(ltMaster);
    return device;
}

float TAudioMedia::GetVolume()
{
    return static_cast<float>(MasterLine()->ReadVolume() / 65535.0);
}

void TAudioMedia::SetVolume(float V)
{
    // Written so that NaN is refused too.
    if (!(V >= 0.0f && V <= 1.0f))
        return;
    const auto value = static_cast<std::uint16_t>(std::nearbyint(static_cast<double>(V) * 65535.0));
    MasterLine()->WriteVolume(value);
}

bool TAudioMedia::IsTextShown(bool Whole)
{
    if (!FOpened || State() == msStopped)
        return true;
    return Whole ? FLyric->ShowAll() : FLyric->IsLineShownAt(PositionMs());
}

void TAudioMedia::SetTextShown(bool Whole, bool Shown)
{
    if (!FOpened || State() == msStopped)
        return;
    if (Whole)
        FLyric->SetShowAll(Shown);
    else
        FLyric->SetLineShownAt(PositionMs(), Shown);
}


// ---- The tick -----------------------------------------------------------------

void TAudioMedia::TimerTick()
{
    if (FABState == 2 && PositionMs() >= FPointB - JumpLeadMs)
        SetPositionMs(FPointA);
    if (FSentenceRepeat && FLyric->HasLines() && PositionMs() >= FLyric->LineEndAt(FRepeatAnchor) - JumpLeadMs)
        SetPositionMs(FLyric->LineStartAt(FRepeatAnchor));
    if (FOnUpdate) {
        // A copy: the handler may replace the event while it runs.
        const TNotifyEvent handler = FOnUpdate;
        handler(this);
    }
}


// ---- Clip export ----------------------------------------------------------------

bool TAudioMedia::ExportClip(TStream* AudioOut, TStream* LyricOut, TLRCInfo Info, TChooseClipEvent Choose)
{
    if (AudioOut == nullptr || LyricOut == nullptr || State() == msStopped || !FLyric->HasLines())
        return false;

    std::int32_t choice = 1;
    if (FABState == 2) {
        // Left paused: the user is choosing, and may want to listen from here.
        static_cast<void>(BASS_ChannelPause(FChannel));
        TClipChoice chooser;
        if (Choose)
            Choose(chooser);
        choice = chooser.Tag;
    }

    std::int32_t start = 0;
    std::int32_t end = 0;
    std::int32_t lyricEnd = 0;
    if (choice == 1) {
        const std::int32_t position = PositionMs();
        // Where no line holds the position the span is [0, 2147483647]: the clip
        // runs to the end of the file.
        end = FLyric->LineEndAt(position);
        start = FLyric->LineStartAt(position);
        lyricEnd = end - 1;
    } else if (choice == 2) {
        // A byte seek can put B before A; an empty clip would be reported as a
        // success, so nothing is written and the answer is false.
        if (FPointB <= FPointA)
            return false;
        start = FPointA;
        end = FPointB;
        lyricEnd = FPointB;
    } else {
        return false;
    }

    // Both images are made before either output is touched, so a failure in
    // either (kkk.lrc cannot be written) leaves the caller's streams as they were
    // instead of handing over a WAV without its lyrics.
    const std::unique_ptr<TMemoryStream> wav = BuildWavClip(FAudio.get(), start, end);
    const std::unique_ptr<TMemoryStream> lrc = FLyric->ExtractSegment(start, lyricEnd, Info);
    if (!wav || !lrc)
        return false;
    AudioOut->CopyFrom(*wav, 0);
    LyricOut->CopyFrom(*lrc, 0);
    return true;
}
