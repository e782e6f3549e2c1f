#pragma once
// The byte layout of the records the payload archive is made of (PKWARE's APPNOTE 4.3): local
// headers, central directory records and the end records, ZIP64 forms included. Portable.

#include "archive/ZipFormat.h"

#include <cstdint>
#include <string>

// What the archive records say about one entry.
struct TZipRecordInfo {
    std::string Name; // UTF-8
    std::uint16_t Method = zipformat::kMethodStored;
    TDosDateTime Modified;
    std::uint32_t Crc = 0;
    std::uint64_t CompressedSize = 0;
    std::uint64_t UncompressedSize = 0;
    std::uint64_t LocalHeaderOffset = 0;
    std::uint32_t Attributes = 0; // DOS attribute word
    bool IsDirectory = false;
    // The local header carries a ZIP64 extra field (decided before the data is written,
    // from the uncompressed size).
    bool LocalZip64 = false;
};

// Sizes at and above this do not fit a 32-bit field and go to a ZIP64 extra field.
constexpr std::uint64_t kZip32Limit = 0xFFFFFFFFu;
// Entry counts at and above this need the ZIP64 end record.
constexpr std::uint64_t kZip16Limit = 0xFFFFu;

// Returns the local file header of `info`, name and extra field included. Its length depends
// only on the name and LocalZip64, so that it can be rewritten in place once the sizes are
// known.
std::string LocalHeader(const TZipRecordInfo& info);

// Returns the central directory record of `info`, with a ZIP64 extra field for every value
// that does not fit its 32-bit field.
std::string CentralRecord(const TZipRecordInfo& info);

// Returns the end of the central directory: the ZIP64 end record and locator when the count,
// the size or the offset needs them, then the classic end record.
std::string EndRecords(std::uint64_t entries, std::uint64_t centralSize,
                       std::uint64_t centralOffset);
