#include "tools/packer/BinaryFile.h"

#include "tools/packer/PackError.h"
#include "tools/packer/PathText.h"

#include <cerrno>
#include <cstring>
#include <system_error>

namespace {

std::string SystemReason() {
    return errno != 0 ? std::string(": ") + std::strerror(errno) : std::string();
}

} // namespace

std::string ReadFileBytes(const std::filesystem::path& path) {
    errno = 0;
    std::ifstream stream(path, std::ios::binary);
    if (!stream)
        ThrowIoFailure("cannot open " + PathToUtf8(path) + SystemReason());
    std::string bytes;
    char buffer[1 << 16];
    while (stream.read(buffer, sizeof buffer) || stream.gcount() > 0)
        bytes.append(buffer, static_cast<std::size_t>(stream.gcount()));
    if (stream.bad())
        ThrowIoFailure("cannot read " + PathToUtf8(path) + SystemReason());
    return bytes;
}

TInputFile::TInputFile(const std::filesystem::path& path) : path_(path) {
    errno = 0;
    stream_.open(path, std::ios::binary);
    if (!stream_)
        ThrowIoFailure("cannot open " + PathToUtf8(path) + SystemReason());
}

std::size_t TInputFile::ReadAt(std::uint64_t offset, void* buffer, std::size_t length) {
    stream_.clear();
    stream_.seekg(static_cast<std::streamoff>(offset));
    stream_.read(static_cast<char*>(buffer), static_cast<std::streamsize>(length));
    if (stream_.bad())
        ThrowIoFailure("cannot read " + PathToUtf8(path_) + SystemReason());
    return static_cast<std::size_t>(stream_.gcount());
}

bool TInputFile::HasDataAt(std::uint64_t offset) {
    char probe;
    return ReadAt(offset, &probe, 1) == 1;
}

TOutputFile::TOutputFile(const std::filesystem::path& path) : path_(path) {
    errno = 0;
    stream_.open(path, std::ios::binary | std::ios::in | std::ios::out | std::ios::trunc);
    if (!stream_)
        Fail("create");
}

void TOutputFile::Write(const void* data, std::size_t length) {
    errno = 0;
    stream_.write(static_cast<const char*>(data), static_cast<std::streamsize>(length));
    if (!stream_)
        Fail("write");
    position_ += length;
}

void TOutputFile::Seek(std::uint64_t position) {
    stream_.seekp(static_cast<std::streamoff>(position));
    if (!stream_)
        Fail("write");
    position_ = position;
}

void TOutputFile::Close(std::uint64_t length) {
    errno = 0;
    stream_.flush();
    if (!stream_)
        Fail("write");
    stream_.close();
    std::error_code error;
    if (std::filesystem::file_size(path_, error) != length && !error)
        std::filesystem::resize_file(path_, length, error);
    if (error)
        ThrowIoFailure("cannot write " + PathToUtf8(path_) + ": " + error.message());
}

void TOutputFile::Fail(const char* what) {
    ThrowIoFailure(std::string("cannot ") + what + " " + PathToUtf8(path_) + SystemReason());
}
