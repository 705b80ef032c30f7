// Exception classes shared by every layer. Each carries its message exactly as
// the user sees it; the hierarchy mirrors the one callers catch by.
#pragma once

#include <stdexcept>
#include <string>


// Root of every error this program raises on purpose.
class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
};

// Index outside a list: "List index out of bounds (%d)".
class EListError : public Exception {
public:
    explicit EListError(long long index);
    using Exception::Exception;
};

class EStreamError : public Exception {
public:
    using Exception::Exception;
};

class EFilerError : public EStreamError {
public:
    using EStreamError::EStreamError;
};

// "Stream read error" unless said otherwise.
class EReadError : public EFilerError {
public:
    EReadError() : EFilerError("Stream read error") {}
    using EFilerError::EFilerError;
};

// "Stream write error" unless said otherwise.
class EWriteError : public EFilerError {
public:
    EWriteError() : EFilerError("Stream write error") {}
    using EFilerError::EFilerError;
};

// "Cannot create file "%s". %s" — the path and the system's reason.
class EFCreateError : public EStreamError {
public:
    EFCreateError(const std::string& path, const std::string& reason);
};

// "Cannot open file "%s". %s" — the path and the system's reason.
class EFOpenError : public EStreamError {
public:
    EFOpenError(const std::string& path, const std::string& reason);
};

// The system's text for an errno value (strerror, thread-safe).
std::string SystemErrorText(int errorNumber);

