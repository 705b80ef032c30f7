// The main window: start-up with and without settings, layout and start state, the
// guide, the audio-device failure, resizing before any file, the help address,
// closing, the exception handler, command-line lyrics and a screenshot.
#include "AppFixture.h"
#include "Application.h"
#include "Bass.h"
#include "Exceptions.h"
#include "FR_Ctrls.h"
#include "MainForm.h"
#include "Startup.h"

#include <QAction>
#include <QActionGroup>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTest>
#include <QToolBar>
#include <QUrl>

#include <memory>

namespace {

std::unique_ptr<TfrmMain> ShowMain()
{
    auto form = std::make_unique<TfrmMain>();
    form->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    return form;
}

}  // namespace

class MainWindow : public AppFixture {};

TEST_F(MainWindow, StartsWithoutASettingsFileAndCreatesNone)
{
    {
        auto form = ShowMain();
        EXPECT_EQ(form->MiliSecondsPerPixel(), 50);
        EXPECT_TRUE(FBoxes.empty());
    }
    EXPECT_FALSE(QFileInfo::exists(FIniPath));
}

TEST_F(MainWindow, StoredSettingIsReadAndLeftUntouched)
{
    const std::pair<QByteArray, std::int32_t> cases[] = {{"0x32", 50}, {"abc", 50}, {"0", 20}, {"5000", 1000}};
    for (const auto& [stored, expected] : cases) {
        const QByteArray content = "[Config]\r\nMiliSecondsPerPixel=" + stored + "\r\n";
        WriteIni(content);
        {
            auto form = ShowMain();
            EXPECT_EQ(form->MiliSecondsPerPixel(), expected) << stored.toStdString();
        }
        EXPECT_EQ(ReadIni(), content) << "start-up never writes the file";
    }
}

