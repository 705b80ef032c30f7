// The spinner edit's key rules and events, the settings dialog, and the settings
// command's effects on OK and Cancel.
#include "AppFixture.h"
#include "MainForm.h"
#include "Setupfrm.h"
#include "Streams.h"
#include "TavreloMedia.h"
#include "UpdownEdit.h"

#include <QAction>
#include <QClipboard>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QStackedWidget>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

#include <memory>

TEST(IsInteger, SignDigitsBlanksAndRange)
{
    for (const char* yes : {"0", "12", "-12", " 12 ", "\t5\r\n", "2147483647", "-2147483648", "007"})
        EXPECT_TRUE(IsInteger(QString::fromLatin1(yes))) << yes;
    for (const char* no : {"", " ", "-", "+5", "1a", "1 2", "2147483648", "-2147483649", "1.0", "--1", "0x10"})
        EXPECT_FALSE(IsInteger(QString::fromLatin1(no))) << no;
}

class SpinnerEdit : public ::testing::Test {
protected:
    void SetUp() override
    {
        FControl.SetMin(20);
        FControl.SetMax(1000);
        FControl.SetIncrement(10);
        FControl.SetPosition(50);
        FControl.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&FControl));
        FControl.Edit()->setFocus();
    }

    void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::keyClick(FControl.Edit(), key, modifiers);
    }
    void Type(const QString& text) { QTest::keyClicks(FControl.Edit(), text); }
    void SelectAll() { FControl.Edit()->selectAll(); }

    TUpdownEdit FControl;
};

TEST_F(SpinnerEdit, PagesStepByTenArrowsByIncrementWithinTheRange)
{
    EXPECT_EQ(FControl.Text(), QStringLiteral("50"));
    Key(Qt::Key_PageUp);
    EXPECT_EQ(FControl.Position(), 60);
    EXPECT_EQ(FControl.Text(), QStringLiteral("60"));
    Key(Qt::Key_PageDown);
    Key(Qt::Key_PageDown);
    EXPECT_EQ(FControl.Position(), 40);
    Key(Qt::Key_Up);
    EXPECT_EQ(FControl.Position(), 50);

    FControl.SetIncrement(25);
    Key(Qt::Key_Up);
    EXPECT_EQ(FControl.Position(), 75) << "arrows use Increment";
    Key(Qt::Key_PageUp);
    EXPECT_EQ(FControl.Position(), 85) << "pages use a fixed 10";

    FControl.SetPosition(1000);
    Key(Qt::Key_PageUp);
    Key(Qt::Key_Up);
    EXPECT_EQ(FControl.Position(), 1000);
    EXPECT_EQ(FControl.Text(), QStringLiteral("1000"));
    FControl.SetPosition(20);
    Key(Qt::Key_PageDown);
    Key(Qt::Key_Down);
    EXPECT_EQ(FControl.Position(), 20);
    FControl.SetPosition(5000);
    EXPECT_EQ(FControl.Position(), 1000) << "no wrap-around, kept within Max";
}

TEST_F(SpinnerEdit, SpinnerButtonsStepAndReportTheArrow)
{
    std::vector<TUDBtnType> clicks;
    FControl.OnUpDownClick = [&](TUpdownEdit* Sender, TUDBtnType Button) {
        EXPECT_EQ(Sender, &FControl);
        clicks.push_back(Button);
    };
    QTest::mouseClick(FControl.UpDown()->UpButton(), Qt::LeftButton);
    EXPECT_EQ(FControl.Position(), 60);
    QTest::mouseClick(FControl.UpDown()->DownButton(), Qt::LeftButton);
    QTest::mouseClick(FControl.UpDown()->DownButton(), Qt::LeftButton);
    EXPECT_EQ(FControl.Position(), 40);
    EXPECT_EQ(FControl.Text(), QStringLiteral("40"));
    EXPECT_EQ(clicks, (std::vector<TUDBtnType>{btNext, btPrev, btPrev}));
}

