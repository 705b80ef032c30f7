// AES decryption: the FIPS-197 example vectors, the pass-phrase key rule, the stored
// text layout, hexadecimal reading and every failure with its class and message.
#include "ElAES.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <typeinfo>
#include <vector>

namespace {

std::string Bytes(const std::string& hex)
{
    std::string out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return out;
}

template <std::size_t N>
std::array<std::uint8_t, N> Array(const std::string& hex)
{
    const std::string bytes = Bytes(hex);
    std::array<std::uint8_t, N> out{};
    EXPECT_EQ(bytes.size(), N);
    for (std::size_t i = 0; i < N && i < bytes.size(); ++i)
        out[i] = static_cast<std::uint8_t>(bytes[i]);
    return out;
}

std::string Str(const TAESBuffer& block)
{
    return std::string(block.begin(), block.end());
}

// The FIPS-197 column words of one printed round key: first byte lowest.
std::array<std::uint32_t, 4> Words(const std::string& roundKeyHex)
{
    const auto b = Array<16>(roundKeyHex);
    std::array<std::uint32_t, 4> w{};
    for (std::size_t c = 0; c < 4; ++c)
        w[c] = std::uint32_t{b[4 * c]} | std::uint32_t{b[4 * c + 1]} << 8 | std::uint32_t{b[4 * c + 2]} << 16
               | std::uint32_t{b[4 * c + 3]} << 24;
    return w;
}

// MixColumns written bytewise from FIPS-197 5.1.3, independent of the library's
// word-wise InvMixColumns: applying it to a decryption round key must give back the
// printed forward round key.
std::uint8_t XTime(std::uint8_t a)
{
    return static_cast<std::uint8_t>((a << 1) ^ ((a & 0x80) ? 0x1b : 0));
}

std::uint32_t MixColumn(std::uint32_t w)
{
    std::uint8_t a[4];
    for (int i = 0; i < 4; ++i)
        a[i] = static_cast<std::uint8_t>(w >> (8 * i));
    std::uint32_t out = 0;
    for (int i = 0; i < 4; ++i) {
        const std::uint8_t x = a[i], y = a[(i + 1) % 4], z = a[(i + 2) % 4], v = a[(i + 3) % 4];
        const auto b = static_cast<std::uint8_t>(XTime(x) ^ XTime(y) ^ y ^ z ^ v);  // 02·x ^ 03·y ^ z ^ v
        out |= std::uint32_t{b} << (8 * i);
    }
    return out;
}

template <std::size_t WordCount>
void ExpectScheduleMatches(const std::array<std::uint32_t, WordCount>& dk, const std::vector<std::string>& forward)
{
    const std::size_t rounds = WordCount / 4 - 1;
    ASSERT_EQ(forward.size(), rounds + 1);
    for (std::size_t r = 0; r <= rounds; ++r) {
        const auto expected = Words(forward[r]);
        for (std::size_t c = 0; c < 4; ++c) {
            const std::uint32_t word = dk[4 * r + c];
            const bool outer = r == 0 || r == rounds;
            EXPECT_EQ(outer ? word : MixColumn(word), expected[c]) << "round " << r << " column " << c;
        }
    }
}

template <std::size_t WordCount>
void ExpectRoundKey(const std::array<std::uint32_t, WordCount>& dk, std::size_t round, const std::string& hex)
{
    const auto expected = Words(hex);
    for (std::size_t c = 0; c < 4; ++c)
        EXPECT_EQ(dk[4 * round + c], expected[c]) << "round " << round << " column " << c;
}

// Runs f, requiring an exception of exactly class E with exactly this message.
template <class E>
void ExpectError(const std::function<void()>& f, const std::string& message)
{
    try {
        f();
        ADD_FAILURE() << "no exception, expected " << message;
    } catch (const E& error) {
        EXPECT_EQ(typeid(error), typeid(E)) << "raised a subclass: " << typeid(error).name();
        EXPECT_EQ(std::string(error.what()), message);
    } catch (const std::exception& error) {
        ADD_FAILURE() << "wrong class " << typeid(error).name() << ": " << error.what();
    }
}

const std::string kPlain = "00112233445566778899aabbccddeeff";

// A stored text: length header then the blocks, as hexadecimal digits.
std::string Stored(std::int64_t headerValue, const std::string& blocksHex)
{
    std::string header;
    for (int i = 0; i < 8; ++i) {
        static const char digits[] = "0123456789ABCDEF";
        const auto byte = static_cast<unsigned>((static_cast<std::uint64_t>(headerValue) >> (8 * i)) & 0xff);
        header += digits[byte >> 4];
        header += digits[byte & 15];
    }
    return header + blocksHex;
}

}  // namespace

