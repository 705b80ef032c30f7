#include "ElAES.h"

#include <algorithm>
#include <bit>
#include <utility>

namespace {

// ---- Constant tables, built at compile time from the field arithmetic ----------
// Multiplication in GF(2^8) modulo x^8 + x^4 + x^3 + x + 1.

constexpr std::uint8_t GfMul(std::uint8_t a, std::uint8_t b)
{
    std::uint8_t product = 0;
    while (b != 0) {
        if (b & 1)
            product ^= a;
        a = static_cast<std::uint8_t>((a << 1) ^ ((a & 0x80) ? 0x1b : 0));
        b >>= 1;
    }
    return product;
}

// S-box: the multiplicative inverse (0 for 0) through the affine map, one entry per
// 32-bit word with the value in the low byte.
constexpr std::array<std::uint32_t, 256> MakeSBox()
{
    std::array<std::uint8_t, 256> exp{};
    std::array<std::uint8_t, 256> log{};
    std::uint8_t p = 1;
    for (int i = 0; i < 255; ++i) {  // 3 generates the multiplicative group
        exp[static_cast<std::size_t>(i)] = p;
        log[p] = static_cast<std::uint8_t>(i);
        p = GfMul(p, 3);
    }
    std::array<std::uint32_t, 256> box{};
    for (int x = 0; x < 256; ++x) {
        const std::uint8_t inverse = x == 0 ? 0 : exp[static_cast<std::size_t>((255 - log[static_cast<std::size_t>(x)]) % 255)];
        const std::uint8_t affine = inverse ^ std::rotl(inverse, 1) ^ std::rotl(inverse, 2) ^ std::rotl(inverse, 3)
                                    ^ std::rotl(inverse, 4) ^ 0x63;
        box[static_cast<std::size_t>(x)] = affine;
    }
    return box;
}

constexpr std::array<std::uint32_t, 256> kSBox = MakeSBox();

constexpr std::array<std::uint32_t, 256> MakeInverseSBox()
{
    std::array<std::uint32_t, 256> inverse{};
    for (std::uint32_t x = 0; x < 256; ++x)
        inverse[kSBox[x]] = x;
    return inverse;
}

constexpr std::array<std::uint32_t, 256> kInverseSBox = MakeInverseSBox();

// InvSubBytes and InvMixColumns of one byte in column position 0: entry x is the
// column {0E·S⁻¹(x), 09·S⁻¹(x), 0D·S⁻¹(x), 0B·S⁻¹(x)}, first byte lowest. Positions
// 1..3 are the same entry rotated left by 8, 16, 24 bits.
constexpr std::array<std::uint32_t, 256> MakeInverseTable()
{
    std::array<std::uint32_t, 256> table{};
    for (std::size_t x = 0; x < 256; ++x) {
        const auto s = static_cast<std::uint8_t>(kInverseSBox[x]);
        table[x] = std::uint32_t{GfMul(s, 0x0e)} | std::uint32_t{GfMul(s, 0x09)} << 8
                   | std::uint32_t{GfMul(s, 0x0d)} << 16 | std::uint32_t{GfMul(s, 0x0b)} << 24;
    }
    return table;
}

constexpr std::array<std::uint32_t, 256> kInverseTable = MakeInverseTable();

constexpr std::array<std::uint32_t, 10> kRoundConstants = {0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80, 0x1b, 0x36};

static_assert(kSBox[0x00] == 0x63 && kSBox[0x01] == 0x7c && kSBox[0x53] == 0xed && kSBox[0xff] == 0x16);
static_assert(kInverseSBox[0x00] == 0x52 && kInverseSBox[0x63] == 0x00 && kInverseSBox[0xff] == 0x7d);
static_assert(kInverseTable[0x00] == 0x50a7f451u);  // S⁻¹(0) = 52: {0E·52, 09·52, 0D·52, 0B·52}

// ---- Word helpers ---------------------------------------------------------------

inline std::uint32_t LoadLE(const std::uint8_t* p)
{
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
}

inline void StoreLE(std::uint8_t* p, std::uint32_t w)
{
    p[0] = static_cast<std::uint8_t>(w);
    p[1] = static_cast<std::uint8_t>(w >> 8);
    p[2] = static_cast<std::uint8_t>(w >> 16);
    p[3] = static_cast<std::uint8_t>(w >> 24);
}

inline std::uint32_t SubWord(std::uint32_t w)
{
    return kSBox[w & 0xff] | kSBox[(w >> 8) & 0xff] << 8 | kSBox[(w >> 16) & 0xff] << 16 | kSBox[w >> 24] << 24;
}

// Doubling in GF(2^8) of the four bytes of a word at once.
inline std::uint32_t Double4(std::uint32_t w)
{
    return ((w & 0x7f7f7f7fu) << 1) ^ (((w >> 7) & 0x01010101u) * 0x1bu);
}

// InvMixColumns of one column word: out_i = 0E·a_i ^ 0B·a_i+1 ^ 0D·a_i+2 ^ 09·a_i+3.
inline std::uint32_t InvMixColumn(std::uint32_t w)
{
    const std::uint32_t w2 = Double4(w);
    const std::uint32_t w4 = Double4(w2);
    const std::uint32_t w8 = Double4(w4);
    const std::uint32_t w9 = w8 ^ w;
    const std::uint32_t w11 = w9 ^ w2;
    const std::uint32_t w13 = w9 ^ w4;
    const std::uint32_t w14 = w8 ^ w4 ^ w2;
    return w14 ^ std::rotr(w11, 8) ^ std::rotr(w13, 16) ^ std::rotr(w9, 24);
}

// ---- Key schedule and block decryption, one instance per key length --------------

template <std::size_t KeyBytes, std::size_t Words>
std::array<std::uint32_t, Words> Expand(const std::array<std::uint8_t, KeyBytes>& key)
{
    constexpr std::size_t nk = KeyBytes / 4;
    constexpr std::size_t rounds = Words / 4 - 1;
    static_assert(nk + 6 == rounds);
    std::array<std::uint32_t, Words> w{};
    for (std::size_t i = 0; i < nk; ++i)
        w[i] = LoadLE(&key[4 * i]);
    for (std::size_t i = nk; i < Words; ++i) {
        std::uint32_t t = w[i - 1];
        if (i % nk == 0)
            t = SubWord(std::rotr(t, 8)) ^ kRoundConstants[i / nk - 1];  // RotWord moves byte 1 to byte 0
        else if (nk > 6 && i % nk == 4)
            t = SubWord(t);
        w[i] = w[i - nk] ^ t;
    }
    // Equivalent inverse cipher: the inner round keys go through InvMixColumns.
    for (std::size_t i = 4; i < 4 * rounds; ++i)
        w[i] = InvMixColumn(w[i]);
    return w;
}

inline std::uint32_t InverseRoundColumn(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
                                        std::uint32_t roundKey)
{
    return kInverseTable[a & 0xff] ^ std::rotl(kInverseTable[(b >> 8) & 0xff], 8)
           ^ std::rotl(kInverseTable[(c >> 16) & 0xff], 16) ^ std::rotl(kInverseTable[d >> 24], 24) ^ roundKey;
}

inline std::uint32_t LastRoundColumn(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
                                     std::uint32_t roundKey)
{
    return (kInverseSBox[a & 0xff] | kInverseSBox[(b >> 8) & 0xff] << 8 | kInverseSBox[(c >> 16) & 0xff] << 16
            | kInverseSBox[d >> 24] << 24)
           ^ roundKey;
}

template <std::size_t Words, std::size_t... Step>
inline void InnerRounds(std::uint32_t (&s)[4], const std::array<std::uint32_t, Words>& k,
                        std::index_sequence<Step...>)
{
    constexpr std::size_t rounds = Words / 4 - 1;
    // Rounds rounds-1 down to 1, unrolled. InvShiftRows takes row r of column c
    // from column c - r.
    (
        [&] {
            const std::uint32_t* rk = &k[4 * (rounds - 1 - Step)];
            const std::uint32_t t0 = InverseRoundColumn(s[0], s[3], s[2], s[1], rk[0]);
            const std::uint32_t t1 = InverseRoundColumn(s[1], s[0], s[3], s[2], rk[1]);
            const std::uint32_t t2 = InverseRoundColumn(s[2], s[1], s[0], s[3], rk[2]);
            const std::uint32_t t3 = InverseRoundColumn(s[3], s[2], s[1], s[0], rk[3]);
            s[0] = t0;
            s[1] = t1;
            s[2] = t2;
            s[3] = t3;
        }(),
        ...);
}

template <std::size_t Words>
TAESBuffer Decrypt(const TAESBuffer& input, const std::array<std::uint32_t, Words>& k)
{
    constexpr std::size_t rounds = Words / 4 - 1;
    std::uint32_t s[4] = {
        LoadLE(&input[0]) ^ k[4 * rounds],
        LoadLE(&input[4]) ^ k[4 * rounds + 1],
        LoadLE(&input[8]) ^ k[4 * rounds + 2],
        LoadLE(&input[12]) ^ k[4 * rounds + 3],
    };
    InnerRounds(s, k, std::make_index_sequence<rounds - 1>{});
    TAESBuffer output;
    StoreLE(&output[0], LastRoundColumn(s[0], s[3], s[2], s[1], k[0]));
    StoreLE(&output[4], LastRoundColumn(s[1], s[0], s[3], s[2], k[1]));
    StoreLE(&output[8], LastRoundColumn(s[2], s[1], s[0], s[3], k[2]));
    StoreLE(&output[12], LastRoundColumn(s[3], s[2], s[1], s[0], k[3]));
    return output;
}

// ---- Streams --------------------------------------------------------------------

const char* const kInvalidBufferSize = "Invalid buffer size for decryption";

template <std::size_t Words>
void DecryptStream(TStream& source, std::uint32_t count, const std::array<std::uint32_t, Words>& key, TStream& dest)
{
    std::int64_t remaining = 0;
    if (count == 0) {
        source.SetPosition(0);
        remaining = source.Size();
    } else {
        // A position past the end leaves nothing to read, not a negative count.
        remaining = std::min<std::int64_t>(count, std::max<std::int64_t>(source.Size() - source.Position(), 0));
    }
    if (remaining == 0)
        return;
    if (remaining % 16 != 0)
        throw EAESError(kInvalidBufferSize);
    TAESBuffer in;
    while (remaining >= 16) {
        if (source.Read(in.data(), 16) != 16)
            throw EStreamError("Stream read error");
        const TAESBuffer out = Decrypt(in, key);
        if (dest.Write(out.data(), 16) != 16)
            throw EStreamError("Stream write error");
        remaining -= 16;
    }
}

template <std::size_t Words>
void DecryptRemainder(TStream& source, const std::array<std::uint32_t, Words>& key, TStream& dest,
                      std::uint32_t maxChunk)
{
    maxChunk = std::max<std::uint32_t>(maxChunk & ~std::uint32_t{15}, 16);
    std::int64_t remaining = std::max<std::int64_t>(source.Size() - source.Position(), 0);
    if (remaining == 0) {
        DecryptStream(source, 0, key, dest);  // whole source from its start
        return;
    }
    if (remaining % 16 != 0)
        throw EAESError(kInvalidBufferSize);
    while (remaining > 0) {
        const auto piece = static_cast<std::uint32_t>(std::min<std::int64_t>(remaining, maxChunk));
        DecryptStream(source, piece, key, dest);
        remaining -= piece;
    }
}

// The key rule: zero bytes, then the pass phrase's first bytes at the start.
template <std::size_t KeyBytes>
std::array<std::uint8_t, KeyBytes> KeyFromPassPhrase(std::string_view passPhrase)
{
    std::array<std::uint8_t, KeyBytes> key{};
    const std::size_t n = std::min(KeyBytes, passPhrase.size());
    for (std::size_t i = 0; i < n; ++i)
        key[i] = static_cast<std::uint8_t>(passPhrase[i]);
    return key;
}

int HexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

}  // namespace