TEST_F(SpinnerEdit, TypingAboveMaxIsCutBackAtTheKeyRelease)
{
    SelectAll();
    Type(QStringLiteral("200"));
    EXPECT_EQ(FControl.Text(), QStringLiteral("200"));
    EXPECT_EQ(FControl.Position(), 200);
    Type(QStringLiteral("0"));
    EXPECT_EQ(FControl.Position(), 1000);
    EXPECT_EQ(FControl.Text(), QStringLiteral("1000"));
    EXPECT_EQ(FControl.Edit()->cursorPosition(), 4);
}

TEST_F(SpinnerEdit, BelowMinStaysTypedWithoutChangingThePosition)
{
    SelectAll();
    Type(QStringLiteral("5"));
    EXPECT_EQ(FControl.Text(), QStringLiteral("5"));
    EXPECT_EQ(FControl.Position(), 50);
    Key(Qt::Key_Backspace);
    EXPECT_EQ(FControl.Text(), QString());
    EXPECT_EQ(FControl.Position(), 50);
    Type(QStringLiteral("3"));
    EXPECT_EQ(FControl.Position(), 50);
    Type(QStringLiteral("0"));
    EXPECT_EQ(FControl.Text(), QStringLiteral("30"));
    EXPECT_EQ(FControl.Position(), 30) << "typed digit by digit through values below Min";
}

TEST_F(SpinnerEdit, OnlyCharactersThatKeepAnIntegerAreTyped)
{
    Type(QStringLiteral("a+. x"));
    EXPECT_EQ(FControl.Text(), QStringLiteral("50"));
    Type(QStringLiteral("-"));
    EXPECT_EQ(FControl.Text(), QStringLiteral("50")) << "a minus only into an empty edit";
    SelectAll();
    Key(Qt::Key_Backspace);
    Type(QStringLiteral("-"));
    EXPECT_EQ(FControl.Text(), QStringLiteral("-"));
    Type(QStringLiteral("-4"));
    EXPECT_EQ(FControl.Text(), QStringLiteral("-4"));
    EXPECT_EQ(FControl.Position(), 50) << "below Min";
    FControl.Edit()->setCursorPosition(0);
    Type(QStringLiteral("7"));
    EXPECT_EQ(FControl.Text(), QStringLiteral("7-4")) << "the test appends at the end, wherever the caret is";

    // With text selected, the character is still tested against the whole text.
    SelectAll();
    Type(QStringLiteral("1"));
    EXPECT_EQ(FControl.Text(), QStringLiteral("7-4"));
    SelectAll();
    Key(Qt::Key_Backspace);
    Type(QStringLiteral("12345678"));
    EXPECT_EQ(FControl.Text(), QStringLiteral("1000"));
    EXPECT_EQ(FControl.Edit()->maxLength(), 6);
}