// ---- FIPS-197 Appendix C (and A.1 / B for the AES-128 schedule) -----------------

TEST(AESVectors, Aes128AppendixC1)
{
    const auto dk = ExpandDecryptionKey(Array<16>("000102030405060708090a0b0c0d0e0f"));
    ExpectScheduleMatches(dk, {
        "000102030405060708090a0b0c0d0e0f", "d6aa74fdd2af72fadaa678f1d6ab76fe", "b692cf0b643dbdf1be9bc5006830b3fe",
        "b6ff744ed2c2c9bf6c590cbf0469bf41", "47f7f7bc95353e03f96c32bcfd058dfd", "3caaa3e8a99f9deb50f3af57adf622aa",
        "5e390f7df7a69296a7553dc10aa31f6b", "14f9701ae35fe28c440adf4d4ea9c026", "47438735a41c65b9e016baf4aebf7ad2",
        "549932d1f08557681093ed9cbe2c974e", "13111d7fe3944a17f307a78b4d2b30c5",
    });
    // Equivalent inverse cipher listing: round[1].ik_sch is the transformed round-9 key.
    ExpectRoundKey(dk, 9, "13aa29be9c8faff6f770f58000f7bf03");
    EXPECT_EQ(Str(DecryptBlock(Array<16>("69c4e0d86a7b0430d8cdb78070b4c55a"), dk)), Bytes(kPlain));
}

TEST(AESVectors, Aes128AppendixA1AndB)
{
    const auto dk = ExpandDecryptionKey(Array<16>("2b7e151628aed2a6abf7158809cf4f3c"));
    const std::vector<std::string> inverse = {  // decryption round keys, round 10 first
        "d014f9a8c9ee2589e13f0cc8b6630ca6", "0c7b5a631319eafeb0398890664cfbb4", "df7d925a1f62b09da320626ed6757324",
        "12c07647c01f22c7bc42d2f37555114a", "6efcd876d2df54807c5df034c917c3b9", "6ea30afcbc238cf6ae82a4b4b54a338d",
        "90884413d280860a12a128421bc89739", "7c1f13f74208c219c021ae480969bf7b", "cc7505eb3e17d1ee82296c51c9481133",
        "2b3708a7f262d405bc3ebdbf4b617d62", "2b7e151628aed2a6abf7158809cf4f3c",
    };
    for (std::size_t i = 0; i < inverse.size(); ++i)
        ExpectRoundKey(dk, 10 - i, inverse[i]);
    EXPECT_EQ(Str(DecryptBlock(Array<16>("3925841d02dc09fbdc118597196a0b32"), dk)),
              Bytes("3243f6a8885a308d313198a2e0370734"));
}

TEST(AESVectors, Aes192AppendixC2)
{
    const auto dk = ExpandDecryptionKey(Array<24>("000102030405060708090a0b0c0d0e0f1011121314151617"));
    ExpectScheduleMatches(dk, {
        "000102030405060708090a0b0c0d0e0f", "10111213141516175846f2f95c43f4fe", "544afef55847f0fa4856e2e95c43f4fe",
        "40f949b31cbabd4d48f043b810b7b342", "58e151ab04a2a5557effb5416245080c", "2ab54bb43a02f8f662e3a95d66410c08",
        "f501857297448d7ebdf1c6ca87f33e3c", "e510976183519b6934157c9ea351f1e0", "1ea0372a995309167c439e77ff12051e",
        "dd7e0e887e2fff68608fc842f9dcc154", "859f5f237a8d5a3dc0c02952beefd63a", "de601e7827bcdf2ca223800fd8aeda32",
        "a4970a331a78dc09c418c271e3a41d5d",
    });
    ExpectRoundKey(dk, 11, "d6bebd0dc209ea494db073803e021bb9");
    EXPECT_EQ(Str(DecryptBlock(Array<16>("dda97ca4864cdfe06eaf70a0ec0d7191"), dk)), Bytes(kPlain));
}

