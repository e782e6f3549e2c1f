#pragma once
// Files read and written as bytes, with every failure raised as an EPackError (IoFailure)
// that names the file. Portable.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

// Returns the whole file's bytes.
std::string ReadFileBytes(const std::filesystem::path& path);

// A file opened for reading at any offset.
class TInputFile {
public:
    explicit TInputFile(const std::filesystem::path& path);
    // Reads up to `length` bytes at `offset`; returns how many were read (fewer at the end).
    std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t length);
    // True when the file holds more bytes at `offset`.
    bool HasDataAt(std::uint64_t offset);

private:
    std::filesystem::path path_;
    std::ifstream stream_;
};

// A new file written from the start, which may be rewritten in place afterwards.
class TOutputFile {
public:
    // Creates (or truncates) the file.
    explicit TOutputFile(const std::filesystem::path& path);
    void Write(const void* data, std::size_t length);
    void Write(const std::string& bytes) { Write(bytes.data(), bytes.size()); }
    // Where the next Write goes.
    std::uint64_t Position() const { return position_; }
    void Seek(std::uint64_t position);
    // Flushes and closes; the file is then `length` bytes long, whatever was written past it.
    void Close(std::uint64_t length);

private:
    std::filesystem::path path_;
    std::fstream stream_;
    std::uint64_t position_ = 0;
    [[noreturn]] void Fail(const char* what);
};