TEST_F(SpinnerEdit, ControlChordsDoNothing)
{
    QGuiApplication::clipboard()->setText(QStringLiteral("abc"));
    FControl.Edit()->setCursorPosition(2);
    Key(Qt::Key_V, Qt::ControlModifier);
    Key(Qt::Key_Insert, Qt::ShiftModifier);
    EXPECT_EQ(FControl.Text(), QStringLiteral("50"));
    SelectAll();
    Key(Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(FControl.Text(), QStringLiteral("50"));
    FControl.Edit()->setCursorPosition(2);
    Key(Qt::Key_A, Qt::ControlModifier);
    EXPECT_FALSE(FControl.Edit()->hasSelectedText());
}

TEST_F(SpinnerEdit, KeyUpEventFollowsTheEditsOwnHandling)
{
    std::vector<int> keys;
    FControl.OnKeyUp = [&](TUpdownEdit* Sender, int& key, Qt::KeyboardModifiers) {
        EXPECT_EQ(Sender, &FControl);
        EXPECT_EQ(FControl.Position(), 60) << "the position is already taken over";
        keys.push_back(key);
    };
    SelectAll();
    QTest::keyPress(FControl.Edit(), Qt::Key_6);
    QTest::keyPress(FControl.Edit(), Qt::Key_0);
    QTest::keyRelease(FControl.Edit(), Qt::Key_0);
    EXPECT_EQ(keys, std::vector<int>{Qt::Key_0});
}

TEST_F(SpinnerEdit, ResizingKeepsTheSpinnerAtTheRightEdge)
{
    const int spinner = FControl.UpDown()->width();
    EXPECT_EQ(FControl.width(), FControl.Edit()->width() + spinner);
    FControl.resize(200, 30);
    EXPECT_EQ(FControl.Edit()->width(), 200 - spinner);
    EXPECT_EQ(FControl.UpDown()->x(), 200 - spinner);
    EXPECT_EQ(FControl.Edit()->height(), 30);
    EXPECT_EQ(FControl.UpDown()->height(), 30);
}

// ---- The dialog ---------------------------------------------------------------------

TEST(SetupDialog, ComponentsAndKeys)
{
    TfrmSetup dialog(nullptr);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("设置"));
    EXPECT_EQ(dialog.size(), QSize(296, 170));
    EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize()) << "not resizable";
    EXPECT_EQ(dialog.GroupBox1->geometry(), QRect(16, 16, 265, 89));
    EXPECT_EQ(dialog.GroupBox1->title(), QStringLiteral("像数毫秒数"));
    EXPECT_EQ(dialog.Label1->text(), QStringLiteral("像素毫秒数："));
    EXPECT_EQ(dialog.UpdownEdit1->geometry(), QRect(128, 40, 121, 25));
    EXPECT_EQ(dialog.UpdownEdit1->Min(), 20);
    EXPECT_EQ(dialog.UpdownEdit1->Max(), 1000);
    EXPECT_EQ(dialog.UpdownEdit1->Increment(), 10);
    EXPECT_EQ(dialog.UpdownEdit1->Text(), QStringLiteral("50"));
    EXPECT_EQ(dialog.btnConfirm->geometry(), QRect(128, 128, 75, 25));
    EXPECT_EQ(dialog.btnCancel->geometry(), QRect(203, 128, 75, 25));
    EXPECT_TRUE(dialog.btnConfirm->isDefault());
    EXPECT_EQ(dialog.font().pixelSize(), 19);
    EXPECT_EQ(dialog.UpdownEdit1->Font().pixelSize(), 19);

    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    EXPECT_TRUE(dialog.grab().save(QStringLiteral("setup_dialog.png")));
    QTest::keyClick(dialog.UpdownEdit1->Edit(), Qt::Key_Return);
    EXPECT_EQ(dialog.result(), QDialog::Accepted) << "Enter confirms from inside the edit";
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    QTest::keyClick(dialog.UpdownEdit1->Edit(), Qt::Key_Escape);
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
}

// ---- The settings command -------------------------------------------------------------

class SettingsCommand : public AppFixture {
protected:
    void SetUp() override
    {
        AppFixture::SetUp();
        FForm = std::make_unique<TfrmMain>();
        FForm->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(FForm.get()));
    }
    void TearDown() override
    {
        FForm.reset();
        AppFixture::TearDown();
    }

    // Clicks btnSetup (through the event loop, as a user does) and lets Answer work the dialog.
    void RunDialog(const std::function<void(TfrmSetup& Dialog)>& Answer)
    {
        WithModal(
            [&](QWidget* Modal) {
                auto* dialog = dynamic_cast<TfrmSetup*>(Modal);
                ASSERT_NE(dialog, nullptr);
                Answer(*dialog);
            },
            [&] { QTest::mouseClick(FForm->ToolBar1->widgetForAction(FForm->btnSetup), Qt::LeftButton); });
    }

    std::unique_ptr<TfrmMain> FForm;
};