TEST(AESVectors, Aes256AppendixC3)
{
    const auto dk = ExpandDecryptionKey(
        Array<32>("000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f"));
    ExpectScheduleMatches(dk, {
        "000102030405060708090a0b0c0d0e0f", "101112131415161718191a1b1c1d1e1f", "a573c29fa176c498a97fce93a572c09c",
        "1651a8cd0244beda1a5da4c10640bade", "ae87dff00ff11b68a68ed5fb03fc1567", "6de1f1486fa54f9275f8eb5373b8518d",
        "c656827fc9a799176f294cec6cd5598b", "3de23a75524775e727bf9eb45407cf39", "0bdc905fc27b0948ad5245a4c1871c2f",
        "45f5a66017b2d387300d4d33640a820a", "7ccff71cbeb4fe5413e6bbf0d261a7df", "f01afafee7a82979d7a5644ab3afe640",
        "2541fe719bf500258813bbd55a721c0a", "4e5a6699a9f24fe07e572baacdf8cdea", "24fc79ccbf0979e9371ac23c6d68de36",
    });
    const std::vector<std::string> equivalent = {  // round[0..14].ik_sch of the listing
        "24fc79ccbf0979e9371ac23c6d68de36", "34f1d1ffbfceaa2ffce9e25f2558016e", "5e1648eb384c350a7571b746dc80e684",
        "c8a305808b3f7bd043274870d9b1e331", "b5708e13665a7de14d3d824ca9f151c2", "74da7ba3439c7e50c81833a09a96ab41",
        "3ca69715d32af3f22b67ffade4ccd38e", "f85fc4f3374605f38b844df0528e98e1", "de69409aef8c64e7f84d0c5fcfab2c23",
        "aed55816cf19c100bcc24803d90ad511", "15c668bd31e5247d17c168b837e6207c", "7fd7850f61cc991673db890365c89d12",
        "2a2840c924234cc026244cc5202748c4", "1a1f181d1e1b1c191217101516131411", "000102030405060708090a0b0c0d0e0f",
    };
    for (std::size_t i = 0; i < equivalent.size(); ++i)
        ExpectRoundKey(dk, 14 - i, equivalent[i]);
    EXPECT_EQ(Str(DecryptBlock(Array<16>("8ea2b7ca516745bfeafc49904b496089"), dk)), Bytes(kPlain));
}

TEST(AESVectors, StreamFormsMatchBlockForm)
{
    // Three blocks of C.3's ciphertext through the raw-key and expanded-key stream forms.
    const auto key = Array<32>("000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f");
    const std::string cipher = Bytes("8ea2b7ca516745bfeafc49904b496089");
    TMemoryStream rawSource(cipher + cipher + cipher), rawDest;
    DecryptStreamEcb(rawSource, 48, key, rawDest);
    TMemoryStream expandedSource(cipher + cipher + cipher), expandedDest;
    DecryptStreamEcb(expandedSource, 48, ExpandDecryptionKey(key), expandedDest);
    const std::string plain = Bytes(kPlain);
    EXPECT_EQ(rawDest.Bytes(), plain + plain + plain);
    EXPECT_EQ(expandedDest.Bytes(), rawDest.Bytes());
    EXPECT_EQ(rawSource.Position(), 48);
}

// ---- DecipherText: key rule, layout, key sizes -----------------------------------

