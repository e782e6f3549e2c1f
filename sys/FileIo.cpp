#include "sys/FileIo.h"

#include <algorithm>

namespace {

// Large enough to keep the number of calls small, small enough for any file system.
constexpr std::size_t kChunk = 1u << 20;

} // namespace

bool FileExists(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool DirectoryExists(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool WriteAllBytes(HANDLE file, std::string_view bytes) {
    while (!bytes.empty()) {
        const DWORD wanted = static_cast<DWORD>(std::min(bytes.size(), kChunk));
        DWORD written = 0;
        if (!WriteFile(file, bytes.data(), wanted, &written, nullptr))
            return false;
        if (written == 0) {
            SetLastError(ERROR_WRITE_FAULT);
            return false;
        }
        bytes.remove_prefix(written);
    }
    return true;
}

bool ReadAllBytes(HANDLE file, std::string& bytes) {
    bytes.clear();
    LARGE_INTEGER size{};
    if (GetFileSizeEx(file, &size) && size.QuadPart > 0 &&
        static_cast<unsigned long long>(size.QuadPart) < bytes.max_size())
        bytes.reserve(static_cast<std::size_t>(size.QuadPart));
    std::string chunk(kChunk, '\0');
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(file, chunk.data(), static_cast<DWORD>(chunk.size()), &read, nullptr))
            return false;
        if (read == 0)
            return true;
        bytes.append(chunk, 0, read);
    }
}
