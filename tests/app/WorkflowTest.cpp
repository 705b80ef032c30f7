// The timing workflow from start to finish on a real MP3 (open, load lyrics, F2 at
// known clock positions, save, test mode), the stamps' source, and the caret and
// scroll rules of a label insertion.
#include "WorkflowFixture.h"

#include "FR_Ctrls.h"
#include "LyricText.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStackedWidget>
#include <QStatusBar>

using namespace workflow_test;

TEST_F(WorkflowTest, TimingASongFromOpenToTestMode)
{
    TfrmMain& form = OpenSong(QStringLiteral("tone12"));
    EXPECT_EQ(Media().State(), msPlaying);
    EXPECT_EQ(form.lblTotalTime->text(), QStringLiteral("00:12.00"));
    EXPECT_TRUE(form.btnInsertLabel->isVisible() && form.btnSave->isVisible() && form.txtTitle->isVisible());
    EXPECT_FALSE(form.memLRC->isReadOnly());
    EXPECT_TRUE(form.memLRC->toPlainText().isEmpty());
    EXPECT_EQ(form.StatusBar1Panels[1]->text(), FSongPath);

    // Lyrics from a GB18030 text file; the last line has no line break.
    const QString lyrics = FFolder.filePath(QStringLiteral("lyrics.txt"));
    WriteBytes(lyrics, Gb18030(QStringLiteral("第一行\r\nsecond\r\n第三行\r\nlast line")));
    form.LoadLyricsText(lyrics);
    EXPECT_EQ(form.memLRC->textCursor().position(), 0);
    form.memLRC->setFocus();

    Advance(1230);
    F2();
    Advance(2000);
    F2(Qt::ShiftModifier | Qt::ControlModifier);  // whatever the shift state
    Advance(1000);
    form.btnPause->trigger();  // paused at 4.23 s
    Advance(5000);
    F2();
    form.btnPause->trigger();
    Advance(1500);
    F2();  // the last line: the caret stays at its end
    Advance(100);
    F2();  // so a second label goes in front of the first
    EXPECT_EQ(Lines(), (QStringList{"[00:01.23]第一行", "[00:03.23]second", "[00:04.23]第三行",
                                    "[00:05.83][00:05.73]last line"}));

    form.txtTitle->setText(QStringLiteral("测试 Song"));
    QTest::mouseClick(form.btnSave, Qt::LeftButton);
    ASSERT_EQ(FBoxes.size(), 1u);
    EXPECT_EQ(FBoxes[0].Text, QStringLiteral("保存LRC成功！"));
    EXPECT_EQ(FBoxes[0].Title, QStringLiteral("提醒"));
    const QString lrcPath = FFolder.filePath(QStringLiteral("tone12.lrc"));
    EXPECT_EQ(ReadBytes(lrcPath),
              Gb18030(QStringLiteral("[al:Qerimo]\r\n[ar:Marevo]\r\n[ti:测试 Song]\r\n[by:Tavrelo]\r\n"
                                     "[00:01.23]第一行\r\n[00:03.23]second\r\n[00:04.23]第三行\r\n"
                                     "[00:05.83][00:05.73]last line\r\n")));

    // Test mode plays the saved file from the beginning.
    Advance(777);
    form.btnTest->trigger();
    EXPECT_EQ(form.Notebook1->currentIndex(), 1);
    EXPECT_FALSE(form.pnlInfo->isVisible());
    EXPECT_TRUE(form.btnTest->isChecked());
    EXPECT_EQ(form.lblLRC->palette().color(QPalette::Window), QColor(0xC0, 0xDC, 0xC0));
    EXPECT_TRUE(form.lblLRC->autoFillBackground());
    EXPECT_EQ(Media().PositionMs(), 0);
    const std::pair<int, QString> shown[] = {
        {0, QString()},           {1229, QString()},        {1230, "第一行"},   {3229, "第一行"},
        {3230, "second"},        {4230, "第三行"},          {5730, "last line"}, {5800, "last line"},
        {5830, "last line"},     {11000, "last line"},
    };
    int at = 0;
    for (const auto& [ms, text] : shown) {
        Advance(ms - at);
        at = ms;
        Tick();
        EXPECT_EQ(form.lblLRC->text(), text) << ms;
    }
    ASSERT_TRUE(WaitForStrip());
    Tick();
    EXPECT_TRUE(form.grab().save(QStringLiteral("workflow_test_mode.png")));

    // Back to editing: the song starts again, the text is kept.
    form.btnMake->trigger();
    EXPECT_EQ(form.Notebook1->currentIndex(), 0);
    EXPECT_TRUE(form.pnlInfo->isVisible());
    EXPECT_EQ(Media().PositionMs(), 0);
    EXPECT_EQ(Lines().size(), 4);
}