TEST_F(MainWindow, LayoutAndStartState)
{
    auto form = ShowMain();
    EXPECT_EQ(form->windowTitle(), QStringLiteral("QerimoLRC歌词编辑器"));
    EXPECT_EQ(form->size(), QSize(981, 699));

    // Toolbar: the buttons in order with their hints (separators between groups).
    QStringList names, hints;
    for (QAction* action : form->ToolBar1->actions()) {
        names << (action->isSeparator() ? QStringLiteral("-") : action->objectName());
        if (!action->isSeparator()) hints << action->toolTip();
    }
    EXPECT_EQ(names.join(u' '), QStringLiteral("tbtnOpen - btnMake btnTest - btnPlay btnPause btnStop - "
                                               "btnAutoScroll - btnSetup - btnWebSite - btnClose"));
    EXPECT_EQ(hints, (QStringList{"打开音频文件", "编辑LRC", "LRC测试", "播放", "暂停(右击鼠标)", "停止", "自动滚动",
                                  "设置每个像素对应的毫秒数", "帮助网站", "退出程序"}));
    EXPECT_EQ(form->ToolBar1->height(), 29);
    EXPECT_TRUE(form->btnMake->isChecked());
    EXPECT_FALSE(form->btnTest->isChecked());
    EXPECT_TRUE(form->MakeTestGroup->isExclusive());
    EXPECT_TRUE(form->btnAutoScroll->isCheckable() && form->btnAutoScroll->isChecked());
    EXPECT_FALSE(form->btnPlay->isCheckable());

    // Strip, information panel, lyrics.
    EXPECT_EQ(form->ScrollBox1->height(), 138);
    EXPECT_EQ(form->PaintBox1->height(), 113);
    EXPECT_EQ(form->pnlInfo->height(), 41);
    EXPECT_TRUE(form->pnlInfo->isVisible());
    EXPECT_TRUE(form->lblTotalTime->text().isEmpty());
    EXPECT_TRUE(form->lblLapseTime->text().isEmpty());
    EXPECT_FALSE(form->btnInsertLabel->isVisible());
    EXPECT_TRUE(form->btnInsertLabel->isEnabled()) << "F2 relies on it";
    EXPECT_EQ(form->btnInsertLabel->Caption(), QStringLiteral("插入标签(F2)"));
    EXPECT_EQ(form->btnInsertLabel->size(), QSize(121, 25));
    EXPECT_FALSE(form->lblTitle->isVisible());
    EXPECT_FALSE(form->txtTitle->isVisible());
    EXPECT_FALSE(form->btnSave->isVisible());
    EXPECT_EQ(form->lblTitle->text(), QStringLiteral("标题："));
    EXPECT_EQ(form->btnSave->text(), QStringLiteral("保存"));
    EXPECT_EQ(form->pnlInfo->font().pixelSize(), 15);
    EXPECT_TRUE(form->pnlInfo->font().families().contains(QStringLiteral("SimSun")));

    EXPECT_EQ(form->Notebook1->count(), 2);
    EXPECT_EQ(form->Notebook1->widget(0)->objectName(), QStringLiteral("Default"));
    EXPECT_EQ(form->Notebook1->widget(1)->objectName(), QStringLiteral("Test"));
    EXPECT_EQ(form->Notebook1->currentIndex(), 0);
    EXPECT_EQ(form->memLRC->lineWrapMode(), QPlainTextEdit::NoWrap);
    EXPECT_EQ(form->memLRC->font().pixelSize(), 15);
    EXPECT_EQ(form->lblLRC->font().pixelSize(), 19);
    EXPECT_TRUE(form->lblLRC->wordWrap());
    EXPECT_EQ(form->StatusBar1->height(), 31);
    EXPECT_EQ(form->StatusBar1Panels[0]->text(), QStringLiteral("文件名"));
    EXPECT_EQ(form->StatusBar1Panels[0]->width(), 70);
    EXPECT_TRUE(form->StatusBar1Panels[1]->text().isEmpty());
    EXPECT_EQ(form->mmiLoadLrcText->text(), QStringLiteral("载入LRC内容"));
    EXPECT_EQ(form->memLRC->contextMenuPolicy(), Qt::CustomContextMenu);

    // Every component is found under its own name.
    for (const char* name : {"ToolBar1", "ScrollBox1", "PaintBox1", "pnlInfo", "lblTotalTime", "lblLapseTime",
                             "btnInsertLabel", "lblTitle", "txtTitle", "btnSave", "pnlLRC", "Notebook1", "memLRC",
                             "lblLRC", "StatusBar1", "OpenDialog1", "PopupMenu1"})
        EXPECT_NE(form->findChild<QObject*>(QString::fromLatin1(name)), nullptr) << name;

    // The title controls keep their distance from the right edge.
    const int gap = form->pnlInfo->width() - form->btnSave->geometry().right();
    form->resize(1200, 699);
    QCoreApplication::processEvents();
    EXPECT_EQ(form->pnlInfo->width() - form->btnSave->geometry().right(), gap);
}

TEST_F(MainWindow, GuideIsShownReadOnly)
{
    auto form = ShowMain();
    const QString guide = form->memLRC->toPlainText();
    EXPECT_TRUE(form->memLRC->isReadOnly());
    EXPECT_TRUE(guide.startsWith(QStringLiteral("QerimoLRC歌词编辑器"))) << guide.left(40).toStdString();
    EXPECT_TRUE(guide.contains(QStringLiteral("打开音频文件")));
    EXPECT_TRUE(guide.contains(QStringLiteral("F2")));
    EXPECT_FALSE(guide.contains(QChar(0))) << "the cipher's zero fill is cut off";
    EXPECT_FALSE(guide.contains(u'\r'));
    EXPECT_GE(form->memLRC->document()->blockCount(), 9);

    // Typing changes nothing while read-only.
    form->memLRC->setFocus();
    QTest::keyClicks(form->memLRC, QStringLiteral("xyz"));
    EXPECT_EQ(form->memLRC->toPlainText(), guide);
}