TEST_F(SettingsCommand, OkStoresTheNewScaleInDecimal)
{
    int shown = 0;
    RunDialog([&](TfrmSetup& Dialog) {
        shown = Dialog.UpdownEdit1->Position();
        QTest::keyClick(Dialog.UpdownEdit1->Edit(), Qt::Key_PageUp);
        QTest::mouseClick(Dialog.btnConfirm, Qt::LeftButton);
    });
    EXPECT_EQ(shown, 50);
    EXPECT_EQ(FForm->MiliSecondsPerPixel(), 60);
    EXPECT_TRUE(ReadIni().contains("MiliSecondsPerPixel=60")) << ReadIni().toStdString();
    EXPECT_TRUE(ReadIni().contains("[Config]"));
    EXPECT_TRUE(FBoxes.empty());
    EXPECT_EQ(FForm->Notebook1->currentIndex(), 0);
    EXPECT_TRUE(FForm->pnlInfo->isVisible());
    EXPECT_EQ(FForm->findChild<QDialog*>(QStringLiteral("frmSetup")), nullptr) << "the dialog is freed after use";
}

TEST_F(SettingsCommand, CancelStoresNothing)
{
    RunDialog([&](TfrmSetup& Dialog) {
        QTest::keyClick(Dialog.UpdownEdit1->Edit(), Qt::Key_PageUp);
        QTest::keyClick(Dialog.UpdownEdit1->Edit(), Qt::Key_Escape);
    });
    EXPECT_EQ(FForm->MiliSecondsPerPixel(), 50);
    EXPECT_FALSE(QFileInfo::exists(FIniPath));
    RunDialog([&](TfrmSetup& Dialog) { QTest::mouseClick(Dialog.btnCancel, Qt::LeftButton); });
    EXPECT_FALSE(QFileInfo::exists(FIniPath));
}

TEST_F(SettingsCommand, ATypedValueBelowMinConfirmsThePreviousPosition)
{
    RunDialog([&](TfrmSetup& Dialog) {
        Dialog.UpdownEdit1->Edit()->selectAll();
        QTest::keyClicks(Dialog.UpdownEdit1->Edit(), QStringLiteral("5"));
        EXPECT_EQ(Dialog.UpdownEdit1->Text(), QStringLiteral("5"));
        QTest::keyClick(Dialog.UpdownEdit1->Edit(), Qt::Key_Return);
    });
    EXPECT_EQ(FForm->MiliSecondsPerPixel(), 50);
    EXPECT_TRUE(ReadIni().contains("MiliSecondsPerPixel=50"));
}

TEST_F(SettingsCommand, StoredValueAboveTheRangeShowsAndStoresTheMaximum)
{
    FForm.reset();
    WriteIni("[Config]\nMiliSecondsPerPixel=5000\n");
    FForm = std::make_unique<TfrmMain>();
    FForm->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(FForm.get()));
    RunDialog([&](TfrmSetup& Dialog) {
        EXPECT_EQ(Dialog.UpdownEdit1->Text(), QStringLiteral("1000"));
        QTest::mouseClick(Dialog.btnConfirm, Qt::LeftButton);
    });
    EXPECT_TRUE(ReadIni().contains("MiliSecondsPerPixel=1000")) << ReadIni().toStdString();
}

TEST_F(SettingsCommand, AFailedWriteIsReportedAndTheScaleStillApplies)
{
    ASSERT_TRUE(QDir().mkpath(FIniPath));  // a folder where the file should be
    RunDialog([&](TfrmSetup& Dialog) {
        Dialog.UpdownEdit1->SetPosition(200);
        QTest::mouseClick(Dialog.btnConfirm, Qt::LeftButton);
    });
    QTRY_COMPARE(FBoxes.size(), std::size_t(1));
    EXPECT_EQ(FBoxes[0].Text, QStringLiteral("Unable to write to ") + FIniPath);
    EXPECT_EQ(FForm->MiliSecondsPerPixel(), 200);
}

