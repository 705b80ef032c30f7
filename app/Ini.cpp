#include "Ini.h"

#include "Exceptions.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

#include <algorithm>
#include <limits>

namespace {

QString& DefaultFileNameOverride()
{
    static QString path;
    return path;
}

// ChangeFileExt: the last extension of the file name part, if any, becomes ".ini".
QString WithIniExtension(const QString& path)
{
    const QFileInfo info(path);
    const QString name = info.fileName();
    const qsizetype dot = name.lastIndexOf(u'.');
    const QString base = dot > 0 ? name.left(dot) : name;
    return QDir(info.path()).filePath(base + QStringLiteral(".ini"));
}

}  // namespace

std::int32_t IniTextToInteger(const QString& Text, std::int32_t Default, bool* Ok)
{
    if (Ok) *Ok = false;
    const QString text = Text.trimmed();
    bool ok = false;
    std::int64_t value = 0;
    if (text.startsWith(u'$') || (text.size() > 2 && (text.startsWith(QLatin1String("0x")) ||
                                                      text.startsWith(QLatin1String("0X"))))) {
        // Hexadecimal: up to 32 bits, read as a signed 32-bit pattern.
        const QString digits = text.mid(text.startsWith(u'$') ? 1 : 2);
        if (digits.isEmpty() || digits.size() > 8) return Default;
        const std::uint32_t bits = digits.toUInt(&ok, 16);
        if (!ok) return Default;
        value = static_cast<std::int32_t>(bits);
    } else {
        // Decimal: an optional sign, then digits only (no blanks or separators inside).
        const qsizetype first = (text.startsWith(u'-') || text.startsWith(u'+')) ? 1 : 0;
        if (text.size() == first) return Default;
        for (qsizetype i = first; i < text.size(); ++i)
            if (text[i] < u'0' || text[i] > u'9') return Default;
        value = text.toLongLong(&ok, 10);
        if (!ok || value < std::numeric_limits<std::int32_t>::min() ||
            value > std::numeric_limits<std::int32_t>::max())
            return Default;
    }
    if (Ok) *Ok = true;
    return static_cast<std::int32_t>(value);
}

TIni::TIni(const QString& AFileName)
    : FileName(AFileName.trimmed().isEmpty() ? DefaultFileName() : AFileName)
{
}

TIni::~TIni() = default;

QSettings& TIni::Settings()
{
    if (!FSettings) FSettings = std::make_unique<QSettings>(FileName, QSettings::IniFormat);
    return *FSettings;
}

std::int32_t TIni::ReadInteger(const QString& Key)
{
    // A missing file must not be created by a read: QSettings only writes on sync()
    // after a change, and reads change nothing.
    const QVariant value = Settings().value(Section + u'/' + Key);
    // A value with commas comes back as a list: not an integer.
    if (!value.isValid() || value.typeId() != QMetaType::QString) return DefaultInteger;
    return IniTextToInteger(value.toString(), DefaultInteger);
}

void TIni::WriteInteger(const QString& Key, std::int32_t Value)
{
    const QFileInfo info(FileName);
    // The configuration folder may not exist yet the first time.
    if (!QDir().mkpath(info.absolutePath()) || info.isDir())
        throw Exception("Unable to write to " + FileName.toStdString());
    QSettings& settings = Settings();
    settings.setValue(Section + u'/' + Key, QString::number(Value));
    settings.sync();
    if (settings.status() != QSettings::NoError)
        throw Exception("Unable to write to " + FileName.toStdString());
}

QString TIni::ResolveFileName(const QString& ExecutablePath, const QString& ConfigFolder,
                              bool ExecutableFolderWritable)
{
    const QString beside = WithIniExtension(ExecutablePath);
    if (QFileInfo::exists(beside) || ConfigFolder.isEmpty()) return beside;
    const QString inConfig = QDir(ConfigFolder).filePath(QFileInfo(beside).fileName());
    if (QFileInfo::exists(inConfig)) return inConfig;
    return ExecutableFolderWritable ? beside : inConfig;
}

QString TIni::DefaultFileName()
{
    if (!DefaultFileNameOverride().isEmpty()) return DefaultFileNameOverride();
    const QString exe = QCoreApplication::applicationFilePath();
    const QFileInfo folder(QFileInfo(exe).absolutePath());
    return ResolveFileName(exe, QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation),
                           folder.isWritable());
}

void TIni::SetDefaultFileNameOverride(const QString& Path)
{
    DefaultFileNameOverride() = Path;
}

std::int32_t ReadMiliSecondsPerPixel()
{
    TIni ini;
    ini.Section = QStringLiteral("Config");
    ini.DefaultInteger = kDefaultMiliSecondsPerPixel;
    return std::clamp(ini.ReadInteger(QStringLiteral("MiliSecondsPerPixel")), kMinMiliSecondsPerPixel,
                      kMaxMiliSecondsPerPixel);
}
