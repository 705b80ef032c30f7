// Shared by the workflow tests: MP3s made once per run with sox and lame, the silent
// output with its clock stepped by hand, a settings file of the test's own, message
// boxes recorded and answered by the test, and a shown main window.
#pragma once

#include "Bass.h"
#include "Ini.h"
#include "MainForm.h"
#include "MessageBoxes.h"
#include "TavreloMedia.h"

#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QPlainTextEdit>
#include <QTimer>
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

namespace workflow_test {

inline constexpr std::int64_t kNsPerMs = 1'000'000;

struct TBox {
    QMessageBox::Icon Icon;
    QString Title;
    QString Text;
    QMessageBox::StandardButtons Buttons;
};

// The songs, made on first use: 44.1 kHz stereo, so one second is 176400 decoded bytes.
class Songs {
public:
    static const Songs& Get()
    {
        static const Songs songs;
        return songs;
    }
    QString Path(const QString& Name) const { return FDir.filePath(Name); }
    QString Error;

private:
    Songs()
    {
        if (!FDir.isValid()) {
            Error = QStringLiteral("no temporary folder");
            return;
        }
        // Name, seconds, sox synth arguments.
        Make(QStringLiteral("tone12"), 12, {"sine", "440", "vol", "0.5"});
        Make(QStringLiteral("ten"), 10, {"sine", "330", "vol", "0.7"});
        Make(QStringLiteral("song240"), 240, {"sine", "220", "tremolo", "0.25", "90", "vol", "0.6"});
    }
    void Make(const QString& Name, int Seconds, const QStringList& Synth)
    {
        const QString wav = Path(Name + QStringLiteral(".wav"));
        QStringList soxArgs{"-n", "-r", "44100", "-c", "2", "-b", "16", wav, "synth", QString::number(Seconds)};
        soxArgs << Synth;  // the tone, then its effects
        if (QProcess::execute(QStringLiteral("sox"), soxArgs) != 0 ||
            QProcess::execute(QStringLiteral("lame"), {"--quiet", "-q", "7", "-b", "128", wav,
                                                       Path(Name + QStringLiteral(".mp3"))}) != 0)
            Error = QStringLiteral("sox or lame failed for ") + Name;
        QFile::remove(wav);
    }
    QTemporaryDir FDir;
};

inline void WriteBytes(const QString& Path, const QByteArray& Bytes)
{
    QFile file(Path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << Path.toStdString();
    ASSERT_EQ(file.write(Bytes), Bytes.size());
}

inline QByteArray ReadBytes(const QString& Path)
{
    QFile file(Path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

inline QByteArray Gb18030(const QString& Text)
{
    QStringEncoder encoder("GB18030");
    return encoder.encode(Text);
}

class WorkflowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Songs::Get().Error.isEmpty()) << Songs::Get().Error.toStdString();
        ASSERT_TRUE(FFolder.isValid());
        TIni::SetDefaultFileNameOverride(FFolder.filePath(QStringLiteral("qerimolrc.ini")));
        SetMessageBoxHook([this](QWidget*, QMessageBox::Icon Icon, const QString& Title, const QString& Text,
                                 QMessageBox::StandardButtons Buttons) {
            FBoxes.push_back({Icon, Title, Text, Buttons});
            return FAnswer ? FAnswer(Text) : QMessageBox::Ok;
        });
        BASS_Test_SetClock([this] { return FNow.load(); });
    }

    void TearDown() override
    {
        FForm.reset();
        BASS_Test_SetClock({});
        SetMessageBoxHook({});
        TIni::SetDefaultFileNameOverride({});
    }

    TfrmMain& ShowForm()
    {
        FForm = std::make_unique<TfrmMain>();
        FForm->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(FForm.get()));
        return *FForm;
    }

    // A copy of a made song in the test's own folder (its LRC file is written beside it).
    QString CopySong(const QString& Name, const QString& As = {})
    {
        const QString target = FFolder.filePath(As.isEmpty() ? Name + QStringLiteral(".mp3") : As);
        QFile::remove(target);
        EXPECT_TRUE(QFile::copy(Songs::Get().Path(Name + QStringLiteral(".mp3")), target));
        return target;
    }

    // Opens a copy of a song as tbtnOpen does after its dialog.
    TfrmMain& OpenSong(const QString& Name)
    {
        if (!FForm) ShowForm();
        FSongPath = CopySong(Name);
        EXPECT_TRUE(FForm->OpenAudioFile(FSongPath));
        return *FForm;
    }

    void Advance(int Ms) { FNow += Ms * kNsPerMs; }
    TAudioMedia& Media() { return *FForm->Media(); }
    void Tick() { FForm->MediaUpdate(FForm->Media()); }
    void F2(Qt::KeyboardModifiers Shift = Qt::NoModifier) { QTest::keyClick(FForm->memLRC, Qt::Key_F2, Shift); }
    QStringList Lines() const { return FForm->memLRC->toPlainText().split(u'\n'); }
    void CaretToLine(int Line)
    {
        QTextCursor caret(FForm->memLRC->document()->findBlockByNumber(Line));
        FForm->memLRC->setTextCursor(caret);
    }
    bool WaitForStrip() { return QTest::qWaitFor([this] { return FForm->StripReady(); }, 60000); }

    QTemporaryDir FFolder;
    std::atomic<std::int64_t> FNow{1'000'000 * kNsPerMs};
    std::vector<TBox> FBoxes;
    std::function<QMessageBox::StandardButton(const QString& Text)> FAnswer;
    std::unique_ptr<TfrmMain> FForm;
    QString FSongPath;
};

}  // namespace workflow_test