TEST(AESDecipherText, PassPhraseKeyRule)
{
    // C.1 again, the key given as a pass phrase of 16 bytes, used byte for byte.
    const std::string fipsKey = Bytes("000102030405060708090a0b0c0d0e0f");
    EXPECT_EQ(DecipherText(Stored(16, "69C4E0D86A7B0430D8CDB78070B4C55A"), fipsKey, kAESKeySize128), Bytes(kPlain));

    const std::string cipherHex = "69C4E0D86A7B0430D8CDB78070B4C55A8EA2B7CA516745BFEAFC49904B496089";
    const std::string cipher = Bytes(cipherHex);
    const auto viaKey = [&](const TAESKey128& key) {
        TMemoryStream source(cipher), dest;
        DecryptStreamEcb(source, static_cast<std::uint32_t>(cipher.size()), key, dest);
        return dest.Bytes();
    };
    // 10 characters: the last 6 key bytes stay zero.
    TAESKey128 shortKey{};
    for (std::size_t i = 0; i < 10; ++i)
        shortKey[i] = static_cast<std::uint8_t>("shortpass!"[i]);
    EXPECT_EQ(DecipherText(Stored(32, cipherHex), "shortpass!", kAESKeySize128), viaKey(shortKey));
    // 20 characters: only the first 16 count.
    EXPECT_EQ(DecipherText(Stored(32, cipherHex), "Wq4Tz8Rn2Kv6Ym3HXXXX", kAESKeySize128),
              DecipherText(Stored(32, cipherHex), "Wq4Tz8Rn2Kv6Ym3H", kAESKeySize128));
    // Empty: the all-zero key.
    EXPECT_EQ(DecipherText(Stored(32, cipherHex), "", kAESKeySize128), viaKey(TAESKey128{}));
    // The 24- and 32-byte keys follow the same rule.
    EXPECT_EQ(DecipherText(Stored(16, "DDA97CA4864CDFE06EAF70A0EC0D7191"),
                           Bytes("000102030405060708090a0b0c0d0e0f1011121314151617") + "ignored", kAESKeySize192),
              Bytes(kPlain));
    EXPECT_EQ(DecipherText(Stored(16, "8EA2B7CA516745BFEAFC49904B496089"),
                           Bytes("000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f"), kAESKeySize256),
              Bytes(kPlain));
}

TEST(AESDecipherText, HeaderIsReadPastNotUsed)
{
    const std::string key = Bytes("000102030405060708090a0b0c0d0e0f");
    const std::string twoBlocks = "69C4E0D86A7B0430D8CDB78070B4C55A69C4E0D86A7B0430D8CDB78070B4C55A";
    const std::string expected = Bytes(kPlain) + Bytes(kPlain);
    for (const std::int64_t header : {std::int64_t{20}, std::int64_t{0}, std::int64_t{-1}, std::int64_t{1} << 40}) {
        const std::string result = DecipherText(Stored(header, twoBlocks), key, kAESKeySize128);
        EXPECT_EQ(result.size(), 32u) << header;
        EXPECT_EQ(result, expected) << header;
    }
}

TEST(AESDecipherText, DigitCaseDoesNotMatter)
{
    const std::string key = Bytes("000102030405060708090a0b0c0d0e0f");
    const std::string upper = Stored(16, "69C4E0D86A7B0430D8CDB78070B4C55A");
    std::string lower = upper, mixed = upper;
    for (std::size_t i = 0; i < upper.size(); ++i) {
        lower[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(upper[i])));
        if (i % 2)
            mixed[i] = lower[i];
    }
    EXPECT_EQ(DecipherText(lower, key, kAESKeySize128), Bytes(kPlain));
    EXPECT_EQ(DecipherText(mixed, key, kAESKeySize128), Bytes(kPlain));
    EXPECT_EQ(HexToBytes("0aFfA0c3"), Bytes("0affa0c3"));
}

TEST(AESDecipherText, UnknownKeySizeGivesEmptyAfterTheHeader)
{
    const std::string text = Stored(16, "69C4E0D86A7B0430D8CDB78070B4C55A");
    for (const int keySize : {3, 4, 128, 255})
        EXPECT_EQ(DecipherText(text, "Wq4Tz8Rn2Kv6Ym3H", static_cast<std::uint8_t>(keySize)), "") << keySize;
    // The header is still read: too short a text fails even then.
    ExpectError<EReadError>([] { DecipherText("00", "x", 3); }, "Stream read error");
    // Blocks that are not whole are not looked at when nothing is deciphered.
    EXPECT_EQ(DecipherText("000000000000000001", "x", 3), "");
}