// ---- Public operations ------------------------------------------------------------

std::string HexToBytes(std::string_view hexText)
{
    std::string bytes;
    bytes.reserve((hexText.size() + 1) / 2);
    for (std::size_t i = 0; i < hexText.size(); i += 2) {
        const std::string_view pair = hexText.substr(i, 2);
        unsigned value = 0;
        for (const char c : pair) {
            const int digit = HexDigitValue(c);
            if (digit < 0)
                throw EConvertError("'0x" + std::string(pair) + "' is not a valid integer value");
            value = value * 16 + static_cast<unsigned>(digit);
        }
        bytes.push_back(static_cast<char>(value));
    }
    return bytes;
}

TAESExpandedKey128 ExpandDecryptionKey(const TAESKey128& key) { return Expand<16, 44>(key); }
TAESExpandedKey192 ExpandDecryptionKey(const TAESKey192& key) { return Expand<24, 52>(key); }
TAESExpandedKey256 ExpandDecryptionKey(const TAESKey256& key) { return Expand<32, 60>(key); }

TAESBuffer DecryptBlock(const TAESBuffer& input, const TAESExpandedKey128& key) { return Decrypt(input, key); }
TAESBuffer DecryptBlock(const TAESBuffer& input, const TAESExpandedKey192& key) { return Decrypt(input, key); }
TAESBuffer DecryptBlock(const TAESBuffer& input, const TAESExpandedKey256& key) { return Decrypt(input, key); }