TEST_F(MainWindow, AudioDeviceFailureIsShownOnceAndTheWindowCarriesOn)
{
    // The library already taken makes the window's BASS_Init fail.
    ASSERT_TRUE(BASS_Init(-1, 44100, 0, nullptr, nullptr));
    {
        auto form = ShowMain();
        ASSERT_EQ(FBoxes.size(), 1u);
        EXPECT_EQ(FBoxes[0].Text, QStringLiteral("Cannot start default audio device!"));
        EXPECT_EQ(FBoxes[0].Icon, QMessageBox::Critical);
        EXPECT_FALSE(form->AudioInitialised());
        EXPECT_TRUE(form->isVisible());
        EXPECT_TRUE(form->memLRC->toPlainText().startsWith(QStringLiteral("QerimoLRC")));
        form->resize(1000, 700);
        QCoreApplication::processEvents();
    }
    EXPECT_EQ(FBoxes.size(), 1u);
    // The window left the library to whoever initialised it.
    EXPECT_TRUE(BASS_Free());
}

TEST_F(MainWindow, FreesTheAudioLibraryItInitialised)
{
    {
        auto form = ShowMain();
        EXPECT_TRUE(form->AudioInitialised());
        EXPECT_TRUE(FBoxes.empty());
    }
    EXPECT_FALSE(BASS_Free());
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_INIT);
}

TEST_F(MainWindow, ResizeBeforeAnyFileOnlyFollowsTheViewWidth)
{
    auto form = ShowMain();
    const QImage startBitmap = form->ViewBitmap();
    EXPECT_EQ(startBitmap.height(), 113);
    EXPECT_EQ(startBitmap.pixel(10, 10), qRgb(0, 0, 0));
    EXPECT_EQ(form->ViewWidth(), form->ScrollBox1->viewport()->width());
    EXPECT_EQ(form->PaintBox1->width(), form->ViewWidth());

    // Leave the edit state by hand; the resize brings it back.
    form->Notebook1->setCurrentIndex(1);
    form->pnlInfo->hide();
    form->btnTest->setChecked(true);
    form->resize(1300, 750);
    QCoreApplication::processEvents();
    EXPECT_EQ(form->ViewWidth(), form->ScrollBox1->viewport()->width());
    EXPECT_EQ(form->ViewWidth(), 1300);
    EXPECT_EQ(form->PaintBox1->width(), 1300);
    EXPECT_EQ(form->Notebook1->currentIndex(), 0);
    EXPECT_TRUE(form->pnlInfo->isVisible());
    EXPECT_TRUE(form->btnTest->isChecked()) << "the toggles are not touched";
    EXPECT_EQ(form->ViewBitmap().size(), startBitmap.size()) << "nothing is built before a file";
    EXPECT_TRUE(form->MediaFileName().isEmpty());
    EXPECT_TRUE(form->memLRC->isReadOnly());

    form->showMaximized();
    QCoreApplication::processEvents();
    EXPECT_EQ(form->PaintBox1->width(), form->ScrollBox1->viewport()->width());
}

TEST_F(MainWindow, TestModeWithoutAFilePutsEditModeBack)
{
    auto form = ShowMain();
    form->btnTest->trigger();
    EXPECT_TRUE(form->btnMake->isChecked());
    EXPECT_EQ(form->Notebook1->currentIndex(), 0);
    EXPECT_TRUE(FBoxes.empty());
}

TEST_F(MainWindow, HelpButtonOpensTheDecipheredAddress)
{
    QFile addressFile(QStringLiteral(QLRC_SOURCE_DIR "/tools/cipher/address.txt"));
    ASSERT_TRUE(addressFile.open(QIODevice::ReadOnly));
    const QString address = QString::fromUtf8(addressFile.readAll()).trimmed();

    auto form = ShowMain();
    std::vector<QUrl> opened;
    form->SetUrlOpener([&](const QUrl& Url) { opened.push_back(Url); });
    QTest::mouseClick(form->ToolBar1->widgetForAction(form->btnWebSite), Qt::LeftButton);
    form->btnWebSite->trigger();
    ASSERT_EQ(opened.size(), 2u) << "deciphered on every click";
    EXPECT_EQ(opened[0].toString(), QStringLiteral("http://") + address);
    EXPECT_EQ(opened[0].scheme(), QStringLiteral("http"));
    EXPECT_EQ(opened[0].host(), QStringLiteral("en.wikipedia.org"));
    EXPECT_EQ(opened[1], opened[0]);
}

