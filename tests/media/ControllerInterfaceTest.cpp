// IAudioMedia as a COM-style interface: QueryInterface and the constant counts,
// and the slot order, proved by calling every slot by its number through the
// interface pointer and checking what it did.
#include "ControllerFixture.h"

#include <cstring>


namespace controller_test {
namespace {

// The Itanium C++ ABI (GCC, Clang) represents a pointer to a virtual member
// function as 1 + the byte offset of its vtable slot, plus a this-adjustment.
struct TMemberPointerRep {
    std::uintptr_t Ptr;
    std::ptrdiff_t Adj;
};

// A member pointer that calls whatever sits in vtable slot n.
template <typename F>
F Slot(std::size_t n)
{
    static_assert(sizeof(F) == sizeof(TMemberPointerRep));
    const TMemberPointerRep rep{1 + n * sizeof(void*), 0};
    F member;
    std::memcpy(&member, &rep, sizeof member);
    return member;
}

using I = IAudioMedia;

TEST_F(ControllerTest, QueryInterfaceGivesTheInterfacesByGuidAndCountsNothing)
{
    TAudioMedia media;
    void* found = nullptr;
    EXPECT_EQ(media.QueryInterface(IID_IAudioMedia, &found), S_OK);
    EXPECT_EQ(found, static_cast<void*>(static_cast<IAudioMedia*>(&media)));
    EXPECT_EQ(media.QueryInterface(IID_IUnknown, &found), S_OK);
    EXPECT_NE(found, nullptr);

    TGUID other = IID_IAudioMedia;
    other.D4[7] ^= 1;  // one byte off
    found = &media;
    EXPECT_EQ(media.QueryInterface(other, &found), E_NOINTERFACE);
    EXPECT_EQ(found, nullptr);
    EXPECT_EQ(E_NOINTERFACE, static_cast<HRESULT>(0x80004002u));
    EXPECT_EQ(media.QueryInterface(IID_IAudioMedia, nullptr), E_NOINTERFACE);

    // Through the interface, as a client sees it.
    ASSERT_EQ(media.QueryInterface(IID_IAudioMedia, &found), S_OK);
    auto* intf = static_cast<IAudioMedia*>(found);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(intf->_AddRef(), 2);
        EXPECT_EQ(intf->_Release(), 200);
    }
    void* again = nullptr;
    EXPECT_EQ(intf->QueryInterface(IID_IAudioMedia, &again), S_OK);
    EXPECT_EQ(again, found);
}

TEST_F(ControllerTest, EverySlotCalledByNumberDoesItsOperation)
{
    FMedia = std::make_unique<TAudioMedia>(StreamOf(Tone(10)), StreamOf(kThreeLines));
    TAudioMedia& media = *FMedia;
    std::uint32_t mixerVolume = 0;
    struct Session final : TMixerSession {
        std::uint32_t& Volume;
        explicit Session(std::uint32_t& v) : Volume(v) {}
        bool FindLine(TLineType Type) override { return Type == ltMaster; }
        std::string LineName() override { return "Master"; }
        bool HasControl(TMixerControlKind) override { return true; }
        bool SetValue(TMixerControlKind, std::uint16_t Value) override { return (Volume = Value), true; }
        std::optional<std::uint32_t> GetValue(TMixerControlKind) override { return Volume; }
    };
    struct Backend final : TMixerBackend {
        std::uint32_t& Volume;
        explicit Backend(std::uint32_t& v) : Volume(v) {}
        std::unique_ptr<TMixerSession> Open() override { return std::make_unique<Session>(Volume); }
    };
    media.SetMixerFactory([&] { return std::make_unique<Backend>(mixerVolume); });

    void* found = nullptr;
    ASSERT_EQ(media.QueryInterface(IID_IAudioMedia, &found), S_OK);
    I* intf = static_cast<I*>(found);

    void* viaSlot = nullptr;
    EXPECT_EQ((intf->*Slot<HRESULT (I::*)(const TGUID&, void**)>(0))(IID_IAudioMedia, &viaSlot), S_OK);
    EXPECT_EQ(viaSlot, found);
    EXPECT_EQ((intf->*Slot<std::int32_t (I::*)()>(1))(), 2);
    EXPECT_EQ((intf->*Slot<std::int32_t (I::*)()>(2))(), 200);

    EXPECT_EQ((intf->*Slot<std::int32_t (I::*)()>(3))(), 0);  // Open
    EXPECT_NE(media.Channel(), 0u);
    (intf->*Slot<void (I::*)(std::int32_t)>(4))(12345);  // Play
    EXPECT_EQ(media.State(), msPlaying);
    Advance(1000);
    EXPECT_EQ((intf->*Slot<std::int32_t (I::*)()>(20))(), 1000);  // PositionMs
    EXPECT_EQ((intf->*Slot<std::int32_t (I::*)()>(19))(), 10000);  // LengthMs
    EXPECT_EQ((intf->*Slot<std::int64_t (I::*)()>(22))(), 1111);  // SegmentMs
    EXPECT_EQ((intf->*Slot<TMediaState (I::*)()>(25))(), msPlaying);  // State

    (intf->*Slot<void (I::*)()>(13))();  // ABStep: A
    EXPECT_EQ((intf->*Slot<std::uint8_t (I::*)()>(26))(), 1);  // GetABState
    EXPECT_EQ((intf->*Slot<std::int32_t (I::*)()>(17))(), 1000);  // GetPointA
    Advance(500);
    (intf->*Slot<void (I::*)()>(13))();  // ABStep: B
    EXPECT_EQ((intf->*Slot<std::int32_t (I::*)()>(18))(), 1500);  // GetPointB
    (intf->*Slot<void (I::*)()>(13))();  // ABStep: off
    EXPECT_EQ(media.GetABState(), 0);

    (intf->*Slot<void (I::*)()>(6))();  // TogglePause
    EXPECT_EQ(media.State(), msPaused);
    (intf->*Slot<void (I::*)()>(5))();  // Resume
    EXPECT_EQ(media.State(), msPlaying);
    (intf->*Slot<void (I::*)()>(6))();
    (intf->*Slot<void (I::*)()>(8))();  // no effect
    (intf->*Slot<void (I::*)(std::int32_t)>(35))(7);  // no effect
    EXPECT_EQ(media.State(), msPaused);
    EXPECT_EQ(media.PositionMs(), 1500);
    EXPECT_EQ((intf->*Slot<std::int32_t (I::*)()>(21))(), 0);
    EXPECT_EQ((intf->*Slot<std::int32_t (I::*)()>(38))(), 0);

    (intf->*Slot<void (I::*)(std::int32_t)>(12))(3500);  // SetPositionMs
    EXPECT_EQ(media.PositionMs(), 3500);
    EXPECT_EQ((intf->*Slot<std::string (I::*)()>(28))(), "two");  // CurrentText
    (intf->*Slot<void (I::*)()>(9))();  // RepeatSentence
    EXPECT_EQ(media.PositionMs(), 3000);
    (intf->*Slot<void (I::*)()>(11))();  // NextSentence
    EXPECT_EQ(media.PositionMs(), 5000);
    (intf->*Slot<void (I::*)()>(10))();  // PreviousSentence
    EXPECT_EQ(media.PositionMs(), 3000);
    (intf->*Slot<void (I::*)(std::int32_t)>(14))(10);  // SeekToNinth
    EXPECT_EQ(media.PositionMs(), 10000);
    media.SetPositionMs(3500);

    (intf->*Slot<void (I::*)(bool)>(16))(true);  // SetLoop
    EXPECT_TRUE((intf->*Slot<bool (I::*)()>(15))());  // GetLoop
    (intf->*Slot<void (I::*)(bool)>(24))(true);  // SetSentenceRepeat
    EXPECT_TRUE((intf->*Slot<bool (I::*)()>(23))());  // GetSentenceRepeat

    int updates = 0;
    (intf->*Slot<void (I::*)(TMediaNotifyEvent)>(31))([&](TAudioMedia*) { ++updates; });  // SetOnUpdate
    const TMediaNotifyEvent event = (intf->*Slot<TMediaNotifyEvent (I::*)()>(27))();  // GetOnUpdate
    ASSERT_TRUE(static_cast<bool>(event));
    event(&media);
    EXPECT_EQ(updates, 1);

    (intf->*Slot<void (I::*)(float)>(30))(1.0f);  // SetVolume
    EXPECT_EQ(mixerVolume, 65535u);
    mixerVolume = 0;
    EXPECT_FLOAT_EQ((intf->*Slot<float (I::*)()>(29))(), 0.0f);  // GetVolume

    EXPECT_EQ((intf->*Slot<std::int32_t (I::*)()>(32))(), 44100);  // GetRate
    (intf->*Slot<void (I::*)(std::int32_t)>(33))(9);  // SetRateStep
    EXPECT_EQ(media.GetRate(), 42900);
    EXPECT_EQ((intf->*Slot<std::int32_t (I::*)()>(34))(), 10);  // GetRateStep

    EXPECT_TRUE((intf->*Slot<bool (I::*)(bool)>(36))(false));  // IsTextShown
    (intf->*Slot<void (I::*)(bool, bool)>(37))(false, false);  // SetTextShown
    EXPECT_FALSE(media.IsTextShown(false));

    TMemoryStream audioOut;
    TMemoryStream lyricOut;
    const auto exportClip = Slot<bool (I::*)(TStream*, TStream*, TLRCInfo, TChooseClipEvent)>(39);
    EXPECT_FALSE((intf->*exportClip)(nullptr, &lyricOut, TLRCInfo{}, {}));
    EXPECT_TRUE((intf->*exportClip)(&audioOut, &lyricOut, TLRCInfo{}, {}));
    EXPECT_EQ(audioOut.Bytes().substr(0, 4), "RIFF");

    (intf->*Slot<void (I::*)()>(7))();  // Stop
    EXPECT_EQ(media.State(), msStopped);
}

}  // namespace
}  // namespace controller_test