void DecryptStreamEcb(TStream& source, std::uint32_t count, const TAESExpandedKey128& key, TStream& dest)
{
    DecryptStream(source, count, key, dest);
}

void DecryptStreamEcb(TStream& source, std::uint32_t count, const TAESExpandedKey192& key, TStream& dest)
{
    DecryptStream(source, count, key, dest);
}

void DecryptStreamEcb(TStream& source, std::uint32_t count, const TAESExpandedKey256& key, TStream& dest)
{
    DecryptStream(source, count, key, dest);
}

void DecryptStreamEcb(TStream& source, std::uint32_t count, const TAESKey128& key, TStream& dest)
{
    DecryptStream(source, count, ExpandDecryptionKey(key), dest);
}

void DecryptStreamEcb(TStream& source, std::uint32_t count, const TAESKey192& key, TStream& dest)
{
    DecryptStream(source, count, ExpandDecryptionKey(key), dest);
}

void DecryptStreamEcb(TStream& source, std::uint32_t count, const TAESKey256& key, TStream& dest)
{
    DecryptStream(source, count, ExpandDecryptionKey(key), dest);
}

void DecryptRemainderEcb(TStream& source, const TAESExpandedKey128& key, TStream& dest, std::uint32_t maxChunk)
{
    DecryptRemainder(source, key, dest, maxChunk);
}

