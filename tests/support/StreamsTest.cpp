#include "Exceptions.h"
#include "Streams.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace fs = std::filesystem;

TEST(MemoryStream, ReadWriteSeekAndCopy)
{
    TMemoryStream stream;
    stream.WriteString("hello world");
    EXPECT_EQ(stream.Size(), 11);
    EXPECT_EQ(stream.Position(), 11);

    stream.SetPosition(6);
    char word[8] = {};
    EXPECT_EQ(stream.Read(word, 8), 5);  // short read at the end, no error
    EXPECT_STREQ(word, "world");
    EXPECT_EQ(stream.Read(word, 1), 0);
    EXPECT_THROW(stream.ReadBuffer(word, 1), EReadError);

    // Writing in the middle overwrites; past the end grows.
    stream.SetPosition(0);
    stream.WriteString("J");
    stream.SetPosition(11);
    stream.WriteString("!");
    EXPECT_EQ(stream.Bytes(), "Jello world!");

    // CopyFrom with count 0 copies the whole source from its start.
    TMemoryStream copy;
    EXPECT_EQ(copy.CopyFrom(stream, 0), 12);
    EXPECT_EQ(copy.Bytes(), stream.Bytes());
    stream.SetPosition(6);
    TMemoryStream part;
    part.CopyFrom(stream, 5);
    EXPECT_EQ(part.Bytes(), "world");
    EXPECT_THROW(part.CopyFrom(stream, 5), EReadError);  // only one byte left

    stream.SetSize(5);
    EXPECT_EQ(stream.Bytes(), "Jello");
    EXPECT_LE(stream.Position(), 5);
}

TEST(FileStream, ErrorsCarryThePathAndReason)
{
    try {
        TFileStream file("/nonexistent-dir/x.lrc", TFileStream::Mode::Create);
        FAIL() << "no error";
    } catch (const EFCreateError& error) {
        EXPECT_STREQ(error.what(), "Cannot create file \"/nonexistent-dir/x.lrc\". No such file or directory");
    }
    try {
        ReadFileBytes("/nonexistent-dir/x.lrc");
        FAIL() << "no error";
    } catch (const EFOpenError& error) {
        EXPECT_STREQ(error.what(), "Cannot open file \"/nonexistent-dir/x.lrc\". No such file or directory");
    }
    EXPECT_THROW(ReadFileBytes("/"), EReadError);  // a folder opens but cannot be read
}

TEST(FileStream, RoundTripsBytesExactly)
{
    const fs::path dir = fs::temp_directory_path() / ("qlrc-streams-" + std::to_string(getpid()));
    fs::create_directories(dir);
    std::string bytes;
    for (int i = 0; i < 300000; ++i)
        bytes += static_cast<char>(i * 7);
    TMemoryStream(bytes).SaveToFile((dir / "a.bin").string());
    TMemoryStream loaded;
    loaded.LoadFromFile((dir / "a.bin").string());
    EXPECT_EQ(loaded.Bytes(), bytes);
    EXPECT_EQ(loaded.Position(), 0);
    fs::remove_all(dir);
}

TEST(Exceptions, ListIndexMessage)
{
    EXPECT_STREQ(EListError(7).what(), "List index out of bounds (7)");
    EXPECT_STREQ(EListError(-1).what(), "List index out of bounds (-1)");
}
