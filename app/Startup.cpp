#include "Startup.h"

#include <QDir>
#include <QFileInfo>

namespace {

QString DemoFile(const QString& ExecutableFolder, const QString& Name)
{
    const QDir folder(ExecutableFolder);
    for (const QString& candidate : {folder.filePath(QStringLiteral("demo/") + Name),
                                     folder.filePath(QStringLiteral("../share/qerimolrc/demo/") + Name)})
        if (QFileInfo::exists(candidate)) return QDir::cleanPath(candidate);
    return {};
}

}  // namespace

TStartupFiles StartupFiles(const QStringList& Arguments, const QString& ExecutableFolder)
{
    if (!Arguments.isEmpty()) return {Arguments.value(0), Arguments.value(1)};
    return {DemoFile(ExecutableFolder, QStringLiteral("demo.mp3")), DemoFile(ExecutableFolder, QStringLiteral("demo.txt"))};
}
