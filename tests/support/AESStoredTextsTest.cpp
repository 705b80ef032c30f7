// The two stored texts decipher to the plain texts kept in tools/cipher/.
#include "ElAES.h"
#include "StoredTexts.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

const std::string kCipherDir = std::string(QLRC_SOURCE_DIR) + "/tools/cipher/";

bool IsUpperHex(std::string_view text)
{
    for (const char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')))
            return false;
    return true;
}

}  // namespace

TEST(AESStoredTexts, GuideDeciphersToTheCodePage936Text)
{
    ASSERT_TRUE(IsUpperHex(StoredGuideText));
    EXPECT_EQ(StoredGuideText.size(), 2192u);  // header and 68 blocks
    const std::string result = DecipherText(StoredGuideText, GuidePassPhrase, kAESKeySize128);
    const std::string plain = ReadFileBytes(kCipherDir + "guide.gb18030");
    ASSERT_GT(plain.size(), 1000u);
    ASSERT_EQ(result.size(), (plain.size() + 15) / 16 * 16);
    EXPECT_EQ(result.substr(0, plain.size()), plain);
    EXPECT_EQ(result.substr(plain.size()), std::string(result.size() - plain.size(), '\0'));
    // The edit box takes the text up to the first NUL: exactly the plain text.
    EXPECT_EQ(std::string(result.c_str()), plain);
}

TEST(AESStoredTexts, GuideBytesAreTheUtf8SourceInCodePage936)
{
    // The committed bytes are the script's conversion of guide.txt (CR LF line ends).
    const std::string converted = ::testing::TempDir() + "qlrc_guide_converted";
    const std::string command = "sed 's/$/\\r/' " + kCipherDir + "guide.txt | iconv -f UTF-8 -t CP936 > " + converted;
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    EXPECT_EQ(ReadFileBytes(converted), ReadFileBytes(kCipherDir + "guide.gb18030"));
    std::remove(converted.c_str());

    // The guide walks through the window's own commands.
    const std::string utf8 = ReadFileBytes(kCipherDir + "guide.txt");
    for (const char* text : {"QerimoLRC歌词编辑器", "打开音频文件", "播放", "插入标签(F2)", "F2", "保存", "LRC测试"})
        EXPECT_NE(utf8.find(text), std::string::npos) << text;
}

TEST(AESStoredTexts, AddressOpensAsHttp)
{
    ASSERT_TRUE(IsUpperHex(StoredAddressText));
    std::string address = ReadFileBytes(kCipherDir + "address.txt");
    while (!address.empty() && (address.back() == '\n' || address.back() == '\r'))
        address.pop_back();
    ASSERT_EQ(address.find("://"), std::string::npos) << "stored without its scheme";
    const std::string deciphered = DecipherText(StoredAddressText, AddressPassPhrase, kAESKeySize128);
    EXPECT_EQ(deciphered.size() % 16, 0u);
    EXPECT_EQ(HelpWebAddress(deciphered), "http://" + address);
}

TEST(AESStoredTexts, HelpWebAddressTrimsAfterJoining)
{
    using namespace std::string_literals;
    EXPECT_EQ(HelpWebAddress("example.org/lrc\0\0\0"s), "http://example.org/lrc");
    EXPECT_EQ(HelpWebAddress("example.org \t\r\n\0"s), "http://example.org");
    // Leading blanks of the deciphered text stay: the prefix stands before them.
    EXPECT_EQ(HelpWebAddress("  example.org"), "http://  example.org");
    EXPECT_EQ(HelpWebAddress("\0\0"s), "http://");
    EXPECT_EQ(HelpWebAddress(""), "http://");
}