TEST_F(MainWindow, CloseButtonClosesTheWindow)
{
    auto form = ShowMain();
    QTest::mouseClick(form->ToolBar1->widgetForAction(form->btnClose), Qt::LeftButton);
    EXPECT_FALSE(form->isVisible());
}

TEST_F(MainWindow, LyricsNamedOnTheCommandLineAreLoaded)
{
    auto form = ShowMain();
    const QString utf8Path = FFolder.filePath(QStringLiteral("歌词.txt"));
    {
        QFile file(utf8Path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("\xEF\xBB\xBF" "第一行\r\nsecond line\nthird\n");
    }
    form->OpenFromCommandLine(QString(), utf8Path);
    EXPECT_EQ(form->memLRC->toPlainText(), QStringLiteral("第一行\nsecond line\nthird\n"));

    const QString gbPath = FFolder.filePath(QStringLiteral("gb.txt"));
    {
        QFile file(gbPath);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("\xB5\xDA\xD2\xBB\xD0\xD0\r\n");  // 第一行 in code page 936
    }
    form->OpenFromCommandLine(QString(), gbPath);
    EXPECT_EQ(form->memLRC->toPlainText(), QStringLiteral("第一行\n"));

    // A missing file is an error and the text stays.
    const QString missing = FFolder.filePath(QStringLiteral("missing.txt"));
    try {
        form->LoadLyricsText(missing);
        FAIL() << "no error";
    } catch (const EFOpenError& error) {
        EXPECT_TRUE(std::string(error.what()).starts_with("Cannot open file \"" + missing.toStdString() + "\". "))
            << error.what();
    }
    EXPECT_EQ(form->memLRC->toPlainText(), QStringLiteral("第一行\n"));
}

TEST(Startup, NamedFilesOrTheDemoBesideTheProgram)
{
    QTemporaryDir prefix;
    ASSERT_TRUE(prefix.isValid());
    const QString bin = prefix.filePath(QStringLiteral("bin"));
    ASSERT_TRUE(QDir().mkpath(bin));
    EXPECT_EQ(StartupFiles({"a.mp3"}, bin).Audio, QStringLiteral("a.mp3"));
    EXPECT_TRUE(StartupFiles({"a.mp3"}, bin).Lyrics.isEmpty());
    EXPECT_EQ(StartupFiles({"a.mp3", "b.txt"}, bin).Lyrics, QStringLiteral("b.txt"));
    EXPECT_TRUE(StartupFiles({}, bin).Audio.isEmpty()) << "no demo, nothing opened";

    // Installed: share/qerimolrc/demo next to bin/.
    const QString shared = prefix.filePath(QStringLiteral("share/qerimolrc/demo"));
    ASSERT_TRUE(QDir().mkpath(shared));
    QFile(shared + QStringLiteral("/demo.mp3")).open(QIODevice::WriteOnly);
    QFile(shared + QStringLiteral("/demo.txt")).open(QIODevice::WriteOnly);
    EXPECT_EQ(StartupFiles({}, bin).Audio, shared + QStringLiteral("/demo.mp3"));
    // Built: demo/ beside the executable comes first.
    ASSERT_TRUE(QDir().mkpath(bin + QStringLiteral("/demo")));
    QFile(bin + QStringLiteral("/demo/demo.txt")).open(QIODevice::WriteOnly);
    EXPECT_EQ(StartupFiles({}, bin).Lyrics, bin + QStringLiteral("/demo/demo.txt"));
}

TEST_F(MainWindow, TheBuiltDemoOpensItsLyrics)
{
    const TStartupFiles demo = StartupFiles({}, QStringLiteral(QLRC_APP_BINARY_DIR));
    if (demo.Lyrics.isEmpty()) GTEST_SKIP() << "the build made no demo (espeak-ng, sox or lame missing)";
    EXPECT_TRUE(demo.Audio.endsWith(QStringLiteral("demo.mp3")));
    auto form = ShowMain();
    form->OpenFromCommandLine(demo.Audio, demo.Lyrics);
    const QStringList lines = form->memLRC->toPlainText().split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 6);
    EXPECT_EQ(lines[0], QStringLiteral("月亮在天上慢慢地走"));
    EXPECT_EQ(lines[1], QStringLiteral("The moon is walking slowly in the sky"));
    EXPECT_TRUE(form->grab().save(QStringLiteral("demo_window.png")));
}

