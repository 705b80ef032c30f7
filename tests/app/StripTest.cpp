// The waveform strip with real MP3s: its geometry at the documented examples, the peaks
// arriving from the worker while the song plays, the cursor, clicks, auto-scroll,
// and resizing or rescaling without starting the song again.
#include "WorkflowFixture.h"

#include "Setupfrm.h"
#include "UpdownEdit.h"

#include <QAction>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedWidget>

using namespace workflow_test;

namespace {

const QRgb kLime = qRgb(0, 255, 0);
const QRgb kWhite = qRgb(255, 255, 255);

bool ColumnIsBlack(const QImage& Image, int X)
{
    for (int y = 0; y < Image.height(); ++y)
        if (Image.pixel(X, y) != qRgb(0, 0, 0)) return false;
    return true;
}

}  // namespace

TEST_F(WorkflowTest, TenSecondTrackFillsPartOfAViewWideStrip)
{
    TfrmMain& form = OpenSong(QStringLiteral("ten"));
    const int view = form.ViewWidth();
    ASSERT_GT(view, 520);
    EXPECT_EQ(BASS_ChannelGetLength(Media().Channel(), BASS_POS_BYTE), 1764000);
    // The scale is known before the peaks arrive: 20 ms, not 1764000 div the width.
    EXPECT_EQ(form.BytesPerPixel(), 3528);
    EXPECT_EQ(form.PaintBox1->width(), view);
    ASSERT_TRUE(WaitForStrip());
    EXPECT_EQ(form.BytesPerPixel(), 3528);
    const QImage wave = form.WaveBitmap();
    EXPECT_EQ(wave.size(), QSize(view, 113));
    for (const int x : {5, 250, 490}) {
        EXPECT_EQ(wave.pixel(x, 56), kLime) << x;   // the upper bar reaches the middle row
        EXPECT_EQ(wave.pixel(x, 58), kLime) << x;   // the lower bar starts two below it
        EXPECT_EQ(wave.pixel(x, 57), qRgb(0, 0, 0)) << x;  // the dark separating row
    }
    for (const int x : {510, 700, view - 1}) EXPECT_TRUE(ColumnIsBlack(wave, x)) << x;
}

TEST_F(WorkflowTest, FourMinuteTrackAtFiftyAndTwentyMsPerPixel)
{
    TfrmMain& form = OpenSong(QStringLiteral("song240"));
    EXPECT_EQ(form.PaintBox1->width(), 4800);
    EXPECT_EQ(form.BytesPerPixel(), 8820);
    EXPECT_FALSE(form.StripReady()) << "the scan runs on a worker, the window does not wait for it";

    // Before the peaks: the cursor is drawn on black and seeking works.
    form.btnPause->trigger();
    Media().SetPositionBytes(441000);
    Tick();
    EXPECT_EQ(form.ViewBitmap().pixel(50, 100), kWhite);
    EXPECT_EQ(form.lblLapseTime->text(), QStringLiteral("00:02.50"));

    ASSERT_TRUE(WaitForStrip());
    EXPECT_EQ(form.BytesPerPixel(), 8820);
    Tick();
    const QImage view = form.ViewBitmap();
    EXPECT_EQ(view.size(), QSize(4800, 113));
    EXPECT_EQ(view.pixel(50, 100), kWhite);  // the cursor line, down the whole strip
    EXPECT_NE(view.pixel(49, 100), kWhite);
    int captionPixels = 0;  // "0:02" right of the line
    for (int x = 52; x < 80; ++x)
        for (int y = 0; y < 16; ++y) captionPixels += view.pixel(x, y) == kWhite;
    EXPECT_GT(captionPixels, 10);
    EXPECT_NE(form.WaveBitmap().pixel(50, 100), kWhite) << "the clean copy has no cursor";
    EXPECT_TRUE(form.grab().save(QStringLiteral("workflow_strip.png")));

    // 20 ms per pixel through the settings dialog: redrawn from the trace, the song
    // goes on paused where it was.
    TAudioMedia* media = form.Media();
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [] {
        if (auto* dialog = dynamic_cast<TfrmSetup*>(QApplication::activeModalWidget())) {
            dialog->UpdownEdit1->SetPosition(20);
            dialog->accept();
        }
    });
    poll.start();
    form.btnSetup->trigger();
    poll.stop();
    EXPECT_EQ(form.MiliSecondsPerPixel(), 20);
    EXPECT_EQ(form.PaintBox1->width(), 12000);
    EXPECT_EQ(form.BytesPerPixel(), 3528);
    EXPECT_EQ(form.WaveBitmap().width(), 12000);
    EXPECT_EQ(form.Media(), media);
    EXPECT_EQ(Media().State(), msPaused);
    EXPECT_EQ(Media().PositionBytes(), 441000);
    EXPECT_TRUE(form.StripReady()) << "no new decode";
}

