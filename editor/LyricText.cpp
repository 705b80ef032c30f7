#include "LyricText.h"

#include "Exceptions.h"

#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>

QString FormatTime(int ms)
{
    const int minutes = (ms % 3600000) / 60000;
    const int seconds = (ms % 60000) / 1000;
    const int hundredths = (ms % 1000) / 10;
    return QString::asprintf("%.2d:%.2d.%.2d", minutes, seconds, hundredths);  // at least two digits each
}

QString LabelledLine(const QString& timeText, const QString& line)
{
    return QStringLiteral("[") + timeText + QStringLiteral("]") + line;
}

namespace {

bool DecodesAsUtf8(const QByteArray& bytes, QString& text)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    text = decoder.decode(bytes);
    return !decoder.hasError();
}

QString WithNewlines(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

}  // namespace

DecodedText DecodeLyricBytes(const QByteArray& bytes)
{
    DecodedText result;
    QString text;
    if (bytes.startsWith("\xEF\xBB\xBF") && DecodesAsUtf8(bytes.mid(3), text)) {
        result.encoding = TextEncoding::Utf8Bom;
    } else if (DecodesAsUtf8(bytes, text)) {
        // Plain ASCII is valid UTF-8 too; saving it as GB18030 would give the same bytes.
        result.encoding = TextEncoding::Utf8;
    } else {
        QStringDecoder decoder("GB18030", QStringDecoder::Flag::Stateless);
        text = decoder.decode(bytes);
        result.encoding = TextEncoding::Gb18030;
    }
    result.text = WithNewlines(text);
    return result;
}

QByteArray EncodeLyricText(const QString& text, TextEncoding encoding)
{
    if (encoding == TextEncoding::Gb18030) {
        QStringEncoder encoder("GB18030", QStringEncoder::Flag::Stateless);
        const QByteArray bytes = encoder.encode(text);
        if (!encoder.hasError())
            return bytes;
        // Only broken text (a lone surrogate) fails here; keep it as UTF-8 rather than lose it.
    }
    QByteArray bytes = text.toUtf8();
    if (encoding == TextEncoding::Utf8Bom)
        bytes.prepend("\xEF\xBB\xBF");
    return bytes;
}

QStringList LrcFileLines(const QString& title, const QString& editText)
{
    QStringList lines = editText.split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    lines.insert(0, QStringLiteral("[by:Tavrelo]"));
    lines.insert(0, QStringLiteral("[ti:%1]").arg(title));
    lines.insert(0, QStringLiteral("[ar:Marevo]"));
    lines.insert(0, QStringLiteral("[al:Qerimo]"));
    return lines;
}

QByteArray ComposeLrcFile(const QString& title, const QString& editText, TextEncoding encoding)
{
    QString text;
    for (const QString& line : LrcFileLines(title, editText))
        text += line + QStringLiteral("\r\n");
    return EncodeLyricText(text, encoding);
}

bool HasTitle(const QString& title)
{
    for (const QChar c : title)
        if (c.unicode() > 32)
            return true;
    return false;
}

void WriteFileReplacing(const QString& path, const QByteArray& bytes)
{
    QSaveFile file(path);
    auto fail = [&] {
        const QString reason = file.errorString();
        file.cancelWriting();
        throw EFCreateError(path.toStdString(), reason.toStdString());
    };
    if (!file.open(QIODevice::WriteOnly))
        fail();
    if (file.write(bytes) != bytes.size())
        fail();
    if (!file.commit())
        throw EFCreateError(path.toStdString(), file.errorString().toStdString());
}

QString LrcPathFor(const QString& audioPath)
{
    // The last extension of the file name is replaced; folders are left alone.
    const qsizetype slash = audioPath.lastIndexOf(QLatin1Char('/'));
    const qsizetype dot = audioPath.lastIndexOf(QLatin1Char('.'));
    const QString stem = dot > slash ? audioPath.left(dot) : audioPath;
    return stem + QStringLiteral(".lrc");
}
