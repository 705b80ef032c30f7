// qerimolrc: the editor's entry. `qerimolrc [AUDIO.mp3 [LYRICS.txt]]`; without
// arguments the demo song beside the executable is opened when it is there.
#include "Application.h"
#include "MainForm.h"

#include <QDir>
#include <QFileInfo>
#include <QTimer>

namespace {

// The demo made by the build (demo/ beside the executable) or installed under share/.
QString DemoFile(const QString& name)
{
    const QDir exeDir(QCoreApplication::applicationDirPath());
    for (const QString& candidate : {exeDir.filePath(QStringLiteral("demo/") + name),
                                     exeDir.filePath(QStringLiteral("../share/qerimolrc/demo/") + name)})
        if (QFileInfo::exists(candidate)) return QDir::cleanPath(candidate);
    return {};
}

}  // namespace

int main(int argc, char** argv)
{
    TQerimoApplication application(argc, argv);
    TfrmMain frmMain;
    frmMain.show();

    const QStringList arguments = application.arguments().mid(1);
    QString audio = arguments.value(0);
    QString lyrics = arguments.value(1);
    if (arguments.isEmpty()) {
        audio = DemoFile(QStringLiteral("demo.mp3"));
        lyrics = DemoFile(QStringLiteral("demo.txt"));
    }
    // From inside the event loop, so that a failure reaches the application's
    // exception handler and is shown like any other.
    if (!audio.isEmpty() || !lyrics.isEmpty())
        QTimer::singleShot(0, &frmMain, [&frmMain, audio, lyrics] { frmMain.OpenFromCommandLine(audio, lyrics); });
    return application.exec();
}
