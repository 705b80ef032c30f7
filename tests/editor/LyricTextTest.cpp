// Time texts, lyric file encodings and the saved LRC file.
#include "Exceptions.h"
#include "LyricText.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

}  // namespace

TEST(FormatTime, TruncatesAndDropsHours)
{
    EXPECT_EQ(FormatTime(0), "00:00.00");
    EXPECT_EQ(FormatTime(59999), "00:59.99");
    EXPECT_EQ(FormatTime(60000), "01:00.00");
    EXPECT_EQ(FormatTime(3600000), "00:00.00");
    EXPECT_EQ(FormatTime(187459), "03:07.45");
    EXPECT_EQ(FormatTime(3723456), "02:03.45");
    EXPECT_EQ(FormatTime(12345), "00:12.34");
    EXPECT_EQ(LabelledLine(FormatTime(12345), "words"), "[00:12.34]words");
    EXPECT_EQ(LabelledLine(QString(), "guide"), "[]guide");
}

TEST(LyricFiles, DecodesEveryLineBreakAndEncoding)
{
    EXPECT_EQ(DecodeLyricBytes("a\nb\n").text, "a\nb\n");
    EXPECT_EQ(DecodeLyricBytes("a\rb\r").text, "a\nb\n");
    EXPECT_EQ(DecodeLyricBytes("a\r\nb\r\n\r\nc").text, "a\nb\n\nc");
    EXPECT_EQ(DecodeLyricBytes("a\n\rb").text, "a\n\nb");

    const QString chinese = QString::fromUtf8("你好，世界 𠀀");
    const DecodedText utf8 = DecodeLyricBytes(chinese.toUtf8());
    EXPECT_EQ(utf8.text, chinese);
    EXPECT_EQ(utf8.encoding, TextEncoding::Utf8);

    const DecodedText bom = DecodeLyricBytes("\xEF\xBB\xBF" + chinese.toUtf8());
    EXPECT_EQ(bom.text, chinese);
    EXPECT_EQ(bom.encoding, TextEncoding::Utf8Bom);

    const QByteArray gb = "\xC4\xE3\xBA\xC3";  // 你好 in code page 936
    const DecodedText cp936 = DecodeLyricBytes(gb);
    EXPECT_EQ(cp936.text, QString::fromUtf8("你好"));
    EXPECT_EQ(cp936.encoding, TextEncoding::Gb18030);
}

TEST(LyricFiles, EncodingRoundTripsWithoutLoss)
{
    const QString text = QString::fromUtf8("[00:01.00]你好 naïve ½ 𠀀 🎵 €\n第二行");
    for (const TextEncoding encoding : {TextEncoding::Gb18030, TextEncoding::Utf8, TextEncoding::Utf8Bom}) {
        const QByteArray bytes = EncodeLyricText(text, encoding);
        const DecodedText back = DecodeLyricBytes(bytes);
        EXPECT_EQ(back.text, text);
        if (encoding != TextEncoding::Gb18030) {
            EXPECT_EQ(back.encoding, encoding);
        }
    }
    EXPECT_EQ(EncodeLyricText(QString::fromUtf8("你好"), TextEncoding::Gb18030), QByteArray("\xC4\xE3\xBA\xC3"));
}

TEST(LyricFiles, SavedFileLayout)
{
    EXPECT_EQ(ComposeLrcFile("Song", "[00:01.20]first\n[00:05.00]second", TextEncoding::Gb18030),
              QByteArray("[al:Qerimo]\r\n[ar:Marevo]\r\n[ti:Song]\r\n[by:Tavrelo]\r\n"
                         "[00:01.20]first\r\n[00:05.00]second\r\n"));
    // An empty last line is not written; the title keeps its blanks.
    EXPECT_EQ(ComposeLrcFile(" x ", "a\n", TextEncoding::Gb18030),
              QByteArray("[al:Qerimo]\r\n[ar:Marevo]\r\n[ti: x ]\r\n[by:Tavrelo]\r\na\r\n"));
    EXPECT_EQ(ComposeLrcFile("t", "", TextEncoding::Gb18030),
              QByteArray("[al:Qerimo]\r\n[ar:Marevo]\r\n[ti:t]\r\n[by:Tavrelo]\r\n"));
    EXPECT_EQ(ComposeLrcFile("t", "\n\n", TextEncoding::Gb18030).count("\r\n"), 6);
    // Lines of any length are written whole.
    const QString longLine = QString(100000, QLatin1Char('x'));
    EXPECT_TRUE(ComposeLrcFile("t", longLine, TextEncoding::Utf8).contains(longLine.toUtf8() + "\r\n"));

    EXPECT_FALSE(HasTitle(""));
    EXPECT_FALSE(HasTitle("  \t "));
    EXPECT_TRUE(HasTitle(" x "));

    EXPECT_EQ(LrcPathFor("/music/a.mp3"), "/music/a.lrc");
    EXPECT_EQ(LrcPathFor("/music/a.b.MP3"), "/music/a.b.lrc");
    EXPECT_EQ(LrcPathFor("/mu.sic/song"), "/mu.sic/song.lrc");
}

TEST(LyricFiles, ReplacingAFileNeverHarmsTheOldOne)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("a.lrc");
    WriteFileReplacing(path, "first");
    EXPECT_EQ(ReadAll(path), "first");
    WriteFileReplacing(path, "second, longer");
    EXPECT_EQ(ReadAll(path), "second, longer");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"a.lrc"});  // no temporary left

    try {
        WriteFileReplacing(dir.filePath("missing/a.lrc"), "x");
        FAIL() << "wrote into a folder that does not exist";
    } catch (const EFCreateError& error) {
        EXPECT_TRUE(QString(error.what()).startsWith("Cannot create file \"" + dir.filePath("missing/a.lrc") + "\". "))
            << error.what();
    }

    ASSERT_EQ(chmod(dir.path().toLocal8Bit().constData(), 0555), 0);
    if (access(dir.path().toLocal8Bit().constData(), W_OK) != 0) {  // not when running as root
        EXPECT_THROW(WriteFileReplacing(path, "third"), EFCreateError);
        EXPECT_EQ(ReadAll(path), "second, longer");
    }
    chmod(dir.path().toLocal8Bit().constData(), 0755);
}
