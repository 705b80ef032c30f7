// TfrSpeedButton in the offscreen platform: properties, painted looks, mouse
// tracking, groups, flat hot tracking, accelerators.
#include "ButtonFixture.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QShortcutEvent>

namespace {

const QColor White(255, 255, 255);
const QColor Grey(128, 128, 128);

// Bounding box of pixels darker than Limit inside Area.
QRect InkBox(const QImage& I, const QRect& Area, int Limit = 100) {
    QRect Box;
    for (int Y = Area.top(); Y <= Area.bottom(); ++Y)
        for (int X = Area.left(); X <= Area.right(); ++X)
            if (QColor(I.pixel(X, Y)).lightness() < Limit) Box |= QRect(X, Y, 1, 1);
    return Box;
}

int CountColour(const QImage& I, const QColor& C) {
    int N = 0;
    for (int Y = 0; Y < I.height(); ++Y)
        for (int X = 0; X < I.width(); ++X)
            if (QColor(I.pixel(X, Y)) == C) ++N;
    return N;
}

struct Counter {
    int Clicks = 0, DblClicks = 0, Enters = 0, Leaves = 0;
    void Attach(TfrSpeedButton* B) {
        B->OnClick = [this](QObject*) { ++Clicks; };
        B->OnDblClick = [this](QObject*) { ++DblClicks; };
        B->OnMouseEnter = [this](QObject*) { ++Enters; };
        B->OnMouseLeave = [this](QObject*) { ++Leaves; };
    }
};

void Click(TfrSpeedButton* B, QPoint At = QPoint(5, 5)) {
    QTest::mousePress(B, Qt::LeftButton, {}, At);
    QTest::mouseRelease(B, Qt::LeftButton, {}, At);
}

// ---------------------------------------------------------------------------
using SpeedButtonProperties = ButtonFixture;

TEST_F(SpeedButtonProperties, DefaultsAtCreation) {
    auto* B = Make(0, 0);
    auto* Fresh = new TfrSpeedButton(Form.get());
    EXPECT_EQ(Fresh->geometry(), QRect(0, 0, 22, 22));
    EXPECT_FALSE(B->AllowAllUp());
    EXPECT_EQ(B->GroupIndex(), 0);
    EXPECT_FALSE(B->Down());
    EXPECT_FALSE(B->Flat());
    EXPECT_TRUE(B->Caption().isEmpty());
    EXPECT_TRUE(B->isEnabled());
    EXPECT_TRUE(B->GrayedInactive());
    EXPECT_EQ(B->Layout(), blGlyphLeft);
    EXPECT_EQ(B->Margin(), -1);
    EXPECT_EQ(B->NumGlyphs(), 1);
    EXPECT_EQ(B->Spacing(), 4);
    EXPECT_EQ(B->Color(), Face());
    EXPECT_EQ(B->State(), bsUp);
    EXPECT_EQ(B->focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(B->font(), Form->font()) << "the parent's font is used";
    EXPECT_GE(TfrSpeedButton::LiveButtons(), 2);
}

TEST_F(SpeedButtonProperties, OutOfRangeValuesAreAbsorbed) {
    auto* B = Make(0, 0);
    B->SetMargin(3);
    B->SetMargin(-2);
    EXPECT_EQ(B->Margin(), 3) << "a margin below -1 is ignored";
    B->SetMargin(-1);
    EXPECT_EQ(B->Margin(), -1);
    B->SetNumGlyphs(9);
    EXPECT_EQ(B->NumGlyphs(), 4);
    B->SetNumGlyphs(0);
    EXPECT_EQ(B->NumGlyphs(), 4);
    B->SetNumGlyphs(-3);
    EXPECT_EQ(B->NumGlyphs(), 4);
    B->SetNumGlyphs(2);
    EXPECT_EQ(B->NumGlyphs(), 2);
}

// ---------------------------------------------------------------------------
using SpeedButtonLooks = ButtonFixture;

TEST_F(SpeedButtonLooks, InsertLabelCaptionIsCentredAndShiftsWhilePressed) {
    QFont F("SimSun");
    F.setPixelSize(15);
    F.setStyleStrategy(QFont::NoAntialias);
    Form->setFont(F);
    auto* B = Make(10, 10, 121, 25);
    B->SetCaption(QStringLiteral("插入标签(F2)"));
    Show();

    const QSize T = QFontMetrics(B->font()).size(Qt::TextShowMnemonic, B->Caption());
    const QImage Up = Grab(B);
    const TRect Expected{1 + (118 - T.width() + 1) / 2, 1 + (22 - T.height() + 1) / 2, 0, 0};
    EXPECT_EQ(B->LastTextBounds().Left, Expected.Left);
    EXPECT_EQ(B->LastTextBounds().Top, Expected.Top);
    EXPECT_EQ(B->LastTextBounds().Width(), T.width());

    QTest::mousePress(B, Qt::LeftButton, {}, QPoint(60, 12));
    ASSERT_EQ(B->State(), bsDown);
    const QImage Pressed = Grab(B);
    EXPECT_EQ(B->LastTextBounds().Left, Expected.Left + 1);
    EXPECT_EQ(B->LastTextBounds().Top, Expected.Top + 1);
    QTest::mouseRelease(B, Qt::LeftButton, {}, QPoint(60, 12));

    // The ink itself: centred, and moved by exactly one pixel each way.
    const QRect Inner(3, 3, 121 - 6, 25 - 6);
    const QRect InkUp = InkBox(Up, Inner), InkDown = InkBox(Pressed, Inner);
    ASSERT_FALSE(InkUp.isEmpty()) << "the caption was drawn";
    EXPECT_EQ(InkDown, InkUp.translated(1, 1));
    EXPECT_NEAR(InkUp.center().x(), 60, 4);
    EXPECT_NEAR(InkUp.center().y(), 12, 4);
}

TEST_F(SpeedButtonLooks, RaisedSunkenAndPatternedFaces) {
    auto* Plain = Make(10, 10, 40, 24);
    auto* Held = Make(60, 10, 40, 24);
    Held->SetGroupIndex(1);
    Held->SetDown(true);
    Show();

    const QImage R = Grab(Plain);
    EXPECT_EQ(At(R, 0, 0), Highlight());
    EXPECT_EQ(At(R, 38, 0), Highlight());
    EXPECT_EQ(At(R, 39, 0), DkShadow()) << "outer right edge";
    EXPECT_EQ(At(R, 0, 23), DkShadow()) << "outer bottom edge";
    EXPECT_EQ(At(R, 39, 23), DkShadow());
    EXPECT_EQ(At(R, 38, 5), Shadow()) << "inner right edge";
    EXPECT_EQ(At(R, 5, 22), Shadow()) << "inner bottom edge";
    EXPECT_EQ(At(R, 1, 1), Face());
    EXPECT_EQ(At(R, 20, 12), Face());
    EXPECT_FALSE(Plain->LastPatternFlag());

    const QImage S = Grab(Held);
    ASSERT_EQ(Held->State(), bsExclusive);
    EXPECT_EQ(At(S, 0, 0), DkShadow());
    EXPECT_EQ(At(S, 0, 10), DkShadow());
    EXPECT_EQ(At(S, 1, 1), Shadow());
    EXPECT_EQ(At(S, 39, 23), Highlight());
    EXPECT_EQ(At(S, 0, 23), Highlight()) << "the bottom edge is drawn after the left one";
    EXPECT_TRUE(Held->LastPatternFlag());
    // The checker: white where x and y are both even or both odd.
    EXPECT_EQ(At(S, 2, 2), White);
    EXPECT_EQ(At(S, 3, 2), Face());
    EXPECT_EQ(At(S, 3, 3), White);
    EXPECT_EQ(At(S, 38, 22), White);
    EXPECT_EQ(At(S, 39, 22), Highlight()) << "the pattern stays inside the edges";

    // Pressed but not held: sunken without the pattern.
    QTest::mousePress(Plain, Qt::LeftButton, {}, QPoint(5, 5));
    const QImage D = Grab(Plain);
    EXPECT_EQ(At(D, 0, 0), DkShadow());
    EXPECT_EQ(At(D, 2, 2), Face());
    EXPECT_FALSE(Plain->LastPatternFlag());
    QTest::mouseRelease(Plain, Qt::LeftButton, {}, QPoint(5, 5));
}

TEST_F(SpeedButtonLooks, FlatFaceFrameOnlyWhenHotOrHeld) {
    auto* B = Make(10, 10, 40, 24);
    B->SetFlat(true);
    const QColor Own(200, 220, 240);
    B->SetColor(Own);
    auto* Other = Make(200, 10, 40, 24);
    Show();

    QImage I = Grab(B);
    EXPECT_EQ(At(I, 0, 0), Own);
    EXPECT_EQ(At(I, 39, 23), Own);
    EXPECT_EQ(At(I, 20, 12), Own);

    QTest::mouseMove(B, QPoint(20, 12));
    ASSERT_TRUE(B->Hot());
    I = Grab(B);
    EXPECT_EQ(At(I, 0, 0), Highlight()) << "raised frame while hot";
    EXPECT_EQ(At(I, 39, 23), Shadow());
    EXPECT_EQ(At(I, 1, 1), Own);

    // Held down in a group while the mouse is away: sunken frame and the pattern.
    B->SetGroupIndex(3);
    B->SetDown(true);
    QTest::mouseMove(Other, QPoint(5, 5));
    ASSERT_FALSE(B->Hot());
    I = Grab(B);
    EXPECT_EQ(At(I, 0, 0), Shadow());
    EXPECT_EQ(At(I, 39, 23), Highlight());
    EXPECT_TRUE(B->LastPatternFlag());
    EXPECT_EQ(At(I, 2, 2), White);
    EXPECT_EQ(At(I, 3, 2), Face()) << "the pattern is made of button face and white";

    // Hot and held: no pattern, sunken frame.
    QTest::mouseMove(B, QPoint(20, 12));
    I = Grab(B);
    EXPECT_FALSE(B->LastPatternFlag());
    EXPECT_EQ(At(I, 0, 0), Shadow());
    EXPECT_EQ(At(I, 3, 2), Own);

    // Disabled: neither frame nor pattern.
    B->setEnabled(false);
    I = Grab(B);
    EXPECT_FALSE(B->LastPatternFlag());
    EXPECT_EQ(At(I, 0, 0), Own);
}

TEST_F(SpeedButtonLooks, DisabledCaptionDrawnTwiceWithoutPattern) {
    auto* B = Make(10, 10, 80, 24);
    B->SetCaption("Save");
    B->SetGroupIndex(1);
    B->SetDown(true);
    B->setEnabled(false);
    Show();

    const QImage I = Grab(B);
    EXPECT_EQ(B->LastCaptionDraws(), 2);
    EXPECT_FALSE(B->LastPatternFlag());
    EXPECT_EQ(B->State(), bsExclusive) << "the stored state survives a disabled paint";
    EXPECT_EQ(At(I, 0, 0), Highlight()) << "painted as a raised, disabled face";

    // White ink one pixel down-right of the grey ink, nothing in the font colour.
    const QRect Inner(2, 2, 76, 20);
    int Grey_ = 0, GreyWithWhiteBelow = 0;
    for (int Y = Inner.top(); Y < Inner.bottom(); ++Y)
        for (int X = Inner.left(); X < Inner.right(); ++X)
            if (At(I, X, Y) == Grey) {
                ++Grey_;
                const QColor Next = At(I, X + 1, Y + 1);
                if (Next == White || Next == Grey) ++GreyWithWhiteBelow;
            }
    EXPECT_GT(Grey_, 10);
    EXPECT_EQ(GreyWithWhiteBelow, Grey_);
    EXPECT_GT(CountColour(I, White) - CountColour(Grab(Make(10, 60, 80, 24)), White), 0);
    EXPECT_EQ(CountColour(I, QColor(Qt::black)), 0);

    // Enabled again: the held look comes back.
    B->setEnabled(true);
    Grab(B);
    EXPECT_TRUE(B->LastPatternFlag());
    EXPECT_EQ(B->LastCaptionDraws(), 1);
}

TEST_F(SpeedButtonLooks, LargeButtonsPaintDirectly) {
    auto* B = Make(10, 10, 150, 120);
    B->SetCaption("Wide");
    Show();
    const QImage I = Grab(B);
    EXPECT_EQ(At(I, 0, 0), Highlight());
    EXPECT_EQ(At(I, 149, 119), DkShadow());
    EXPECT_EQ(At(I, 120, 100), Face());
    EXPECT_FALSE(InkBox(I, QRect(2, 2, 146, 116)).isEmpty());
}

// Run by CTest a second time with QT_SCALE_FACTOR=2.
TEST_F(SpeedButtonLooks, ScaledScreenComposesInDevicePixels) {
    auto* B = Make(10, 10, 80, 24);
    B->SetCaption("Wide");
    Show();
    const qreal Dpr = B->devicePixelRatioF();
    if (Dpr < 2) GTEST_SKIP() << "needs QT_SCALE_FACTOR=2";
    const QImage I = Grab(B);
    ASSERT_EQ(I.size(), QSize(qRound(80 * Dpr), qRound(24 * Dpr)));
    EXPECT_EQ(At(I, 0, 0), Highlight());
    EXPECT_EQ(At(I, I.width() - 1, I.height() - 1), DkShadow());
    // Text drawn at device resolution has strokes finer than a logical pixel:
    // some 2 x 2 block of the caption is not one colour.
    bool Fine = false;
    for (int Y = 4; Y + 1 < I.height() - 4 && !Fine; Y += 2)
        for (int X = 4; X + 1 < I.width() - 4 && !Fine; X += 2) {
            const QRgb P = I.pixel(X, Y);
            Fine = I.pixel(X + 1, Y) != P || I.pixel(X, Y + 1) != P || I.pixel(X + 1, Y + 1) != P;
        }
    EXPECT_TRUE(Fine) << "the caption was upscaled from a logical-pixel bitmap";
}

// ---------------------------------------------------------------------------
using SpeedButtonMouse = ButtonFixture;

TEST_F(SpeedButtonMouse, DragOutAndBackFollowsThePointer) {
    auto* B = Make(20, 20, 40, 24);
    Counter C;
    C.Attach(B);
    Show();

    QTest::mousePress(B, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(B->State(), bsDown);
    EXPECT_TRUE(B->Tracking());
    QTest::mouseMove(B, QPoint(50, 5));
    EXPECT_EQ(B->State(), bsUp);
    QTest::mouseMove(B, QPoint(5, 5));
    EXPECT_EQ(B->State(), bsDown);
    QTest::mouseMove(B, QPoint(5, -1));
    EXPECT_EQ(B->State(), bsUp);
    QTest::mouseRelease(B, Qt::LeftButton, {}, QPoint(5, -1));
    EXPECT_EQ(C.Clicks, 0) << "released outside";
    EXPECT_FALSE(B->Tracking());
    EXPECT_EQ(B->State(), bsUp);
}

TEST_F(SpeedButtonMouse, InsideTestIncludesTheHeightButNotTheWidth) {
    auto* B = Make(20, 20, 40, 24);
    Counter C;
    C.Attach(B);
    Show();

    QTest::mousePress(B, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseMove(B, QPoint(5, 24));
    EXPECT_EQ(B->State(), bsDown) << "y == height is inside";
    QTest::mouseRelease(B, Qt::LeftButton, {}, QPoint(5, 24));
    EXPECT_EQ(C.Clicks, 1);

    QTest::mousePress(B, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseMove(B, QPoint(40, 5));
    EXPECT_EQ(B->State(), bsUp) << "x == width is outside";
    QTest::mouseRelease(B, Qt::LeftButton, {}, QPoint(40, 5));
    EXPECT_EQ(C.Clicks, 1);

    QTest::mousePress(B, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseRelease(B, Qt::LeftButton, {}, QPoint(39, 0));
    EXPECT_EQ(C.Clicks, 2) << "the last column is inside";
}

TEST_F(SpeedButtonMouse, OnlyTheLeftButtonPressesButEveryButtonReportsItsEvents) {
    auto* B = Make(20, 20, 40, 24);
    std::vector<std::string> Log;
    B->OnMouseDown = [&](QObject* S, Qt::MouseButton Btn, Qt::KeyboardModifiers, int X, int Y) {
        EXPECT_EQ(S, B);
        Log.push_back("down " + std::to_string(int(Btn)) + " " + std::to_string(X) + "," + std::to_string(Y));
    };
    B->OnMouseUp = [&](QObject*, Qt::MouseButton Btn, Qt::KeyboardModifiers, int, int) {
        Log.push_back("up " + std::to_string(int(Btn)));
    };
    B->OnMouseMove = [&](QObject*, Qt::KeyboardModifiers, int X, int) { Log.push_back("move " + std::to_string(X)); };
    Counter C;
    C.Attach(B);
    Show();

    QTest::mousePress(B, Qt::RightButton, {}, QPoint(7, 8));
    EXPECT_EQ(B->State(), bsUp);
    EXPECT_FALSE(B->Tracking());
    QTest::mouseRelease(B, Qt::RightButton, {}, QPoint(7, 8));
    EXPECT_EQ(C.Clicks, 0);

    QTest::mousePress(B, Qt::LeftButton, {}, QPoint(3, 4));
    QTest::mouseMove(B, QPoint(9, 4));
    QTest::mouseRelease(B, Qt::LeftButton, {}, QPoint(9, 4));
    EXPECT_EQ(C.Clicks, 1);
    ASSERT_GE(Log.size(), 5u);
    EXPECT_EQ(Log.front(), "down 2 7,8");
    EXPECT_NE(std::find(Log.begin(), Log.end(), "down 1 3,4"), Log.end());
    EXPECT_NE(std::find(Log.begin(), Log.end(), "move 9"), Log.end());
    EXPECT_EQ(Log.back(), "up 1");
}

TEST_F(SpeedButtonMouse, UngroupedButtonNeverStaysDown) {
    auto* B = Make(20, 20);
    Counter C;
    C.Attach(B);
    Show();
    Click(B);
    EXPECT_EQ(C.Clicks, 1);
    EXPECT_EQ(B->State(), bsUp);
    EXPECT_FALSE(B->Down());
    B->SetDown(true);
    EXPECT_FALSE(B->Down()) << "Down needs a group";
    EXPECT_EQ(B->State(), bsUp);
    B->SetAllowAllUp(true);
    B->SetDown(true);
    EXPECT_FALSE(B->Down());
}

TEST_F(SpeedButtonMouse, DoubleClickReportsOnlyWhenDown) {
    auto* Plain = Make(20, 20);
    auto* Toggle = Make(100, 20);
    Toggle->SetGroupIndex(2);
    Counter CP, CT;
    CP.Attach(Plain);
    CT.Attach(Toggle);
    Show();

    // A double click: press, release, the double-click press, release.
    auto DoubleClick = [](TfrSpeedButton* B) {
        Click(B);
        QTest::mouseDClick(B, Qt::LeftButton, {}, QPoint(5, 5));
        QTest::mouseRelease(B, Qt::LeftButton, {}, QPoint(5, 5));
    };
    DoubleClick(Plain);
    EXPECT_EQ(CP.DblClicks, 0);
    EXPECT_EQ(CP.Clicks, 2) << "the second press clicks again";
    EXPECT_EQ(Plain->State(), bsUp);

    DoubleClick(Toggle);
    EXPECT_EQ(CT.DblClicks, 1);
    EXPECT_EQ(CT.Clicks, 2);
    EXPECT_TRUE(Toggle->Down()) << "a held member of a group is not released by its own clicks";
}

TEST_F(SpeedButtonMouse, DisablingDuringAPressCancelsIt) {
    auto* B = Make(20, 20, 40, 24);
    Counter C;
    C.Attach(B);
    Show();
    QTest::mousePress(B, Qt::LeftButton, {}, QPoint(5, 5));
    ASSERT_EQ(B->State(), bsDown);
    B->setEnabled(false);
    B->setEnabled(true);
    EXPECT_FALSE(B->Tracking());
    EXPECT_EQ(B->State(), bsUp);
    const QImage I = Grab(B);
    EXPECT_EQ(At(I, 0, 0), Highlight()) << "not left drawn pressed";
    QTest::mouseRelease(B, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(C.Clicks, 0);
}

// ---------------------------------------------------------------------------
using SpeedButtonGroups = ButtonFixture;

TEST_F(SpeedButtonGroups, PressingAMemberReleasesTheOther) {
    auto* A = Make(10, 10);
    auto* B = Make(80, 10);
    auto* Elsewhere = Make(150, 10);
    A->SetGroupIndex(1);
    B->SetGroupIndex(1);
    Elsewhere->SetGroupIndex(2);
    Elsewhere->SetDown(true);
    Counter CA, CB;
    CA.Attach(A);
    CB.Attach(B);
    Show();

    Click(A);
    EXPECT_TRUE(A->Down());
    EXPECT_EQ(A->State(), bsExclusive);
    EXPECT_EQ(CA.Clicks, 1);

    Click(B);
    EXPECT_TRUE(B->Down());
    EXPECT_FALSE(A->Down());
    EXPECT_EQ(A->State(), bsUp);
    EXPECT_TRUE(Elsewhere->Down()) << "another group is not touched";

    // AllowAllUp False: the held button stays down but still reports the click.
    Click(B);
    EXPECT_TRUE(B->Down());
    EXPECT_EQ(B->State(), bsExclusive);
    EXPECT_EQ(CB.Clicks, 2);
    B->SetDown(false);
    EXPECT_TRUE(B->Down());
}

TEST_F(SpeedButtonGroups, AllowAllUpIsSharedAndLetsTheHeldButtonGo) {
    auto* A = Make(10, 10);
    auto* B = Make(80, 10);
    A->SetGroupIndex(5);
    B->SetGroupIndex(5);
    Show();

    A->SetAllowAllUp(true);
    EXPECT_TRUE(B->AllowAllUp()) << "members take on the sender's AllowAllUp";
    Click(B);
    ASSERT_TRUE(B->Down());
    Counter CB;
    CB.Attach(B);
    Click(B);
    EXPECT_FALSE(B->Down());
    EXPECT_EQ(B->State(), bsUp);
    EXPECT_EQ(CB.Clicks, 1);

    // Joining a group broadcasts too: the newcomer's setting spreads.
    auto* C = Make(150, 10);
    C->SetGroupIndex(5);
    EXPECT_FALSE(A->AllowAllUp());
    EXPECT_FALSE(B->AllowAllUp());
}

TEST_F(SpeedButtonGroups, SettingDownReleasesTheHeldMember) {
    auto* A = Make(10, 10);
    auto* B = Make(80, 10);
    A->SetGroupIndex(1);
    B->SetGroupIndex(1);
    A->SetDown(true);
    B->SetDown(true);
    EXPECT_FALSE(A->Down());
    EXPECT_TRUE(B->Down());

    // Buttons with another parent are not members.
    QWidget OtherForm;
    auto* Stranger = new TfrSpeedButton(&OtherForm);
    Stranger->SetGroupIndex(1);
    Stranger->SetDown(true);
    EXPECT_TRUE(B->Down());
    EXPECT_TRUE(Stranger->Down());
}

TEST_F(SpeedButtonGroups, ReleasedOutsideAHeldButtonStaysHeld) {
    auto* A = Make(10, 10, 40, 24);
    A->SetGroupIndex(1);
    A->SetDown(true);
    Counter C;
    C.Attach(A);
    Show();
    QTest::mousePress(A, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(A->State(), bsExclusive) << "pressing a held button keeps its look";
    QTest::mouseMove(A, QPoint(60, 5));
    QTest::mouseRelease(A, Qt::LeftButton, {}, QPoint(60, 5));
    EXPECT_EQ(A->State(), bsExclusive);
    EXPECT_TRUE(A->Down());
    EXPECT_EQ(C.Clicks, 0);
}

// ---------------------------------------------------------------------------
using SpeedButtonHot = ButtonFixture;

TEST_F(SpeedButtonHot, FlatButtonReportsEnterAndLeaveOnce) {
    auto* FlatB = Make(20, 20, 40, 24);
    FlatB->SetFlat(true);
    auto* Raised = Make(120, 20, 40, 24);
    Counter CF, CR;
    CF.Attach(FlatB);
    CR.Attach(Raised);
    Show();

    QTest::mouseMove(Form.get(), QPoint(5, 5));
    QTest::mouseMove(FlatB, QPoint(5, 5));
    QTest::mouseMove(FlatB, QPoint(10, 6));
    QTest::mouseMove(FlatB, QPoint(30, 20));
    EXPECT_EQ(CF.Enters, 1);
    EXPECT_TRUE(FlatB->Hot());
    QTest::mouseMove(Form.get(), QPoint(5, 150));
    EXPECT_EQ(CF.Leaves, 1);
    EXPECT_FALSE(FlatB->Hot());

    QTest::mouseMove(Raised, QPoint(5, 5));
    QTest::mouseMove(Form.get(), QPoint(5, 150));
    EXPECT_EQ(CR.Enters, 0);
    EXPECT_EQ(CR.Leaves, 0);
    EXPECT_FALSE(Raised->Hot());
}

TEST_F(SpeedButtonHot, DisabledFlatButtonIsNeverHot) {
    auto* B = Make(20, 20, 40, 24);
    B->SetFlat(true);
    Counter C;
    C.Attach(B);
    Show();
    QTest::mouseMove(B, QPoint(5, 5));
    ASSERT_TRUE(B->Hot());
    B->setEnabled(false);
    EXPECT_FALSE(B->Hot()) << "disabling clears the hot flag";
    QTest::mouseMove(Form.get(), QPoint(5, 150));
    EXPECT_EQ(C.Leaves, 0);
    QTest::mouseMove(B, QPoint(5, 5));
    EXPECT_EQ(C.Enters, 1);
    EXPECT_FALSE(B->Hot());
}

TEST_F(SpeedButtonHot, ClickKeepsItHotAndDraggingOffLeavesOnce) {
    auto* B = Make(20, 20, 40, 24);
    B->SetFlat(true);
    Counter C;
    C.Attach(B);
    Show();
    QTest::mouseMove(B, QPoint(5, 5));
    Click(B);
    EXPECT_TRUE(B->Hot());
    EXPECT_EQ(B->State(), bsUp);

    QTest::mousePress(B, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseMove(B, QPoint(5, 100));
    QTest::mouseRelease(B, Qt::LeftButton, {}, QPoint(5, 100));
    // Qt hands out the leave held back by the press with the next pointer move.
    QTest::mouseMove(Form.get(), QPoint(25, 120));
    EXPECT_EQ(C.Clicks, 1);
    EXPECT_EQ(C.Enters, 1);
    EXPECT_EQ(C.Leaves, 1);
    EXPECT_FALSE(B->Hot());
    EXPECT_EQ(B->State(), bsUp);
}

// ---------------------------------------------------------------------------
using SpeedButtonKeys = ButtonFixture;

TEST_F(SpeedButtonKeys, AcceleratorClicksAnEnabledButton) {
    auto* B = Make(20, 20, 80, 24);
    B->SetCaption("&Save");
    Counter C;
    C.Attach(B);
    Show();
    Form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Form.get()));

    QTest::keyClick(Form.get(), Qt::Key_S, Qt::AltModifier);
    EXPECT_EQ(C.Clicks, 1);
    QTest::keyClick(Form.get(), Qt::Key_X, Qt::AltModifier);
    EXPECT_EQ(C.Clicks, 1);

    B->SetCaption("&Open");
    QTest::keyClick(Form.get(), Qt::Key_S, Qt::AltModifier);
    EXPECT_EQ(C.Clicks, 1) << "the old accelerator is gone";
    QTest::keyClick(Form.get(), Qt::Key_O, Qt::AltModifier);
    EXPECT_EQ(C.Clicks, 2);

    B->setEnabled(false);
    QTest::keyClick(Form.get(), Qt::Key_O, Qt::AltModifier);
    EXPECT_EQ(C.Clicks, 2);
    // Even delivered straight to it, a disabled button leaves the key alone.
    QShortcutEvent Direct(QKeySequence(Qt::ALT | Qt::Key_O), 0);
    EXPECT_FALSE(QApplication::sendEvent(B, &Direct));
    EXPECT_EQ(C.Clicks, 2);
}

TEST_F(SpeedButtonKeys, CaptionWithoutAcceleratorTakesNoKey) {
    auto* B = Make(20, 20, 121, 25);
    B->SetCaption(QStringLiteral("插入标签(F2)"));
    Counter C;
    C.Attach(B);
    Show();
    QTest::keyClick(Form.get(), Qt::Key_F2);
    QTest::keyClick(Form.get(), Qt::Key_F, Qt::AltModifier);
    EXPECT_EQ(C.Clicks, 0);
    B->Click();  // how the window's F2 handler presses it
    EXPECT_EQ(C.Clicks, 1);
}

}  // namespace
