// The settings file: the integer rules of its values, where it lives, reading
// without creating it, writing and the write failure.
#include "AppFixture.h"
#include "Exceptions.h"
#include "Ini.h"

#include <QDir>
#include <QFileInfo>

TEST(IniText, HexadecimalDecimalAndRejectedForms)
{
    struct Case {
        const char* text;
        std::int32_t expected;
        bool ok;
    };
    const Case cases[] = {
        {"50", 50, true},        {"0x32", 50, true},     {"0X32", 50, true},  {"$32", 50, true},
        {"$ff", 255, true},      {"-7", -7, true},       {"+8", 8, true},     {" 60 ", 60, true},
        {"$FFFFFFFF", -1, true}, {"0", 0, true},         {"abc", 99, false},  {"", 99, false},
        {"0x", 99, false},       {"$", 99, false},       {"12 3", 99, false}, {"0x1G", 99, false},
        {"1.5", 99, false},      {"2147483648", 99, false}, {"$123456789", 99, false}, {"-", 99, false},
    };
    for (const Case& c : cases) {
        bool ok = !c.ok;
        EXPECT_EQ(IniTextToInteger(QString::fromLatin1(c.text), 99, &ok), c.expected) << c.text;
        EXPECT_EQ(ok, c.ok) << c.text;
    }
}

TEST(IniLocation, BesideTheExecutableUnlessItsFolderIsReadOnly)
{
    QTemporaryDir exeFolder, configFolder;
    ASSERT_TRUE(exeFolder.isValid() && configFolder.isValid());
    const QString exe = exeFolder.filePath(QStringLiteral("qerimolrc"));
    const QString beside = exeFolder.filePath(QStringLiteral("qerimolrc.ini"));
    const QString inConfig = configFolder.filePath(QStringLiteral("qerimolrc.ini"));

    // The extension, when there is one, is replaced; dots in folder names stay.
    EXPECT_EQ(TIni::ResolveFileName(QStringLiteral("/opt/a.b/editor.exe"), {}, true), QStringLiteral("/opt/a.b/editor.ini"));
    EXPECT_EQ(TIni::ResolveFileName(exe, configFolder.path(), true), beside);
    EXPECT_EQ(TIni::ResolveFileName(exe, configFolder.path(), false), inConfig);

    QFile(inConfig).open(QIODevice::WriteOnly);
    EXPECT_EQ(TIni::ResolveFileName(exe, configFolder.path(), true), inConfig) << "an existing file is used";
    QFile(beside).open(QIODevice::WriteOnly);
    EXPECT_EQ(TIni::ResolveFileName(exe, configFolder.path(), false), beside) << "the file beside wins";
}

TEST(IniLocation, EmptyOrBlankNameSelectsTheDefault)
{
    TIni::SetDefaultFileNameOverride({});
    const QString expected = TIni::DefaultFileName();
    EXPECT_TRUE(expected.endsWith(QStringLiteral("/app_tests.ini"))) << expected.toStdString();
    EXPECT_EQ(TIni().FileName, expected);
    EXPECT_EQ(TIni(QStringLiteral("   ")).FileName, expected);
    EXPECT_EQ(TIni(QStringLiteral("/tmp/x.ini")).FileName, QStringLiteral("/tmp/x.ini"));
}

using IniFile = AppFixture;

TEST_F(IniFile, ReadingAMissingFileGivesTheDefaultAndCreatesNothing)
{
    TIni ini;
    ini.Section = QStringLiteral("Config");
    ini.DefaultInteger = 50;
    EXPECT_EQ(ini.ReadInteger(QStringLiteral("MiliSecondsPerPixel")), 50);
    EXPECT_FALSE(QFileInfo::exists(FIniPath));
}

TEST_F(IniFile, WritesAStandardEntryInPlainDecimal)
{
    {
        TIni ini;
        ini.Section = QStringLiteral("Config");
        ini.WriteInteger(QStringLiteral("MiliSecondsPerPixel"), 120);
    }
    const QByteArray bytes = ReadIni();
    EXPECT_TRUE(bytes.contains("[Config]")) << bytes.toStdString();
    EXPECT_TRUE(bytes.contains("MiliSecondsPerPixel=120")) << bytes.toStdString();
    TIni ini;
    ini.Section = QStringLiteral("Config");
    EXPECT_EQ(ini.ReadInteger(QStringLiteral("MiliSecondsPerPixel")), 120);
}

TEST_F(IniFile, OtherEntriesSurviveAWrite)
{
    WriteIni("[Config]\nMiliSecondsPerPixel=0x32\n\n[Other]\nKeep=yes\n");
    TIni ini;
    ini.Section = QStringLiteral("Config");
    ini.WriteInteger(QStringLiteral("MiliSecondsPerPixel"), 70);
    const QByteArray bytes = ReadIni();
    EXPECT_TRUE(bytes.contains("MiliSecondsPerPixel=70"));
    EXPECT_TRUE(bytes.contains("Keep=yes"));
}

TEST_F(IniFile, AFailedWriteSaysWhichFile)
{
    // A folder where the file should be: not writable even for root.
    ASSERT_TRUE(QDir().mkpath(FIniPath));
    TIni ini;
    ini.Section = QStringLiteral("Config");
    try {
        ini.WriteInteger(QStringLiteral("MiliSecondsPerPixel"), 70);
        FAIL() << "no error";
    } catch (const Exception& error) {
        EXPECT_EQ(std::string(error.what()), "Unable to write to " + FIniPath.toStdString());
    }
}

TEST_F(IniFile, TheConfigurationFolderIsMadeOnFirstWrite)
{
    const QString nested = FFolder.filePath(QStringLiteral("config/qerimolrc/qerimolrc.ini"));
    TIni ini(nested);
    ini.Section = QStringLiteral("Config");
    ini.WriteInteger(QStringLiteral("MiliSecondsPerPixel"), 30);
    EXPECT_TRUE(QFileInfo::exists(nested));
}

TEST_F(IniFile, SettingIsBroughtIntoTheDialogsRange)
{
    const std::pair<const char*, std::int32_t> cases[] = {
        {"0x32", 50}, {"abc", 50}, {"0", 20}, {"5000", 1000}, {"-3", 20}, {"20", 20}, {"1000", 1000}, {"$3E8", 1000},
    };
    for (const auto& [stored, expected] : cases) {
        WriteIni(QByteArray("[Config]\nMiliSecondsPerPixel=") + stored + "\n");
        EXPECT_EQ(ReadMiliSecondsPerPixel(), expected) << stored;
    }
    WriteIni("[Config]\nMiliSecondsPerPixel=1,2\n");
    EXPECT_EQ(ReadMiliSecondsPerPixel(), 50) << "a list is not an integer";
    WriteIni("[Elsewhere]\nMiliSecondsPerPixel=70\n");
    EXPECT_EQ(ReadMiliSecondsPerPixel(), 50);
}