TEST_F(MainWindow, ScreenshotShowsTheChineseTexts)
{
    auto form = ShowMain();
    const QImage shot = form->grab().toImage();
    ASSERT_FALSE(shot.isNull());
    EXPECT_TRUE(shot.save(QStringLiteral("mainwindow.png")));
    // The guide's text is drawn: the edit box area is not one flat colour.
    const QRect box(form->memLRC->mapTo(form.get(), QPoint(0, 0)), form->memLRC->viewport()->size());
    const QImage area = shot.copy(box);
    int dark = 0;
    for (int y = 0; y < area.height(); ++y)
        for (int x = 0; x < area.width(); ++x)
            if (qGray(area.pixel(x, y)) < 100) ++dark;
    EXPECT_GT(dark, 500);
}

// ---- The application's exception handler ------------------------------------------

class ExceptionHandler : public AppFixture {};

TEST_F(ExceptionHandler, ShowsTheMessageAndTheLoopGoesOn)
{
    auto& application = static_cast<TQerimoApplication&>(*QCoreApplication::instance());
    QTimer::singleShot(0, [] { throw Exception("Unable to write to /nowhere/qerimolrc.ini"); });
    bool later = false;
    QTimer::singleShot(20, [&] { later = true; });
    QTRY_VERIFY(later);
    ASSERT_EQ(FBoxes.size(), 1u);
    EXPECT_EQ(FBoxes[0].Text, QStringLiteral("Unable to write to /nowhere/qerimolrc.ini"));
    EXPECT_EQ(FBoxes[0].Icon, QMessageBox::Critical);
    EXPECT_EQ(application.SuppressedCount(), 0u);
}

TEST_F(ExceptionHandler, AHandlerThatKeepsFailingDoesNotStackBoxes)
{
    auto& application = static_cast<TQerimoApplication&>(*QCoreApplication::instance());
    const std::size_t suppressedBefore = application.SuppressedCount();
    // A queued handler that queues itself again and then fails, over and over:
    // it keeps running inside the box's own event loop.
    int failures = 0;
    bool running = true;
    std::function<void()> failing = [&] {
        if (!running) return;
        ++failures;
        QMetaObject::invokeMethod(qApp, [&] { failing(); }, Qt::QueuedConnection);
        throw Exception("update failed");
    };
    std::size_t boxesWhileOpen = 0;
    FDuringBox = [&] {
        const int before = failures;
        QTRY_VERIFY(failures >= before + 5);
        boxesWhileOpen = FBoxes.size();
        running = false;
    };
    QMetaObject::invokeMethod(qApp, [&] { failing(); }, Qt::QueuedConnection);
    QTRY_VERIFY(!running);
    QCoreApplication::processEvents();
    EXPECT_EQ(boxesWhileOpen, 1u) << "no box opened inside another";
    EXPECT_EQ(FBoxes.size(), 1u);
    EXPECT_GE(application.SuppressedCount() - suppressedBefore, 5u);
}

TEST_F(ExceptionHandler, RealBoxIsAnsweredAndShowsTheMessage)
{
    SetMessageBoxHook({});
    QString shown;
    WithModal(
        [&](QWidget* Modal) {
            auto* box = qobject_cast<QMessageBox*>(Modal);
            ASSERT_NE(box, nullptr);
            shown = box->text();
            box->button(QMessageBox::Ok)->click();
        },
        [] {
            QTimer::singleShot(0, [] { throw Exception("Cannot open file \"/x.mp3\". No such file or directory"); });
            QTest::qWait(100);
            QTRY_VERIFY(QApplication::activeModalWidget() == nullptr);
        });
    EXPECT_EQ(shown, QStringLiteral("Cannot open file \"/x.mp3\". No such file or directory"));
}
