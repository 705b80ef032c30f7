// Saving the LRC file (bytes, refusals, overwrite question, failures that leave the old
// file whole, encodings), loading lyric text (line ends, encodings, the menu), and the
// questions before typed text would be thrown away.
#include "WorkflowFixture.h"

#include "Exceptions.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QStackedWidget>

#include <unistd.h>

using namespace workflow_test;

namespace {

class SaveLoad : public WorkflowTest {
protected:
    TfrmMain& Opened()
    {
        OpenSong(QStringLiteral("tone12"));
        FLrcPath = FFolder.filePath(QStringLiteral("tone12.lrc"));
        return *FForm;
    }
    void Save() { QTest::mouseClick(FForm->btnSave, Qt::LeftButton); }
    QString FLrcPath;
};

}  // namespace

TEST_F(SaveLoad, TheSavedFileHasTheHeaderThenEveryLineWithCrLf)
{
    TfrmMain& form = Opened();
    form.memLRC->setPlainText(QStringLiteral("[00:01.20]first\n[00:05.00]second\n"));
    form.txtTitle->setText(QStringLiteral("Song"));
    Save();
    EXPECT_EQ(ReadBytes(FLrcPath), QByteArray("[al:Qerimo]\r\n[ar:Marevo]\r\n[ti:Song]\r\n[by:Tavrelo]\r\n"
                                              "[00:01.20]first\r\n[00:05.00]second\r\n"));
    ASSERT_EQ(FBoxes.size(), 1u);
    EXPECT_EQ(FBoxes[0].Text, QStringLiteral("保存LRC成功！"));
    EXPECT_EQ(FBoxes[0].Icon, QMessageBox::Information);
    EXPECT_FALSE(form.memLRC->document()->isModified());

    // Pasted header tags stay; an empty box gives the header alone.
    QFile::remove(FLrcPath);
    form.memLRC->setPlainText(QStringLiteral("[ti:old]\n[00:01.00]x"));
    Save();
    EXPECT_EQ(ReadBytes(FLrcPath), QByteArray("[al:Qerimo]\r\n[ar:Marevo]\r\n[ti:Song]\r\n[by:Tavrelo]\r\n"
                                              "[ti:old]\r\n[00:01.00]x\r\n"));
    QFile::remove(FLrcPath);
    form.memLRC->clear();
    Save();
    EXPECT_EQ(ReadBytes(FLrcPath), QByteArray("[al:Qerimo]\r\n[ar:Marevo]\r\n[ti:Song]\r\n[by:Tavrelo]\r\n"));
}

TEST_F(SaveLoad, TitleMustHaveTextButKeepsItsBlanks)
{
    TfrmMain& form = Opened();
    form.memLRC->setPlainText(QStringLiteral("x"));
    for (const QString& blank : {QString(), QStringLiteral("  "), QStringLiteral("\t ")}) {
        form.txtTitle->setText(blank);
        Save();
        EXPECT_FALSE(QFileInfo::exists(FLrcPath));
    }
    ASSERT_EQ(FBoxes.size(), 3u);
    EXPECT_EQ(FBoxes[0].Text, QStringLiteral("请输入标题！"));
    EXPECT_EQ(FBoxes[0].Title, QStringLiteral("提醒"));

    form.txtTitle->setText(QStringLiteral(" x "));
    Save();
    EXPECT_TRUE(ReadBytes(FLrcPath).contains("\r\n[ti: x ]\r\n"));
}

TEST_F(SaveLoad, OverwriteIsAskedAndCancelKeepsTheFile)
{
    TfrmMain& form = Opened();
    form.txtTitle->setText(QStringLiteral("t"));
    form.memLRC->setPlainText(QStringLiteral("one"));
    Save();
    const QByteArray first = ReadBytes(FLrcPath);

    form.memLRC->setPlainText(QStringLiteral("two"));
    FAnswer = [](const QString& Text) {
        return Text == QStringLiteral("LRC文件已经存在，是否覆盖？") ? QMessageBox::Cancel : QMessageBox::Ok;
    };
    Save();
    ASSERT_EQ(FBoxes.size(), 2u);
    EXPECT_EQ(FBoxes[1].Text, QStringLiteral("LRC文件已经存在，是否覆盖？"));
    EXPECT_EQ(FBoxes[1].Icon, QMessageBox::Question);
    EXPECT_EQ(FBoxes[1].Buttons, QMessageBox::Ok | QMessageBox::Cancel);
    EXPECT_EQ(ReadBytes(FLrcPath), first);

    FAnswer = {};
    Save();
    EXPECT_TRUE(ReadBytes(FLrcPath).endsWith("\r\ntwo\r\n"));
    EXPECT_EQ(FBoxes.back().Text, QStringLiteral("保存LRC成功！"));
}

