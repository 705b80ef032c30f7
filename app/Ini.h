// TIni: the small wrapper over the settings file, and where that file lives.
// Create one, set Section (and DefaultInteger before a read), do one read or one
// write, free it. GUI thread only (QSettings objects are not shared).
#pragma once

#include <QString>

#include <cstdint>
#include <memory>

class QSettings;

// The one configurable value and the range the settings dialog offers.
inline constexpr std::int32_t kDefaultMiliSecondsPerPixel = 50;
inline constexpr std::int32_t kMinMiliSecondsPerPixel = 20;
inline constexpr std::int32_t kMaxMiliSecondsPerPixel = 1000;

class TIni {
public:
    // An empty or blank name selects DefaultFileName().
    explicit TIni(const QString& AFileName = QString());
    ~TIni();
    TIni(const TIni&) = delete;
    TIni& operator=(const TIni&) = delete;

    // The value of Key in Section, or DefaultInteger when the key or the file is
    // missing or the text is not an integer. "0x"/"0X" (with digits after it) and
    // "$" introduce hexadecimal.
    std::int32_t ReadInteger(const QString& Key);
    // Stores Value under Key in Section as plain decimal digits. Throws Exception
    // "Unable to write to <path>" when the file cannot be written.
    void WriteInteger(const QString& Key, std::int32_t Value);

    const QString FileName;
    QString Section;
    std::int32_t DefaultInteger = 0;

    // The settings file of this program: the executable's path with its extension
    // replaced by ".ini"; when that file is absent and the executable's folder cannot
    // be written, the same name in the user's configuration folder.
    static QString DefaultFileName();
    // The rule behind DefaultFileName, with its inputs spelled out.
    static QString ResolveFileName(const QString& ExecutablePath, const QString& ConfigFolder,
                                   bool ExecutableFolderWritable);
    // Tests point every default-path TIni at a file of their own; empty restores the rule.
    static void SetDefaultFileNameOverride(const QString& Path);

private:
    QSettings& Settings();

    std::unique_ptr<QSettings> FSettings;  // made on first use
};

// The integer rules of the settings file applied to one value's text; *Ok tells
// whether the text was an integer (Default is returned when it was not).
std::int32_t IniTextToInteger(const QString& Text, std::int32_t Default, bool* Ok = nullptr);

// The milliseconds-per-pixel setting as the window uses it: read with default 50 and
// brought into 20..1000 (a stored 0 would divide by zero when the strip is built).
std::int32_t ReadMiliSecondsPerPixel();
