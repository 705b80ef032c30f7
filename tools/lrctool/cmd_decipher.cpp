// lrctool decipher: the program's DecipherText from the command line, for checking
// stored texts. Writes the deciphered bytes exactly, the zero fill included.
#include "Command.h"

#include "ElAES.h"

#include <charconv>

namespace {

std::uint8_t ParseKeySize(const std::string& text)
{
    unsigned value = 0;
    const char* first = text.data();
    const char* last = text.data() + text.size();
    const auto [end, error] = std::from_chars(first, last, value);
    if (text.empty() || error != std::errc() || end != last || value > 255)
        throw UsageError("KEYSIZE must be a whole number from 0 to 255 (0 = AES-128, 1 = AES-192, 2 = AES-256): \""
                         + text + "\"");
    return static_cast<std::uint8_t>(value);
}

int RunDecipher(const CommandArgs& args)
{
    if (args.size() < 2 || args.size() > 3)
        throw UsageError("expected HEX PASSPHRASE [KEYSIZE]");
    const std::uint8_t keySize = args.size() == 3 ? ParseKeySize(args[2]) : kAESKeySize128;
    WriteOutputBytes(DecipherText(args[0], args[1], keySize));
    return 0;
}

const CommandRegistration registration({
    "decipher",
    "HEX PASSPHRASE [KEYSIZE]",
    "deciphers a stored text (length header + AES-ECB blocks in hexadecimal); KEYSIZE 0/1/2 = AES-128/192/256, "
    "default 0; writes every deciphered byte",
    RunDecipher,
});

}  // namespace
