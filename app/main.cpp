// qerimolrc: the editor's entry. `qerimolrc [AUDIO.mp3 [LYRICS.txt]]`; without
// arguments the demo song beside the executable is opened when it is there.
#include "Application.h"
#include "MainForm.h"
#include "Startup.h"

#include <QTimer>

int main(int argc, char** argv)
{
    TQerimoApplication application(argc, argv);
    TfrmMain frmMain;
    frmMain.show();

    const TStartupFiles files = StartupFiles(application.arguments().mid(1), QCoreApplication::applicationDirPath());
    // From inside the event loop, so that a failure is shown like any other.
    if (!files.Audio.isEmpty() || !files.Lyrics.isEmpty())
        QTimer::singleShot(0, &frmMain, Guarded([&frmMain, files] { frmMain.OpenFromCommandLine(files.Audio, files.Lyrics); }));
    return application.exec();
}
