// Byte streams: an abstract TStream with the two concrete kinds the program uses,
// an in-memory stream and a file stream. Positions and sizes are in bytes.
// A stream is used by one thread at a time.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

class TStream {
public:
    virtual ~TStream() = default;

    // Reads up to count bytes; returns how many were read (0 at the end).
    virtual std::int64_t Read(void* buffer, std::int64_t count) = 0;
    // Writes up to count bytes; returns how many were written.
    virtual std::int64_t Write(const void* buffer, std::int64_t count) = 0;

    virtual std::int64_t Size() const = 0;
    virtual void SetSize(std::int64_t newSize) = 0;
    virtual std::int64_t Position() const = 0;
    virtual void SetPosition(std::int64_t position) = 0;

    // Exactly count bytes or EReadError / EWriteError.
    void ReadBuffer(void* buffer, std::int64_t count);
    void WriteBuffer(const void* buffer, std::int64_t count);
    void WriteString(const std::string& bytes) { WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size())); }

    // Copies count bytes from source's position; count 0 copies the whole source
    // from its start. Returns the number of bytes copied.
    std::int64_t CopyFrom(TStream& source, std::int64_t count);
};

class TMemoryStream final : public TStream {
public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::string bytes) : FBytes(std::move(bytes)) {}

    std::int64_t Read(void* buffer, std::int64_t count) override;
    std::int64_t Write(const void* buffer, std::int64_t count) override;
    std::int64_t Size() const override { return static_cast<std::int64_t>(FBytes.size()); }
    void SetSize(std::int64_t newSize) override;
    std::int64_t Position() const override { return FPosition; }
    void SetPosition(std::int64_t position) override;

    // Whole content, independent of the position.
    const std::string& Bytes() const { return FBytes; }
    const char* Memory() const { return FBytes.data(); }

    void Clear();
    void LoadFromFile(const std::string& path);   // EFOpenError / EReadError
    void SaveToFile(const std::string& path) const;  // EFCreateError / EWriteError

private:
    std::string FBytes;
    std::int64_t FPosition = 0;
};

class TFileStream final : public TStream {
public:
    enum class Mode { Create, OpenRead, OpenReadWrite };

    // Create: "Cannot create file ..." on failure; open modes: "Cannot open file ...".
    TFileStream(const std::string& path, Mode mode);

    std::int64_t Read(void* buffer, std::int64_t count) override;
    std::int64_t Write(const void* buffer, std::int64_t count) override;
    std::int64_t Size() const override;
    void SetSize(std::int64_t newSize) override;
    std::int64_t Position() const override;
    void SetPosition(std::int64_t position) override;

    // True once a read failed for a reason other than the end of the file.
    bool HadReadError() const;

    // Flushes and closes; write errors that only show at close raise EWriteError.
    void Close();
    ~TFileStream() override;

private:
    struct FileCloser {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    std::string FPath;
    std::unique_ptr<std::FILE, FileCloser> FFile;
};

// Reads a whole file into bytes (EFOpenError / EReadError).
std::string ReadFileBytes(const std::string& path);
