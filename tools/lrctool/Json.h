// JSON text building for lrctool's output.
#pragma once

#include <cstdint>
#include <string>

// True when bytes are well-formed UTF-8 (no overlong forms, no surrogates).
bool IsValidUtf8(const std::string& bytes);

// Bytes decoded for a person to read, as UTF-8: kept as they are when valid
// UTF-8, otherwise decoded as GB18030 (an undecodable byte becomes U+FFFD).
std::string DecodeForReading(const std::string& bytes);

// A JSON string literal holding each byte as one character U+0000..U+00FF,
// so the bytes can be recovered exactly.
std::string JsonRawString(const std::string& bytes);

// A JSON string literal of the bytes decoded for reading.
std::string JsonTextString(const std::string& bytes);

// Either of the two above.
inline std::string JsonString(const std::string& bytes, bool raw)
{
    return raw ? JsonRawString(bytes) : JsonTextString(bytes);
}
