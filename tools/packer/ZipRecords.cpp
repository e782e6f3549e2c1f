#include "tools/packer/ZipRecords.h"

#include "sys/LittleEndian.h"

namespace {

// Version 6.3 of the APPNOTE (which defines the UTF-8 flag), host system MS-DOS: the
// attribute word is DOS attributes.
constexpr std::uint16_t kVersionMadeBy = 63;

// Little-endian fields, as PE and ZIP files store them.
using namespace le;

std::uint32_t Field32(std::uint64_t value) {
    return value >= kZip32Limit ? 0xFFFFFFFFu : static_cast<std::uint32_t>(value);
}

std::uint16_t VersionNeeded(const TZipRecordInfo& info, bool zip64) {
    if (zip64)
        return 45;
    if (info.IsDirectory || info.Method == zipformat::kMethodDeflated)
        return 20;
    return 10;
}

} // namespace

std::string LocalHeader(const TZipRecordInfo& info) {
    std::string out;
    Put32(out, zipformat::kLocalHeaderSignature);
    Put16(out, VersionNeeded(info, info.LocalZip64));
    Put16(out, zipformat::kFlagUtf8);
    Put16(out, info.Method);
    Put16(out, info.Modified.time);
    Put16(out, info.Modified.date);
    Put32(out, info.Crc);
    Put32(out, info.LocalZip64 ? 0xFFFFFFFFu : static_cast<std::uint32_t>(info.CompressedSize));
    Put32(out, info.LocalZip64 ? 0xFFFFFFFFu : static_cast<std::uint32_t>(info.UncompressedSize));
    Put16(out, info.Name.size());
    Put16(out, info.LocalZip64 ? 20 : 0);
    out += info.Name;
    if (info.LocalZip64) {
        // In a local header the ZIP64 field holds both sizes.
        Put16(out, zipformat::kExtraZip64);
        Put16(out, 16);
        Put64(out, info.UncompressedSize);
        Put64(out, info.CompressedSize);
    }
    return out;
}

std::string CentralRecord(const TZipRecordInfo& info) {
    std::string extra;
    if (info.UncompressedSize >= kZip32Limit)
        Put64(extra, info.UncompressedSize);
    if (info.CompressedSize >= kZip32Limit)
        Put64(extra, info.CompressedSize);
    if (info.LocalHeaderOffset >= kZip32Limit)
        Put64(extra, info.LocalHeaderOffset);
    if (!extra.empty()) {
        std::string field;
        Put16(field, zipformat::kExtraZip64);
        Put16(field, extra.size());
        extra = field + extra;
    }
    std::string out;
    Put32(out, zipformat::kCentralHeaderSignature);
    Put16(out, kVersionMadeBy);
    Put16(out, VersionNeeded(info, !extra.empty() || info.LocalZip64));
    Put16(out, zipformat::kFlagUtf8);
    Put16(out, info.Method);
    Put16(out, info.Modified.time);
    Put16(out, info.Modified.date);
    Put32(out, info.Crc);
    Put32(out, Field32(info.CompressedSize));
    Put32(out, Field32(info.UncompressedSize));
    Put16(out, info.Name.size());
    Put16(out, extra.size());
    Put16(out, 0); // comment length
    Put16(out, 0); // disk number start
    Put16(out, 0); // internal attributes
    Put32(out, info.Attributes);
    Put32(out, Field32(info.LocalHeaderOffset));
    out += info.Name;
    out += extra;
    return out;
}

std::string EndRecords(std::uint64_t entries, std::uint64_t centralSize,
                       std::uint64_t centralOffset) {
    std::string out;
    const bool zip64 =
        entries >= kZip16Limit || centralSize >= kZip32Limit || centralOffset >= kZip32Limit;
    if (zip64) {
        const std::uint64_t zip64EndOffset = centralOffset + centralSize;
        Put32(out, zipformat::kZip64EndSignature);
        Put64(out, zipformat::kZip64EndSize - 12); // the record's size after this field
        Put16(out, kVersionMadeBy);
        Put16(out, 45);
        Put32(out, 0); // this disk
        Put32(out, 0); // the disk where the central directory starts
        Put64(out, entries);
        Put64(out, entries);
        Put64(out, centralSize);
        Put64(out, centralOffset);
        Put32(out, zipformat::kZip64LocatorSignature);
        Put32(out, 0);
        Put64(out, zip64EndOffset);
        Put32(out, 1); // disks in all
    }
    Put32(out, zipformat::kEndCentralSignature);
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, entries >= kZip16Limit ? 0xFFFF : entries);
    Put16(out, entries >= kZip16Limit ? 0xFFFF : entries);
    Put32(out, Field32(centralSize));
    Put32(out, Field32(centralOffset));
    Put16(out, 0); // comment length
    return out;
}