TEST_F(WorkflowTest, StampsComeFromTheAudioClock)
{
    TfrmMain& form = ShowForm();
    // Before any file: an empty label in front of the guide's line.
    form.memLRC->moveCursor(QTextCursor::Start);
    F2();
    EXPECT_TRUE(Lines()[0].startsWith(QStringLiteral("[]QerimoLRC"))) << Lines()[0].toStdString();

    OpenSong(QStringLiteral("tone12"));
    form.memLRC->setPlainText(QStringLiteral("a\nb\nc\nd\n"));
    form.memLRC->moveCursor(QTextCursor::Start);
    Tick();
    const QString shown = form.lblLapseTime->text();
    // The clock moves on after the last tick: the stamp is where the music is now.
    Advance(190);
    F2();
    EXPECT_EQ(shown, QStringLiteral("00:00.00"));
    EXPECT_EQ(Lines()[0], QStringLiteral("[00:00.19]a"));

    Advance(2000);
    form.btnStop->trigger();  // stopped: the controller reports 0
    F2();
    EXPECT_EQ(Lines()[1], QStringLiteral("[00:00.00]b"));

    form.btnPlay->trigger();
    Advance(13000);  // past the end of the 12 s track
    ASSERT_TRUE(QTest::qWaitFor([&] { return Media().State() == msStopped; }, 5000));
    F2();
    EXPECT_EQ(Lines()[2], QStringLiteral("[00:00.00]c"));
}

TEST_F(WorkflowTest, FormatTimeTruncatesAndDropsHours)
{
    EXPECT_EQ(FormatTime(0), QStringLiteral("00:00.00"));
    EXPECT_EQ(FormatTime(59999), QStringLiteral("00:59.99"));
    EXPECT_EQ(FormatTime(60000), QStringLiteral("01:00.00"));
    EXPECT_EQ(FormatTime(187459), QStringLiteral("03:07.45"));
    EXPECT_EQ(FormatTime(3600000), QStringLiteral("00:00.00"));
    EXPECT_EQ(FormatTime(3723456), QStringLiteral("02:03.45"));
}

TEST_F(WorkflowTest, CaretAndScrollRulesOfALabel)
{
    TfrmMain& form = OpenSong(QStringLiteral("tone12"));
    Advance(8345);
    form.btnPause->trigger();
    QStringList text;
    for (int i = 0; i < 100; ++i) text << QStringLiteral("line %1").arg(i);
    text[60] = QString(10000, u'x') + QStringLiteral("END");  // far wider than the view
    form.memLRC->setPlainText(text.join(u'\n'));
    QScrollBar* vertical = form.memLRC->verticalScrollBar();
    QScrollBar* horizontal = form.memLRC->horizontalScrollBar();
    ASSERT_EQ(vertical->value(), 0);

    CaretToLine(3);
    F2();
    EXPECT_EQ(Lines()[3], QStringLiteral("[00:08.34]line 3"));
    EXPECT_EQ(form.memLRC->textCursor().blockNumber(), 4);
    EXPECT_EQ(form.memLRC->textCursor().positionInBlock(), 0);
    EXPECT_FALSE(form.memLRC->textCursor().hasSelection());
    EXPECT_EQ(vertical->value(), 3) << "the view moves down by the line's index";

    // Down by 50 from 3 passes the caret's line; it is then scrolled back into view.
    CaretToLine(50);
    F2();
    EXPECT_EQ(form.memLRC->textCursor().blockNumber(), 51);
    EXPECT_EQ(vertical->value(), 51);

    // The long line: labelled whole, the view back at its first column.
    QTextCursor end(form.memLRC->document()->findBlockByNumber(60));
    end.movePosition(QTextCursor::EndOfBlock);
    form.memLRC->setTextCursor(end);
    ASSERT_GT(horizontal->value(), 0);
    F2();
    EXPECT_EQ(Lines()[60], QStringLiteral("[00:08.34]") + QString(10000, u'x') + QStringLiteral("END"));
    EXPECT_EQ(horizontal->value(), 0);
    EXPECT_EQ(form.memLRC->textCursor().blockNumber(), 61);

    // A caret on an empty last line, or in an empty box, inserts nothing.
    form.memLRC->setPlainText(QStringLiteral("a\n"));
    form.memLRC->moveCursor(QTextCursor::End);
    F2();
    EXPECT_EQ(form.memLRC->toPlainText(), QStringLiteral("a\n"));
    form.memLRC->clear();
    F2();
    EXPECT_TRUE(form.memLRC->toPlainText().isEmpty());

    // Shift+Enter makes a real line break, so each visible line can take its label.
    form.memLRC->setPlainText(QStringLiteral("ab"));
    QTextCursor middle(form.memLRC->document());
    middle.setPosition(1);
    form.memLRC->setTextCursor(middle);
    QTest::keyClick(form.memLRC, Qt::Key_Return, Qt::ShiftModifier);
    EXPECT_EQ(form.memLRC->document()->blockCount(), 2);
    EXPECT_FALSE(form.memLRC->document()->toRawText().contains(QChar::LineSeparator));
}
