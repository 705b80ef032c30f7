#include "Exceptions.h"

#include <cstring>


EListError::EListError(long long index)
    : Exception("List index out of bounds (" + std::to_string(index) + ")") {}

EFCreateError::EFCreateError(const std::string& path, const std::string& reason)
    : EStreamError("Cannot create file \"" + path + "\". " + reason) {}

EFOpenError::EFOpenError(const std::string& path, const std::string& reason)
    : EStreamError("Cannot open file \"" + path + "\". " + reason) {}

std::string SystemErrorText(int errorNumber)
{
    char buffer[256] = {};
    // GNU strerror_r may return a static string instead of filling the buffer.
#if defined(__GLIBC__) && defined(_GNU_SOURCE)
    return std::string(strerror_r(errorNumber, buffer, sizeof buffer));
#else
    if (strerror_r(errorNumber, buffer, sizeof buffer) != 0)
        return "Unknown error " + std::to_string(errorNumber);
    return std::string(buffer);
#endif
}

