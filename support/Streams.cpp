#include "Streams.h"

#include "Exceptions.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>

void TStream::ReadBuffer(void* buffer, std::int64_t count)
{
    if (count != 0 && Read(buffer, count) != count)
        throw EReadError();
}

void TStream::WriteBuffer(const void* buffer, std::int64_t count)
{
    if (count != 0 && Write(buffer, count) != count)
        throw EWriteError();
}

std::int64_t TStream::CopyFrom(TStream& source, std::int64_t count)
{
    if (count == 0) {
        source.SetPosition(0);
        count = source.Size();
    }
    const std::int64_t total = count;
    std::vector<char> chunk(static_cast<std::size_t>(std::min<std::int64_t>(count, 1 << 16)));
    while (count > 0) {
        const std::int64_t n = std::min<std::int64_t>(count, static_cast<std::int64_t>(chunk.size()));
        source.ReadBuffer(chunk.data(), n);
        WriteBuffer(chunk.data(), n);
        count -= n;
    }
    return total;
}

// ---- TMemoryStream -------------------------------------------------------

std::int64_t TMemoryStream::Read(void* buffer, std::int64_t count)
{
    if (count <= 0 || FPosition >= Size())
        return 0;
    const std::int64_t n = std::min(count, Size() - FPosition);
    std::memcpy(buffer, FBytes.data() + FPosition, static_cast<std::size_t>(n));
    FPosition += n;
    return n;
}

std::int64_t TMemoryStream::Write(const void* buffer, std::int64_t count)
{
    if (count <= 0)
        return 0;
    const std::int64_t end = FPosition + count;
    if (end > Size())
        FBytes.resize(static_cast<std::size_t>(end));
    std::memcpy(FBytes.data() + FPosition, buffer, static_cast<std::size_t>(count));
    FPosition = end;
    return count;
}

void TMemoryStream::SetSize(std::int64_t newSize)
{
    FBytes.resize(static_cast<std::size_t>(std::max<std::int64_t>(newSize, 0)));
    FPosition = std::min(FPosition, Size());
}

void TMemoryStream::SetPosition(std::int64_t position)
{
    FPosition = std::max<std::int64_t>(position, 0);
}

void TMemoryStream::Clear()
{
    FBytes.clear();
    FPosition = 0;
}

void TMemoryStream::LoadFromFile(const std::string& path)
{
    FBytes = ReadFileBytes(path);
    FPosition = 0;
}

void TMemoryStream::SaveToFile(const std::string& path) const
{
    TFileStream file(path, TFileStream::Mode::Create);
    file.WriteString(FBytes);
    file.Close();
}

// ---- TFileStream ---------------------------------------------------------

TFileStream::TFileStream(const std::string& path, Mode mode) : FPath(path)
{
    const char* how = mode == Mode::Create ? "wb" : mode == Mode::OpenRead ? "rb" : "r+b";
    FFile.reset(std::fopen(path.c_str(), how));
    if (!FFile) {
        const int error = errno;
        if (mode == Mode::Create)
            throw EFCreateError(path, SystemErrorText(error));
        throw EFOpenError(path, SystemErrorText(error));
    }
}

TFileStream::~TFileStream() = default;

std::int64_t TFileStream::Read(void* buffer, std::int64_t count)
{
    if (!FFile || count <= 0)
        return 0;
    return static_cast<std::int64_t>(std::fread(buffer, 1, static_cast<std::size_t>(count), FFile.get()));
}

std::int64_t TFileStream::Write(const void* buffer, std::int64_t count)
{
    if (!FFile || count <= 0)
        return 0;
    return static_cast<std::int64_t>(std::fwrite(buffer, 1, static_cast<std::size_t>(count), FFile.get()));
}

std::int64_t TFileStream::Size() const
{
    if (!FFile)
        return 0;
    const long here = std::ftell(FFile.get());
    std::fseek(FFile.get(), 0, SEEK_END);
    const long size = std::ftell(FFile.get());
    std::fseek(FFile.get(), here, SEEK_SET);
    return size;
}

void TFileStream::SetSize(std::int64_t newSize)
{
    if (!FFile || std::fflush(FFile.get()) != 0 || ftruncate(fileno(FFile.get()), newSize) != 0)
        throw EWriteError();
}

std::int64_t TFileStream::Position() const
{
    return FFile ? std::ftell(FFile.get()) : 0;
}

void TFileStream::SetPosition(std::int64_t position)
{
    if (FFile)
        std::fseek(FFile.get(), static_cast<long>(position), SEEK_SET);
}

bool TFileStream::HadReadError() const
{
    return FFile && std::ferror(FFile.get()) != 0;
}

void TFileStream::Close()
{
    if (!FFile)
        return;
    std::FILE* file = FFile.release();
    const bool flushed = std::fflush(file) == 0;
    const bool synced = fsync(fileno(file)) == 0 || errno == EINVAL;
    const bool closed = std::fclose(file) == 0;
    if (!flushed || !synced || !closed)
        throw EWriteError();
}

std::string ReadFileBytes(const std::string& path)
{
    TFileStream file(path, TFileStream::Mode::OpenRead);
    std::string bytes;
    std::vector<char> chunk(1 << 16);
    for (;;) {
        const std::int64_t n = file.Read(chunk.data(), static_cast<std::int64_t>(chunk.size()));
        if (n < 0)
            throw EReadError();
        if (n == 0)
            break;
        bytes.append(chunk.data(), static_cast<std::size_t>(n));
    }
    if (file.HadReadError())
        throw EReadError();
    return bytes;
}
