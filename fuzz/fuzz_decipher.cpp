// Fuzz target: DecipherText over arbitrary text and pass phrase must return or raise
// one of its own errors (EConvertError, EReadError, EAESError, EStreamError); any
// other exception, crash or sanitizer report is a finding. Half of the inputs have
// their text turned into hexadecimal digits first, so the cipher itself runs on
// arbitrary blocks instead of stopping at the digit check.
#include "ElAES.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider provider(data, size);
    const auto keySize = static_cast<std::uint8_t>(provider.ConsumeIntegralInRange<int>(0, 3));
    const bool asHex = provider.ConsumeBool();
    const std::string passPhrase = provider.ConsumeRandomLengthString(48);
    std::string text = provider.ConsumeRemainingBytesAsString();
    if (asHex) {
        static const char digits[] = "0123456789ABCDEFabcdef";
        std::string hex;
        for (const char c : text)
            hex += digits[static_cast<unsigned char>(c) % 22];
        text = hex;
    }
    try {
        const std::string result = DecipherText(text, passPhrase, keySize);
        // Whole blocks after an 8-byte header; nothing for an unknown key size.
        const std::size_t bytes = (text.size() + 1) / 2;
        const std::size_t expected = keySize > 2 ? 0 : bytes - 8;
        if (result.size() != expected || result.size() % 16 != 0)
            std::abort();
    } catch (const EConvertError&) {
    } catch (const EReadError&) {
    } catch (const EAESError&) {
    } catch (const EStreamError&) {
    }
    return 0;
}
