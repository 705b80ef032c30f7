#include "Json.h"

#include <cerrno>
#include <iconv.h>
#include <stdexcept>

bool IsValidUtf8(const std::string& bytes)
{
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* end = p + bytes.size();
    while (p < end) {
        const unsigned char c = *p;
        if (c < 0x80) {
            ++p;
            continue;
        }
        int length;
        std::uint32_t codePoint;
        if (c >= 0xC2 && c <= 0xDF) {
            length = 2;
            codePoint = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            length = 3;
            codePoint = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            length = 4;
            codePoint = c & 0x07;
        } else {
            return false;
        }
        if (end - p < length)
            return false;
        for (int i = 1; i < length; ++i) {
            if ((p[i] & 0xC0) != 0x80)
                return false;
            codePoint = (codePoint << 6) | (p[i] & 0x3F);
        }
        if ((length == 3 && codePoint < 0x800) || (length == 4 && codePoint < 0x10000) || codePoint > 0x10FFFF ||
            (codePoint >= 0xD800 && codePoint <= 0xDFFF))
            return false;
        p += length;
    }
    return true;
}

namespace {

// Owns one iconv conversion descriptor.
class IconvHandle {
public:
    IconvHandle(const char* to, const char* from) : FHandle(iconv_open(to, from)) {}
    ~IconvHandle()
    {
        if (IsOpen())
            iconv_close(FHandle);
    }
    IconvHandle(const IconvHandle&) = delete;
    IconvHandle& operator=(const IconvHandle&) = delete;
    bool IsOpen() const { return FHandle != reinterpret_cast<iconv_t>(-1); }
    iconv_t Get() const { return FHandle; }

private:
    iconv_t FHandle;
};

std::string DecodeGb18030(const std::string& bytes)
{
    const IconvHandle handle("UTF-8", "GB18030");
    if (!handle.IsOpen())
        throw std::runtime_error("GB18030 decoding is not available (iconv)");

    std::string out;
    std::string in = bytes;
    char* inPtr = in.data();
    std::size_t inLeft = in.size();
    char buffer[4096];
    while (inLeft > 0) {
        char* outPtr = buffer;
        std::size_t outLeft = sizeof buffer;
        const std::size_t result = iconv(handle.Get(), &inPtr, &inLeft, &outPtr, &outLeft);
        out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
        if (result != static_cast<std::size_t>(-1))
            break;
        if (errno == E2BIG)
            continue;
        // An invalid or cut-off sequence: show one replacement character and go on.
        out += "\xEF\xBF\xBD";
        ++inPtr;
        --inLeft;
        iconv(handle.Get(), nullptr, nullptr, nullptr, nullptr);
    }
    return out;
}

void AppendEscape(std::string& out, unsigned value)
{
    static const char hex[] = "0123456789abcdef";
    out += "\\u00";
    out += hex[(value >> 4) & 0xF];
    out += hex[value & 0xF];
}

}  // namespace

std::string DecodeForReading(const std::string& bytes)
{
    return IsValidUtf8(bytes) ? bytes : DecodeGb18030(bytes);
}

std::string JsonRawString(const std::string& bytes)
{
    std::string out = "\"";
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c < 0x20 || c >= 0x7F) {
            AppendEscape(out, c);
        } else {
            out += ch;
        }
    }
    return out + "\"";
}

std::string JsonTextString(const std::string& bytes)
{
    const std::string text = DecodeForReading(bytes);
    std::string out = "\"";
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c < 0x20 || c == 0x7F) {
            AppendEscape(out, c);
        } else {
            out += ch;
        }
    }
    return out + "\"";
}