// ---- The settings command during playback ---------------------------------------------

class SettingsDuringPlayback : public SettingsCommand {
protected:
    void SetUp() override
    {
        SettingsCommand::SetUp();
        // A real MP3 of a few seconds, played on the silent output.
        const QString wav = FFolder.filePath(QStringLiteral("tone.wav"));
        const QString mp3 = FFolder.filePath(QStringLiteral("tone.mp3"));
        ASSERT_EQ(QProcess::execute(QStringLiteral("sox"), {"-n", "-r", "44100", "-c", "2", wav, "synth", "8", "sine", "440"}), 0);
        ASSERT_EQ(QProcess::execute(QStringLiteral("lame"), {"--quiet", "-b", "128", wav, mp3}), 0);
        auto audio = std::make_unique<TMemoryStream>();
        audio->LoadFromFile(mp3.toStdString());
        auto media = std::make_unique<TAudioMedia>(std::move(audio), std::make_unique<TMemoryStream>());
        media->Open();
        ASSERT_NE(media->Channel(), 0u) << "the MP3 did not open";
        media->Play();
        FForm->SetMedia(std::move(media));
        QTest::qWait(300);
        ASSERT_EQ(Media().State(), msPlaying);
    }

    TAudioMedia& Media() { return *FForm->Media(); }
};

TEST_F(SettingsDuringPlayback, CancelContinuesFromTheSamePlace)
{
    std::int32_t during = -1;
    TMediaState stateDuring = msStopped;
    RunDialog([&](TfrmSetup& Dialog) {
        stateDuring = Media().State();
        during = Media().PositionMs();
        QTest::qWait(200);
        EXPECT_EQ(Media().PositionMs(), during) << "paused while the dialog is open";
        QTest::mouseClick(Dialog.btnCancel, Qt::LeftButton);
    });
    EXPECT_EQ(stateDuring, msPaused);
    EXPECT_GE(during, 250);
    EXPECT_EQ(Media().State(), msPlaying);
    EXPECT_GE(Media().PositionMs(), during);
    EXPECT_FALSE(QFileInfo::exists(FIniPath));
}

TEST_F(SettingsDuringPlayback, OkKeepsPlayingInsteadOfStartingAgain)
{
    std::int32_t during = -1;
    RunDialog([&](TfrmSetup& Dialog) {
        during = Media().PositionMs();
        QTest::keyClick(Dialog.UpdownEdit1->Edit(), Qt::Key_PageDown);
        QTest::mouseClick(Dialog.btnConfirm, Qt::LeftButton);
    });
    EXPECT_EQ(FForm->MiliSecondsPerPixel(), 40);
    EXPECT_EQ(Media().State(), msPlaying);
    EXPECT_GE(Media().PositionMs(), during) << "the song is not started again";
    EXPECT_GE(during, 250);
}

TEST_F(SettingsDuringPlayback, APausedSongStaysPaused)
{
    Media().TogglePause();
    const std::int32_t paused = Media().PositionMs();
    RunDialog([&](TfrmSetup& Dialog) { QTest::mouseClick(Dialog.btnCancel, Qt::LeftButton); });
    EXPECT_EQ(Media().State(), msPaused);
    RunDialog([&](TfrmSetup& Dialog) { QTest::mouseClick(Dialog.btnConfirm, Qt::LeftButton); });
    EXPECT_EQ(Media().State(), msPaused);
    EXPECT_EQ(Media().PositionMs(), paused);
}

TEST_F(SettingsDuringPlayback, AFailedWriteStillLetsTheSongGoOn)
{
    ASSERT_TRUE(QDir().mkpath(FIniPath));
    RunDialog([&](TfrmSetup& Dialog) { QTest::mouseClick(Dialog.btnConfirm, Qt::LeftButton); });
    QTRY_COMPARE(FBoxes.size(), std::size_t(1));
    EXPECT_EQ(Media().State(), msPlaying);
}
