// Which files the program opens at start: those named on the command line
// (`qerimolrc [AUDIO.mp3 [LYRICS.txt]]`), or without any, the demo song made by the
// build (demo/ beside the executable, or share/qerimolrc/demo/ when installed).
#pragma once

#include <QString>
#include <QStringList>

struct TStartupFiles {
    QString Audio;
    QString Lyrics;
};

TStartupFiles StartupFiles(const QStringList& Arguments, const QString& ExecutableFolder);
