#pragma once
// One file or folder of the product as it goes into the payload archive. Portable.

#include "archive/ZipFormat.h"

#include <cstdint>
#include <filesystem>
#include <string>

struct TPayloadEntry {
    // The name inside the archive: UTF-8, "/" between folders, a folder's name ends with "/".
    std::string Name;
    std::filesystem::path Source; // the file to read; empty for a folder
    std::uint64_t Size = 0;       // bytes, as found when the folder was scanned
    TDosDateTime Modified;        // last-write time, local time as the installer sets it
    std::uint32_t Attributes = 0; // DOS attribute word (read-only, directory, archive)

    bool IsDirectory() const { return !Name.empty() && Name.back() == '/'; }
};

// DOS attribute bits, as the archive stores them.
namespace dosattr {
constexpr std::uint32_t kReadOnly = 0x01;
constexpr std::uint32_t kDirectory = 0x10;
constexpr std::uint32_t kArchive = 0x20;
} // namespace dosattr
