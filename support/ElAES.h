// AES decryption (FIPS-197) in ECB mode, used to read the program's two stored
// enciphered texts (the quick-start guide and the help address). Decryption only:
// the texts are made outside the program (tools/cipher/).
//
// Threads: every function here is reentrant and may be called from any thread;
// they touch no shared data besides constant tables. Streams passed in belong to
// the caller and must not be used by another thread during the call.
#pragma once

#include "Exceptions.h"
#include "Streams.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

// Errors of the cipher itself ("Invalid buffer size for decryption").
class EAESError : public Exception {
public:
    using Exception::Exception;
};

// A text that is not a number: "'%s' is not a valid integer value".
class EConvertError : public Exception {
public:
    using Exception::Exception;
};

using TAESBuffer = std::array<std::uint8_t, 16>;
using TAESKey128 = std::array<std::uint8_t, 16>;
using TAESKey192 = std::array<std::uint8_t, 24>;
using TAESKey256 = std::array<std::uint8_t, 32>;

// Decryption key schedules: 4 × (rounds + 1) words, round 0 first. Each word is one
// column, its first byte in the low 8 bits. Round keys 1 .. rounds-1 are already
// passed through InvMixColumns (the equivalent inverse cipher).
using TAESExpandedKey128 = std::array<std::uint32_t, 44>;
using TAESExpandedKey192 = std::array<std::uint32_t, 52>;
using TAESExpandedKey256 = std::array<std::uint32_t, 60>;

// KeySize selector of DecipherText: 0 = AES-128, 1 = AES-192, 2 = AES-256; any other
// value deciphers nothing.
inline constexpr std::uint8_t kAESKeySize128 = 0;
inline constexpr std::uint8_t kAESKeySize192 = 1;
inline constexpr std::uint8_t kAESKeySize256 = 2;

// Deciphers a stored text: hexadecimal digits of an 8-byte little-endian length
// header (read past, not used) followed by whole AES-ECB blocks. The key is the
// pass phrase's first bytes, zero-filled to the key length. Returns every
// deciphered byte, the zero fill of the last block included (16 × blocks bytes);
// empty for a KeySize above 2.
// Raises EConvertError (a pair that is not hexadecimal), EReadError (fewer than 8
// bytes), EAESError (no whole number of blocks after the header).
std::string DecipherText(std::string_view hexText, std::string_view passPhrase, std::uint8_t keySize);

// Two hexadecimal digits (either case) per byte, high nibble first; a lone last
// digit gives a byte of 0..15. Anything else raises EConvertError.
std::string HexToBytes(std::string_view hexText);

TAESExpandedKey128 ExpandDecryptionKey(const TAESKey128& key);
TAESExpandedKey192 ExpandDecryptionKey(const TAESKey192& key);
TAESExpandedKey256 ExpandDecryptionKey(const TAESKey256& key);

// One block through the inverse cipher; equals FIPS-197 InvCipher.
TAESBuffer DecryptBlock(const TAESBuffer& input, const TAESExpandedKey128& key);
TAESBuffer DecryptBlock(const TAESBuffer& input, const TAESExpandedKey192& key);
TAESBuffer DecryptBlock(const TAESBuffer& input, const TAESExpandedKey256& key);

// Deciphers count bytes of source, from its position, block by block into dest at
// dest's position. count 0 means the whole source from its start; a count beyond
// the source's end is cut to what is there. Raises EAESError when the bytes to
// decipher are not whole blocks (nothing written), EStreamError "Stream read error"
// / "Stream write error" when a block cannot be moved whole.
void DecryptStreamEcb(TStream& source, std::uint32_t count, const TAESKey128& key, TStream& dest);
void DecryptStreamEcb(TStream& source, std::uint32_t count, const TAESKey192& key, TStream& dest);
void DecryptStreamEcb(TStream& source, std::uint32_t count, const TAESKey256& key, TStream& dest);
void DecryptStreamEcb(TStream& source, std::uint32_t count, const TAESExpandedKey128& key, TStream& dest);
void DecryptStreamEcb(TStream& source, std::uint32_t count, const TAESExpandedKey192& key, TStream& dest);
void DecryptStreamEcb(TStream& source, std::uint32_t count, const TAESExpandedKey256& key, TStream& dest);

// Deciphers everything from source's position to its end, in pieces of at most
// maxChunk bytes (a multiple of 16), so a remainder beyond 4 GiB is not cut short
// by the 32-bit count of DecryptStreamEcb. Nothing after the position: the whole
// source from its start, as DecryptStreamEcb does for count 0. Used by DecipherText.
inline constexpr std::uint32_t kAESMaxChunk = 0xFFFFFFF0u;
void DecryptRemainderEcb(TStream& source, const TAESExpandedKey128& key, TStream& dest,
                         std::uint32_t maxChunk = kAESMaxChunk);
void DecryptRemainderEcb(TStream& source, const TAESExpandedKey192& key, TStream& dest,
                         std::uint32_t maxChunk = kAESMaxChunk);
void DecryptRemainderEcb(TStream& source, const TAESExpandedKey256& key, TStream& dest,
                         std::uint32_t maxChunk = kAESMaxChunk);
