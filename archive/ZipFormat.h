#pragma once
// The ZIP records the reader understands (PKWARE's APPNOTE): signatures, the per-entry record
// and the end record, and little-endian field access. Portable.

#include "sys/LittleEndian.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace zipformat {

constexpr std::uint32_t kLocalHeaderSignature = 0x04034B50;
constexpr std::uint32_t kCentralHeaderSignature = 0x02014B50;
constexpr std::uint32_t kEndCentralSignature = 0x06054B50;
constexpr std::uint32_t kZip64EndSignature = 0x06064B50;
constexpr std::uint32_t kZip64LocatorSignature = 0x07064B50;

constexpr std::size_t kLocalHeaderSize = 30;
constexpr std::size_t kCentralHeaderSize = 46;
constexpr std::size_t kEndCentralSize = 22;
constexpr std::size_t kZip64EndSize = 56;
constexpr std::size_t kZip64LocatorSize = 20;
constexpr std::size_t kEncryptionHeaderSize = 12;
constexpr std::size_t kDataDescriptorSize = 16;
// The end record plus the longest comment it can carry.
constexpr std::size_t kEndSearchSpan = kEndCentralSize + 0xFFFF;

constexpr std::uint16_t kExtraZip64 = 0x0001;
constexpr std::uint16_t kExtraUnicodePath = 0x7075;
constexpr std::uint16_t kExtraAes = 0x9901;

constexpr std::uint16_t kFlagEncrypted = 0x0001;
constexpr std::uint16_t kFlagDataDescriptor = 0x0008;
constexpr std::uint16_t kFlagUtf8 = 0x0800;

constexpr std::uint16_t kMethodStored = 0;
constexpr std::uint16_t kMethodDeflated = 8;
constexpr std::uint16_t kMethodAes = 99;

using le::Get16;
using le::Get32;
using le::Get64;

} // namespace zipformat

// A stored DOS date and time, as the archive holds them (date in the high word).
struct TDosDateTime {
    std::uint16_t date = 0;
    std::uint16_t time = 0;
};

// One entry of the archive, from its central directory record (or, in the fallback scan,
// from its local header), with the ZIP64 and AES extra fields applied.
struct TZipHeaderInfo {
    std::uint16_t versionMadeBy = 0;
    std::uint16_t versionNeeded = 0;
    std::uint16_t flags = 0;
    std::uint16_t compressionMethod = 0;
    TDosDateTime modified;        // sanitised: every field within its valid range
    std::uint16_t storedTime = 0; // the DOS time as stored, for the password check
    std::uint32_t crc32 = 0;
    std::uint64_t compressedSize = 0;
    std::uint64_t uncompressedSize = 0;
    std::uint16_t nameLength = 0;
    std::uint16_t extraLength = 0;
    std::uint16_t commentLength = 0;
    std::uint32_t diskStart = 0;
    std::uint16_t internalAttributes = 0;
    std::uint32_t externalAttributes = 0;
    std::uint64_t localHeaderOffset = 0;
    // From the AES extra field: strength 1-3 (0 without the field) and the real method.
    std::uint8_t aesStrength = 0;
    std::uint16_t aesRealMethod = 0;
    // The decoded name split after its last "\" or ":": directory part ("" or ending with
    // "\") and file name part ("" for a directory entry).
    std::wstring directory;
    std::wstring fileName;

    // True when the name ends with a separator; the attributes play no part in this.
    bool IsDirectory() const { return fileName.empty(); }
    // True for traditional encryption (flag bit 0 without AES).
    bool IsTraditionallyEncrypted() const {
        return (flags & zipformat::kFlagEncrypted) != 0 && !IsAes();
    }
    // True for an AES entry (method 99 or an AES extra field).
    bool IsAes() const { return compressionMethod == zipformat::kMethodAes || aesStrength != 0; }
};

// The end of central directory record, with the ZIP64 end record and locator when present.
struct TEndCentral {
    std::uint32_t thisDisk = 0;
    std::uint32_t centralDirDisk = 0;
    std::uint64_t entriesThisDisk = 0;
    std::uint64_t totalEntries = 0;
    std::uint64_t centralDirSize = 0;
    std::uint64_t centralDirOffset = 0;
    std::uint16_t commentLength = 0;
    std::uint64_t endRecordOffset = 0;
    bool hasZip64 = false;
    std::uint32_t zip64EndDisk = 0;   // from the locator
    std::uint64_t zip64EndOffset = 0; // from the locator
    std::uint32_t totalDisks = 0;     // from the locator
};