TEST(AESDecipherText, ZeroFillIsKept)
{
    // A block of zero bytes enciphered with the all-zero AES-128 key (the well-known
    // 66E94BD4...); the header says 3 bytes, yet the whole block comes back.
    const std::string key(16, '\0');
    TMemoryStream source(Bytes("66e94bd4ef8a2c3b884cfa59ca342b2e")), dest;
    DecryptStreamEcb(source, 16, TAESKey128{}, dest);
    EXPECT_EQ(dest.Bytes(), std::string(16, '\0'));
    const std::string result = DecipherText(Stored(3, "66E94BD4EF8A2C3B884CFA59CA342B2E"), key, 0);
    EXPECT_EQ(result, std::string(16, '\0'));
}

// ---- Failures: class and message of every row -------------------------------------

TEST(AESFailures, NotHexadecimal)
{
    ExpectError<EConvertError>([] { HexToBytes("zz"); }, "'0xzz' is not a valid integer value");
    ExpectError<EConvertError>([] { DecipherText("00 1", "k", 0); }, "'0x 1' is not a valid integer value");
    ExpectError<EConvertError>([] { DecipherText("0000-1", "k", 0); }, "'0x-1' is not a valid integer value");
    ExpectError<EConvertError>([] { DecipherText("00+1", "k", 0); }, "'0x+1' is not a valid integer value");
    ExpectError<EConvertError>([] { DecipherText("0x12", "k", 0); }, "'0x0x' is not a valid integer value");
    // A lone last character is converted alone.
    ExpectError<EConvertError>([] { DecipherText("0000000000000000G", "k", 0); },
                               "'0xG' is not a valid integer value");
    // Conversion comes first: a short text with a bad pair is a conversion error.
    ExpectError<EConvertError>([] { DecipherText("0g", "k", 0); }, "'0x0g' is not a valid integer value");
    ExpectError<EConvertError>([] { HexToBytes("0\x01"); }, "'0x0\x01' is not a valid integer value");
}

TEST(AESFailures, LoneLastDigitIsAByte)
{
    EXPECT_EQ(HexToBytes("A"), std::string(1, '\x0a'));
    EXPECT_EQ(HexToBytes("123"), Bytes("1203"));
    EXPECT_EQ(HexToBytes(""), "");
}

TEST(AESFailures, ShorterThanTheHeader)
{
    // Up to 14 digits: at most 7 bytes.
    for (const std::string text : {"", "0", "0011223344556", "00112233445566"})
        ExpectError<EReadError>([&] { DecipherText(text, "Wq4Tz8Rn2Kv6Ym3H", 0); }, "Stream read error");
}

TEST(AESFailures, NotWholeBlocks)
{
    const std::string message = "Invalid buffer size for decryption";
    // Exactly the header: the count is 0, so the whole 8-byte stream is taken.
    ExpectError<EAESError>([] { DecipherText("0000000000000000", "k", 0); }, message);
    // 15 digits: the lone last digit makes the eighth byte, so the header is whole.
    ExpectError<EAESError>([] { DecipherText("001122334455667", "k", 0); }, message);
    // Header and one lone digit, one byte, 15 bytes, 17 bytes.
    ExpectError<EAESError>([] { DecipherText("00000000000000001", "k", 0); }, message);
    ExpectError<EAESError>([] { DecipherText("000000000000000001", "k", 1); }, message);
    ExpectError<EAESError>([] { DecipherText(Stored(0, std::string(30, 'A')), "k", 2); }, message);
    ExpectError<EAESError>([] { DecipherText(Stored(0, std::string(34, 'A')), "k", 0); }, message);
    // The stream form writes nothing before refusing.
    TMemoryStream source(std::string(24, 'x')), dest;
    ExpectError<EAESError>([&] { DecryptStreamEcb(source, 24, TAESKey128{}, dest); }, message);
    EXPECT_EQ(dest.Size(), 0);
}

