// The editor's text rules, apart from any window: time texts and labels, reading
// lyric files in whatever encoding they came in, composing and safely writing
// the saved LRC file. GUI thread only (plain functions, no shared state).
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// "mm:ss.xx" from milliseconds: whole hours dropped, every division truncated
// (187459 -> "03:07.45", 3723456 -> "02:03.45").
QString FormatTime(int ms);

// A time label in front of a line: "[" + time text + "]" + line.
QString LabelledLine(const QString& timeText, const QString& line);

enum class TextEncoding {
    Gb18030,  // the editor's own form (identical to code page 936 for its characters)
    Utf8,     // valid UTF-8 without a byte-order mark
    Utf8Bom,  // valid UTF-8 behind a byte-order mark
};

struct DecodedText {
    QString text;  // line breaks as "\n"
    TextEncoding encoding = TextEncoding::Gb18030;
};

// Bytes of a text or LRC file as text: UTF-8 when they are valid UTF-8 (with or
// without a byte-order mark), otherwise GB18030. CR LF, a lone CR and a lone LF
// each become one line break.
DecodedText DecodeLyricBytes(const QByteArray& bytes);

// Text as bytes in the given encoding. Nothing is replaced or dropped: GB18030
// and UTF-8 both reach every character.
QByteArray EncodeLyricText(const QString& text, TextEncoding encoding);

// The lines of a saved LRC file: the four fixed header lines (the title as
// typed, blanks kept), then the edit box's lines; an empty last line of the
// edit box is not written.
QStringList LrcFileLines(const QString& title, const QString& editText);

// The bytes of a saved LRC file: every line, the last one included, ends in CR LF.
QByteArray ComposeLrcFile(const QString& title, const QString& editText, TextEncoding encoding);

// True when the title has something besides blanks and control characters.
bool HasTitle(const QString& title);

// Writes bytes to path through a temporary file in the same folder that replaces
// the old file only once it is completely written, so a failure never harms an
// existing file. Raises EFCreateError ("Cannot create file "%s". %s") on failure.
void WriteFileReplacing(const QString& path, const QByteArray& bytes);

// The LRC file that belongs to an audio file: same folder, same base name, ".lrc".
QString LrcPathFor(const QString& audioPath);