TEST_F(SaveLoad, AFailedSaveShowsTheErrorAndLeavesTheOldFileWhole)
{
    TfrmMain& form = Opened();
    form.txtTitle->setText(QStringLiteral("t"));
    form.memLRC->setPlainText(QStringLiteral("old"));
    Save();
    const QByteArray old = ReadBytes(FLrcPath);
    form.memLRC->moveCursor(QTextCursor::End);
    form.memLRC->insertPlainText(QStringLiteral(" new"));

    // The song's folder becomes a plain file: nothing can be created inside it.
    const QString folder = FFolder.path();
    const QString moved = folder + QStringLiteral(".moved");
    ASSERT_TRUE(QDir().rename(folder, moved));
    WriteBytes(folder, "not a folder");
    FBoxes.clear();
    Save();
    ASSERT_EQ(FBoxes.size(), 1u);
    EXPECT_TRUE(FBoxes[0].Text.startsWith(QStringLiteral("Cannot create file \"") + FLrcPath + "\". "))
        << FBoxes[0].Text.toStdString();
    EXPECT_EQ(FBoxes[0].Icon, QMessageBox::Critical);
    EXPECT_TRUE(form.memLRC->document()->isModified()) << "not saved";
    ASSERT_TRUE(QFile::remove(folder));
    ASSERT_TRUE(QDir().rename(moved, folder));
    EXPECT_EQ(ReadBytes(FLrcPath), old);

    // A read-only folder: only where permissions bind (not for root).
    if (::geteuid() != 0) {
        ASSERT_TRUE(QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        FBoxes.clear();
        Save();
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        ASSERT_EQ(FBoxes.size(), 2u);  // the overwrite question, then the error
        EXPECT_TRUE(FBoxes[1].Text.startsWith(QStringLiteral("Cannot create file"))) << FBoxes[1].Text.toStdString();
        EXPECT_EQ(ReadBytes(FLrcPath), old);
    }
    // Nothing of the temporary file is left behind.
    EXPECT_EQ(QDir(folder).entryList({QStringLiteral("tone12.lrc*")}, QDir::Files | QDir::Hidden).size(), 1);
}

TEST_F(SaveLoad, LineEndsOfTextFilesAndCrLfOnSave)
{
    TfrmMain& form = Opened();
    const std::pair<const char*, QByteArray> files[] = {
        {"lf.txt", "one\ntwo\nthree\n"}, {"cr.txt", "one\rtwo\rthree"}, {"crlf.txt", "one\r\ntwo\r\nthree\r\n"}};
    for (const auto& [name, bytes] : files) {
        const QString path = FFolder.filePath(QString::fromLatin1(name));
        WriteBytes(path, bytes);
        form.LoadLyricsText(path);
        EXPECT_EQ(form.memLRC->document()->blockCount() - (bytes.endsWith('\n') ? 1 : 0), 3) << name;
        EXPECT_EQ(form.memLRC->textCursor().position(), 0) << name;
    }
    form.txtTitle->setText(QStringLiteral("t"));
    Save();
    EXPECT_TRUE(ReadBytes(FLrcPath).endsWith("[by:Tavrelo]\r\none\r\ntwo\r\nthree\r\n"));
}

TEST_F(SaveLoad, EncodingsAreKeptAndNoCharacterIsLost)
{
    TfrmMain& form = Opened();
    form.txtTitle->setText(QStringLiteral("歌"));
    // Outside code page 936 (a CJK extension B ideograph, an emoji) and a no-break space.
    const QString rare = QStringLiteral("𠀀😀") + QChar(0x00A0) + QStringLiteral("é");
    const QString header = QStringLiteral("[al:Qerimo]\r\n[ar:Marevo]\r\n[ti:歌]\r\n[by:Tavrelo]\r\n");

    // GB18030 in, GB18030 out.
    const QString gbPath = FFolder.filePath(QStringLiteral("gb.txt"));
    WriteBytes(gbPath, Gb18030(QStringLiteral("第一行\r\n")));
    form.LoadLyricsText(gbPath);
    EXPECT_EQ(form.LyricEncoding(), TextEncoding::Gb18030);
    form.memLRC->moveCursor(QTextCursor::End);
    form.memLRC->insertPlainText(rare);
    Save();
    EXPECT_EQ(ReadBytes(FLrcPath), Gb18030(header + QStringLiteral("第一行\r\n") + rare + QStringLiteral("\r\n")));

    // UTF-8 (with and without a byte-order mark) in, the same out.
    for (const QByteArray& bom : {QByteArray(), QByteArray("\xEF\xBB\xBF")}) {
        const QString utfPath = FFolder.filePath(QStringLiteral("utf.txt"));
        WriteBytes(utfPath, bom + QStringLiteral("第一行\n").toUtf8());
        form.LoadLyricsText(utfPath);
        form.memLRC->moveCursor(QTextCursor::End);
        form.memLRC->insertPlainText(rare);
        Save();
        EXPECT_EQ(ReadBytes(FLrcPath), bom + (header + QStringLiteral("第一行\r\n") + rare + QStringLiteral("\r\n")).toUtf8());
    }

    // Test mode shows the lines of a UTF-8 file and of a GB18030 file alike.
    for (const bool utf8 : {true, false}) {
        const QString text = QStringLiteral("[00:00.50]第一行") + rare + QStringLiteral("\r\n");
        WriteBytes(FLrcPath, utf8 ? QByteArray("\xEF\xBB\xBF") + text.toUtf8() : Gb18030(text));
        form.btnTest->trigger();
        Advance(600);
        Tick();
        EXPECT_EQ(form.lblLRC->text(), QStringLiteral("第一行") + rare) << utf8;
    }
}

TEST_F(SaveLoad, LoadingThroughTheMenuAndItsErrors)
{
    TfrmMain& form = Opened();
    // Qt's edit actions stay in the box's menu, with the load command added.
    std::unique_ptr<QMenu> menu(form.CreateLrcContextMenu(QPoint(5, 5)));
    QStringList names;
    for (QAction* action : menu->actions()) names << action->text();
    EXPECT_TRUE(names.join(u'|').contains(QStringLiteral("Copy"))) << names.join(u'|').toStdString();
    EXPECT_TRUE(names.join(u'|').contains(QStringLiteral("Paste")));
    EXPECT_EQ(menu->actions().last(), form.mmiLoadLrcText);

    const QString path = FFolder.filePath(QStringLiteral("menu.txt"));
    WriteBytes(path, "from the menu\n");
    QStringList filters;
    form.SetFileChooser([&](const QString& Filter) {
        filters << Filter;
        return filters.size() == 1 ? QString() : path;  // cancelled the first time
    });
    form.mmiLoadLrcText->trigger();
    EXPECT_TRUE(form.memLRC->toPlainText().isEmpty());
    form.mmiLoadLrcText->trigger();
    EXPECT_EQ(filters, (QStringList{QStringLiteral("文本文件 (*.txt)"), QStringLiteral("文本文件 (*.txt)")}));
    EXPECT_EQ(form.memLRC->toPlainText(), QStringLiteral("from the menu\n"));

    // A file that cannot be read leaves the text.
    EXPECT_THROW(form.LoadLyricsText(FFolder.filePath(QStringLiteral("missing.txt"))), EFOpenError);
    EXPECT_EQ(form.memLRC->toPlainText(), QStringLiteral("from the menu\n"));
}

// ---- Nothing typed is lost ------------------------------------------------------------

TEST_F(SaveLoad, OpeningAnotherSongAsksBeforeDiscardingTypedText)
{
    TfrmMain& form = Opened();
    form.memLRC->setFocus();
    QTest::keyClicks(form.memLRC, QStringLiteral("typed"));
    form.txtTitle->setText(QStringLiteral("title"));
    TAudioMedia* playing = form.Media();
    const QString other = CopySong(QStringLiteral("ten"));

    FAnswer = [](const QString&) { return QMessageBox::Cancel; };
    EXPECT_FALSE(form.OpenAudioFile(other));
    ASSERT_EQ(FBoxes.size(), 1u);
    EXPECT_EQ(FBoxes[0].Title, QStringLiteral("提醒"));
    EXPECT_EQ(FBoxes[0].Icon, QMessageBox::Question);
    EXPECT_EQ(form.memLRC->toPlainText(), QStringLiteral("typed"));
    EXPECT_EQ(form.Media(), playing);
    EXPECT_EQ(form.MediaFileName(), FSongPath);

    // Saved text is not asked about.
    FAnswer = {};
    Save();
    FBoxes.clear();
    EXPECT_TRUE(form.OpenAudioFile(other));
    EXPECT_TRUE(FBoxes.empty());
    EXPECT_TRUE(form.memLRC->toPlainText().isEmpty());
    EXPECT_TRUE(form.txtTitle->text().isEmpty());
    EXPECT_EQ(form.MediaFileName(), other);

    // Answering OK discards.
    QTest::keyClicks(form.memLRC, QStringLiteral("more"));
    EXPECT_TRUE(form.OpenAudioFile(FSongPath));
    EXPECT_EQ(FBoxes.size(), 1u);
    EXPECT_TRUE(form.memLRC->toPlainText().isEmpty());
}

TEST_F(SaveLoad, ClosingAsksBeforeDiscardingTypedText)
{
    TfrmMain& form = Opened();
    form.memLRC->setFocus();
    QTest::keyClicks(form.memLRC, QStringLiteral("typed"));
    FAnswer = [](const QString&) { return QMessageBox::Cancel; };
    form.btnClose->trigger();
    ASSERT_EQ(FBoxes.size(), 1u);
    EXPECT_TRUE(form.isVisible());
    FAnswer = {};
    form.btnClose->trigger();
    EXPECT_FALSE(form.isVisible());
}

TEST_F(SaveLoad, AFailedOpenLeavesTheWindowAsItWas)
{
    TfrmMain& form = Opened();
    form.memLRC->setPlainText(QStringLiteral("kept"));
    form.memLRC->document()->setModified(false);
    form.txtTitle->setText(QStringLiteral("title"));
    Advance(1000);
    TAudioMedia* playing = form.Media();

    const QString missing = FFolder.filePath(QStringLiteral("missing.mp3"));
    const QString notAudio = FFolder.filePath(QStringLiteral("text.mp3"));
    WriteBytes(notAudio, QByteArray(5000, 'x'));
    const QString lrcIsFolder = CopySong(QStringLiteral("ten"), QStringLiteral("withfolder.mp3"));
    ASSERT_TRUE(QDir().mkpath(FFolder.filePath(QStringLiteral("withfolder.lrc"))));
    for (const QString& path : {missing, notAudio, lrcIsFolder}) {
        try {
            form.OpenAudioFile(path);
            ADD_FAILURE() << "opened " << path.toStdString();
        } catch (const Exception& error) {
            EXPECT_TRUE(QString::fromUtf8(error.what()).contains(QStringLiteral("\"") + (path == lrcIsFolder ? path.chopped(4) + ".lrc" : path)))
                << error.what();
        }
        EXPECT_EQ(form.memLRC->toPlainText(), QStringLiteral("kept"));
        EXPECT_EQ(form.txtTitle->text(), QStringLiteral("title"));
        EXPECT_EQ(form.MediaFileName(), FSongPath);
        EXPECT_EQ(form.StatusBar1Panels[1]->text(), FSongPath);
        EXPECT_EQ(form.Media(), playing);
        EXPECT_EQ(Media().State(), msPlaying);
        EXPECT_EQ(Media().PositionMs(), 1000);
    }
}

TEST_F(SaveLoad, TheOpenCommandOffersMp3FilesAndCancelChangesNothing)
{
    TfrmMain& form = ShowForm();
    const QString song = CopySong(QStringLiteral("ten"));
    QStringList filters;
    QString answer;
    form.SetFileChooser([&](const QString& Filter) {
        filters << Filter;
        return answer;
    });
    form.tbtnOpen->trigger();
    EXPECT_EQ(filters, QStringList{QStringLiteral("mp3文件 (*.mp3)")});
    EXPECT_EQ(form.Media(), nullptr);
    EXPECT_TRUE(form.memLRC->isReadOnly()) << "the guide stays";

    answer = song;
    form.tbtnOpen->trigger();
    EXPECT_EQ(form.MediaFileName(), song);
    EXPECT_EQ(Media().State(), msPlaying);
    EXPECT_TRUE(form.btnMake->isChecked());
    EXPECT_EQ(form.Notebook1->currentIndex(), 0);
}