namespace {

// A stream that moves fewer bytes than asked once a limit is reached.
class ShortStream final : public TStream {
public:
    ShortStream(std::string bytes, std::int64_t readLimit, std::int64_t writeLimit)
        : FInner(std::move(bytes)), FReadLimit(readLimit), FWriteLimit(writeLimit) {}
    std::int64_t Read(void* buffer, std::int64_t count) override
    {
        const std::int64_t n = std::min(count, FReadLimit - FInner.Position());
        return n <= 0 ? 0 : FInner.Read(buffer, n);
    }
    std::int64_t Write(const void* buffer, std::int64_t count) override
    {
        const std::int64_t n = std::min(count, FWriteLimit - FInner.Position());
        return n <= 0 ? 0 : FInner.Write(buffer, n);
    }
    std::int64_t Size() const override { return FInner.Size(); }
    void SetSize(std::int64_t newSize) override { FInner.SetSize(newSize); }
    std::int64_t Position() const override { return FInner.Position(); }
    void SetPosition(std::int64_t position) override { FInner.SetPosition(position); }

private:
    TMemoryStream FInner;
    std::int64_t FReadLimit;
    std::int64_t FWriteLimit;
};

}  // namespace

TEST(AESFailures, ShortBlockReadAndWrite)
{
    const TAESKey128 key{};
    {
        ShortStream source(std::string(48, 'c'), 40, 0);  // the third block comes back with 8 bytes
        TMemoryStream dest;
        ExpectError<EStreamError>([&] { DecryptStreamEcb(source, 48, key, dest); }, "Stream read error");
        EXPECT_EQ(dest.Size(), 32);
    }
    {
        TMemoryStream source(std::string(48, 'c'));
        ShortStream dest("", 0, 20);  // the second block is only partly taken
        ExpectError<EStreamError>([&] { DecryptStreamEcb(source, 48, key, dest); }, "Stream write error");
    }
}

// ---- Stream counts ----------------------------------------------------------------

TEST(AESStreams, CountZeroTakesTheWholeSourceFromItsStart)
{
    const std::string cipher = Bytes("69c4e0d86a7b0430d8cdb78070b4c55a");
    const auto key = Array<16>("000102030405060708090a0b0c0d0e0f");
    TMemoryStream source(cipher + cipher), dest;
    source.SetPosition(16);
    DecryptStreamEcb(source, 0, key, dest);
    EXPECT_EQ(dest.Bytes(), Bytes(kPlain) + Bytes(kPlain));
    TMemoryStream empty, emptyDest;
    DecryptStreamEcb(empty, 0, key, emptyDest);
    EXPECT_EQ(emptyDest.Size(), 0);
}

TEST(AESStreams, CountIsCutToWhatIsThere)
{
    const std::string cipher = Bytes("69c4e0d86a7b0430d8cdb78070b4c55a");
    const auto key = Array<16>("000102030405060708090a0b0c0d0e0f");
    TMemoryStream source(cipher + cipher), dest;
    source.SetPosition(16);
    DecryptStreamEcb(source, 1000, key, dest);
    EXPECT_EQ(dest.Bytes(), Bytes(kPlain));
    // The destination is written at its position.
    TMemoryStream into(std::string(4, 'z'));
    into.SetPosition(2);
    TMemoryStream again(cipher);
    DecryptStreamEcb(again, 16, key, into);
    EXPECT_EQ(into.Bytes(), "zz" + Bytes(kPlain));
}

TEST(AESStreams, PositionPastTheEndDecipheresNothing)
{
    TMemoryStream source(std::string(32, 'a')), dest;
    source.SetPosition(100);
    DecryptStreamEcb(source, 16, TAESKey128{}, dest);
    EXPECT_EQ(dest.Size(), 0);
}

TEST(AESStreams, RemainderInPiecesEqualsOneCall)
{
    const auto key = ExpandDecryptionKey(Array<16>("000102030405060708090a0b0c0d0e0f"));
    std::string cipher;
    for (int i = 0; i < 10; ++i)
        cipher += Bytes("69c4e0d86a7b0430d8cdb78070b4c55a");
    TMemoryStream whole(cipher), wholeDest;
    DecryptStreamEcb(whole, 160, key, wholeDest);
    for (const std::uint32_t piece : {16u, 32u, 48u, 50u, 0u}) {
        TMemoryStream source(cipher), dest;
        DecryptRemainderEcb(source, key, dest, piece);
        EXPECT_EQ(dest.Bytes(), wholeDest.Bytes()) << piece;
    }
    TMemoryStream ragged(cipher + "x"), raggedDest;
    ExpectError<EAESError>([&] { DecryptRemainderEcb(ragged, key, raggedDest, 32); },
                           "Invalid buffer size for decryption");
    EXPECT_EQ(raggedDest.Size(), 0);
}
