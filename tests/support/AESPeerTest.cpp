// DecipherText against a real peer: texts enciphered by the openssl command
// (aes-{128,192,256}-ecb, no padding) with random keys and messages must come back
// byte for byte, zero fill included.
#include "ElAES.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace {

std::string Hex(const std::string& bytes, bool upper)
{
    const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    std::string out;
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

void WriteFile(const std::filesystem::path& path, const std::string& bytes)
{
    std::ofstream file(path, std::ios::binary);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(file.good()) << path;
}

class AESPeer : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/qlrc_aes_peer_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        FDir = pattern;
        ASSERT_EQ(std::system("openssl version >/dev/null 2>&1"), 0) << "the openssl command is needed";
    }
    void TearDown() override
    {
        std::error_code ignored;
        std::filesystem::remove_all(FDir, ignored);
    }

    // Enciphers plain (whole blocks) with openssl; key as raw bytes.
    std::string OpenSslEncipher(const std::string& plain, const std::string& key)
    {
        const auto in = FDir / "plain", out = FDir / "cipher";
        WriteFile(in, plain);
        const std::string command = "openssl enc -aes-" + std::to_string(key.size() * 8) + "-ecb -nopad -K "
                                    + Hex(key, false) + " -in " + in.string() + " -out " + out.string();
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        return ReadFileBytes(out.string());
    }

    std::filesystem::path FDir;
};

}  // namespace

TEST_F(AESPeer, RandomKeysAndMessagesComeBack)
{
    std::mt19937 random(20261208);  // fixed: a failure can be repeated
    constexpr int kCasesPerKeySize = 100;
    int cases = 0;
    for (const std::uint8_t keySize : {kAESKeySize128, kAESKeySize192, kAESKeySize256}) {
        const std::size_t keyBytes = 16 + 8 * std::size_t{keySize};
        for (int i = 0; i < kCasesPerKeySize; ++i) {
            // Pass phrases shorter than, as long as and longer than the key.
            std::string passPhrase(std::uniform_int_distribution<std::size_t>(0, 40)(random), '\0');
            for (char& c : passPhrase)
                c = static_cast<char>(random());
            std::string key(keyBytes, '\0');
            std::copy_n(passPhrase.begin(), std::min(keyBytes, passPhrase.size()), key.begin());

            std::string plain(std::uniform_int_distribution<std::size_t>(1, 300)(random), '\0');
            for (char& c : plain)
                c = static_cast<char>(random());
            const std::size_t length = plain.size();
            plain.resize((length + 15) / 16 * 16, '\0');  // the enciphering side's zero fill

            std::string header(8, '\0');
            for (std::size_t b = 0; b < 8; ++b)
                header[b] = static_cast<char>((static_cast<std::uint64_t>(length) >> (8 * b)) & 0xff);
            const std::string cipher = OpenSslEncipher(plain, key);
            ASSERT_EQ(cipher.size(), plain.size());
            const bool upper = i % 2 == 0;
            const std::string text = Hex(header, upper) + Hex(cipher, upper);

            ASSERT_EQ(DecipherText(text, passPhrase, keySize), plain)
                << "key size " << int{keySize} << ", case " << i << ", pass phrase " << Hex(passPhrase, true);
            ++cases;
        }
    }
    EXPECT_EQ(cases, 3 * kCasesPerKeySize);
    RecordProperty("openssl_cases", cases);
}