void DecryptRemainderEcb(TStream& source, const TAESExpandedKey192& key, TStream& dest, std::uint32_t maxChunk)
{
    DecryptRemainder(source, key, dest, maxChunk);
}

void DecryptRemainderEcb(TStream& source, const TAESExpandedKey256& key, TStream& dest, std::uint32_t maxChunk)
{
    DecryptRemainder(source, key, dest, maxChunk);
}

std::string DecipherText(std::string_view hexText, std::string_view passPhrase, std::uint8_t keySize)
{
    // Both streams are locals: freed on every exit, exceptions included.
    TMemoryStream source(HexToBytes(hexText));
    TMemoryStream dest;
    std::int64_t lengthHeader = 0;  // read past; the result is every deciphered byte
    source.ReadBuffer(&lengthHeader, sizeof lengthHeader);  // EReadError "Stream read error"
    switch (keySize) {
    case kAESKeySize128:
        DecryptRemainderEcb(source, ExpandDecryptionKey(KeyFromPassPhrase<16>(passPhrase)), dest);
        break;
    case kAESKeySize192:
        DecryptRemainderEcb(source, ExpandDecryptionKey(KeyFromPassPhrase<24>(passPhrase)), dest);
        break;
    case kAESKeySize256:
        DecryptRemainderEcb(source, ExpandDecryptionKey(KeyFromPassPhrase<32>(passPhrase)), dest);
        break;
    default:
        break;  // an unknown key size deciphers nothing
    }
    return dest.Bytes();
}