TEST_F(WorkflowTest, ResizingKeepsTheSongWhereItWas)
{
    TfrmMain& form = OpenSong(QStringLiteral("tone12"));
    ASSERT_TRUE(WaitForStrip());
    Advance(3000);
    TAudioMedia* media = form.Media();
    form.Notebook1->setCurrentIndex(1);
    form.resize(1300, 750);
    QCoreApplication::processEvents();
    EXPECT_EQ(form.Media(), media);
    EXPECT_EQ(Media().State(), msPlaying);
    EXPECT_EQ(Media().PositionMs(), 3000);
    EXPECT_EQ(form.ViewWidth(), 1300);
    EXPECT_EQ(form.PaintBox1->width(), 1300);
    EXPECT_EQ(form.WaveBitmap().width(), 1300);
    EXPECT_EQ(form.BytesPerPixel(), 3528);
    EXPECT_EQ(form.WaveBitmap().pixel(300, 56), kLime) << "peaks redrawn, not black";
    EXPECT_EQ(form.Notebook1->currentIndex(), 0);

    form.btnPause->trigger();
    form.showMaximized();
    QCoreApplication::processEvents();
    EXPECT_EQ(form.Media(), media);
    EXPECT_EQ(Media().State(), msPaused);
    EXPECT_EQ(Media().PositionMs(), 3000);
}

TEST_F(WorkflowTest, ClicksInTheStripSeekAndPause)
{
    TfrmMain& form = OpenSong(QStringLiteral("song240"));
    QTest::mouseClick(form.PaintBox1, Qt::LeftButton, {}, QPoint(100, 50));
    EXPECT_EQ(Media().PositionBytes(), 882000);
    EXPECT_EQ(Media().State(), msPlaying);
    QTest::mouseClick(form.PaintBox1, Qt::RightButton, {}, QPoint(700, 10));
    EXPECT_EQ(Media().State(), msPaused);
    EXPECT_EQ(Media().PositionBytes(), 882000);
    QTest::mouseClick(form.PaintBox1, Qt::LeftButton, Qt::ShiftModifier, QPoint(10, 100));
    EXPECT_EQ(Media().PositionBytes(), 88200);
    EXPECT_EQ(Media().State(), msPaused);
    QTest::mouseClick(form.PaintBox1, Qt::RightButton, {}, QPoint(10, 10));
    EXPECT_EQ(Media().State(), msPlaying);
    QTest::mouseClick(form.PaintBox1, Qt::MiddleButton, {}, QPoint(300, 10));
    EXPECT_EQ(Media().PositionBytes(), 88200);
}

TEST_F(WorkflowTest, AutoScrollTurnsPageByPage)
{
    TfrmMain& form = OpenSong(QStringLiteral("song240"));
    QScrollBar* bar = form.ScrollBox1->horizontalScrollBar();
    const int view = form.ViewWidth();
    ASSERT_EQ(bar->value(), 0);

    Media().SetPositionBytes(std::int64_t{view - 1} * 8820);
    Tick();
    EXPECT_EQ(bar->value(), 0);
    Media().SetPositionBytes(std::int64_t{view} * 8820);
    Tick();
    EXPECT_EQ(bar->value(), view) << "the cursor's column at the left edge";
    Media().SetPositionBytes(100 * 8820);
    Tick();
    EXPECT_EQ(bar->value(), 100);
    Media().SetPositionBytes(4790 * 8820);
    Tick();
    EXPECT_EQ(bar->value(), bar->maximum()) << "the last page";

    // Paused, or with the toggle up, the view stays.
    bar->setValue(0);
    form.btnPause->trigger();
    Tick();
    EXPECT_EQ(bar->value(), 0);
    form.btnPause->trigger();
    form.btnAutoScroll->trigger();
    ASSERT_FALSE(form.btnAutoScroll->isChecked());
    Tick();
    EXPECT_EQ(bar->value(), 0);
}

TEST_F(WorkflowTest, ANewerOpenDropsTheOlderScan)
{
    TfrmMain& form = OpenSong(QStringLiteral("song240"));
    FSongPath = CopySong(QStringLiteral("ten"));
    ASSERT_TRUE(form.OpenAudioFile(FSongPath));
    ASSERT_TRUE(WaitForStrip());
    QTest::qWait(3000);  // time for the long song's scan to finish and be dropped
    EXPECT_EQ(form.BytesPerPixel(), 3528);
    EXPECT_EQ(form.WaveBitmap().width(), form.ViewWidth());
    EXPECT_TRUE(ColumnIsBlack(form.WaveBitmap(), 700));
}

TEST_F(WorkflowTest, ScreenshotWhileTiming)
{
    TfrmMain& form = OpenSong(QStringLiteral("song240"));
    form.memLRC->setPlainText(QStringLiteral("第一句歌词\n第二句歌词\nthe third line\n第四句\n"));
    form.memLRC->setFocus();
    form.memLRC->moveCursor(QTextCursor::Start);
    for (const int step : {1500, 2500, 2000}) {
        Advance(step);
        F2();
    }
    form.txtTitle->setText(QStringLiteral("演示"));
    ASSERT_TRUE(WaitForStrip());
    Tick();
    EXPECT_EQ(form.lblLapseTime->text(), QStringLiteral("00:06.00"));
    EXPECT_TRUE(form.grab().save(QStringLiteral("workflow_timing.png")));
}
