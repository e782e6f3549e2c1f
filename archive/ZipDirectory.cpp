// Reading the archive's directory: the end record, the ZIP64 records, the central directory
// and, when that cannot be read, the scan over the local headers.
#include "archive/ZipReader.h"

#include "archive/ZipDosTime.h"
#include "archive/ZipNames.h"
#include "sys/Error.h"

#include <algorithm>
#include <cstring>

using namespace zipformat;

namespace {

constexpr std::uint32_t kSaturated32 = 0xFFFFFFFF;
constexpr std::uint16_t kSaturated16 = 0xFFFF;
// Self-extracting archives made by the original tool carry their stub in front of the data.
constexpr std::uint64_t kExeStubSize = 14000;

// Reads through one large buffer; a window is refilled whenever a request falls outside it.
class TBufferedInput {
public:
    TBufferedInput(IZipInput& input, unsigned char* buffer, std::size_t size)
        : input_(input), buffer_(buffer), size_(size) {}

    // Returns `length` bytes at `offset`, valid until the next call; null when the file
    // ends first. `length` must not exceed the buffer.
    const unsigned char* Peek(std::uint64_t offset, std::size_t length) {
        if (offset >= start_ && offset - start_ + length <= filled_)
            return buffer_ + (offset - start_);
        start_ = offset;
        filled_ = input_.ReadAt(offset, buffer_, size_);
        return length <= filled_ ? buffer_ : nullptr;
    }

private:
    IZipInput& input_;
    unsigned char* buffer_;
    std::size_t size_;
    std::uint64_t start_ = 0;
    std::size_t filled_ = 0;
};

bool EndsWithExe(const std::wstring& path) {
    static constexpr wchar_t kExe[] = {L'.', L'E', L'X', L'E'};
    if (path.size() < 4)
        return false;
    for (std::size_t i = 0; i < 4; ++i) {
        wchar_t c = path[path.size() - 4 + i];
        if (c >= L'a' && c <= L'z')
            c = static_cast<wchar_t>(c - 32);
        if (c != kExe[i])
            return false;
    }
    return true;
}

// Applies the extra fields the reader uses. `local` selects the local header's ZIP64 layout
// (both sizes always present when either is saturated). Returns the Unicode path, if any.
bool ApplyExtraFields(TZipHeaderInfo& entry, const unsigned char* extra, std::size_t length,
                      bool local, std::wstring& unicodeName) {
    bool hasUnicodeName = false;
    std::size_t pos = 0;
    while (pos + 4 <= length) {
        const std::uint16_t id = Get16(extra + pos);
        const std::uint16_t size = Get16(extra + pos + 2);
        pos += 4;
        if (size > length - pos)
            break;
        const unsigned char* data = extra + pos;
        if (id == kExtraZip64) {
            std::size_t at = 0;
            auto take64 = [&](std::uint64_t& field) {
                if (at + 8 <= size) {
                    field = Get64(data + at);
                    at += 8;
                }
            };
            const bool bigUncompressed = entry.uncompressedSize == kSaturated32;
            const bool bigCompressed = entry.compressedSize == kSaturated32;
            if (bigUncompressed || (local && bigCompressed))
                take64(entry.uncompressedSize);
            if (bigCompressed || (local && bigUncompressed))
                take64(entry.compressedSize);
            if (!local && entry.localHeaderOffset == kSaturated32)
                take64(entry.localHeaderOffset);
            if (!local && entry.diskStart == kSaturated16 && at + 4 <= size)
                entry.diskStart = Get32(data + at);
        } else if (id == kExtraUnicodePath && size >= 5) {
            // Version byte and name checksum come first; the checksum is not compared.
            unicodeName = DecodeUnicodePathName(
                std::string_view(reinterpret_cast<const char*>(data + 5), size - 5));
            hasUnicodeName = true;
        } else if (id == kExtraAes && size >= 7) {
            entry.aesStrength = data[4];
            entry.aesRealMethod = Get16(data + 5);
            if (entry.aesStrength == 0)
                entry.aesStrength = 0xFF; // a field without a strength is AES all the same
        }
        pos += size;
    }
    return hasUnicodeName;
}

// Applies the extra fields and, when `decodeNames` is set, decodes and splits the name.
void SetName(TZipHeaderInfo& entry, const unsigned char* rawName, std::size_t length,
             const unsigned char* extra, std::size_t extraLength, bool local, IZipHost& host,
             bool flexibleOem, bool decodeNames) {
    std::wstring unicodeName;
    const bool replaced = ApplyExtraFields(entry, extra, extraLength, local, unicodeName);
    if (!decodeNames)
        return;
    std::wstring name;
    if (replaced) {
        name = std::move(unicodeName);
    } else {
        std::string raw(reinterpret_cast<const char*>(rawName), length);
        std::replace(raw.begin(), raw.end(), '/', '\\');
        name = DecodeEntryName(raw, entry.flags, entry.versionMadeBy, flexibleOem,
                               host.OemCodePage(), host.AnsiCodePage());
    }
    SplitEntryName(name, entry.directory, entry.fileName);
}

// Central and local headers share one run of fields, from "version needed" to the extra
// field's length; `fields` points at "version needed".
void ReadSharedHeaderFields(const unsigned char* fields, TZipHeaderInfo& entry) {
    entry.versionNeeded = Get16(fields);
    entry.flags = Get16(fields + 2);
    entry.compressionMethod = Get16(fields + 4);
    entry.storedTime = Get16(fields + 6);
    entry.modified = SanitiseDosDateTime(TDosDateTime{Get16(fields + 8), Get16(fields + 6)});
    entry.crc32 = Get32(fields + 10);
    entry.compressedSize = Get32(fields + 14);
    entry.uncompressedSize = Get32(fields + 18);
    entry.nameLength = Get16(fields + 22);
    entry.extraLength = Get16(fields + 24);
}

// Parses the central directory record at `pos`; on success moves `pos` past it.
bool ReadCentralRecord(TBufferedInput& reader, std::uint64_t& pos, TZipHeaderInfo& entry,
                       IZipHost& host, bool flexibleOem, bool decodeNames) {
    const unsigned char* fixed = reader.Peek(pos, kCentralHeaderSize);
    if (!fixed || Get32(fixed) != kCentralHeaderSignature)
        return false;
    entry = TZipHeaderInfo{};
    entry.versionMadeBy = Get16(fixed + 4);
    ReadSharedHeaderFields(fixed + 6, entry);
    entry.commentLength = Get16(fixed + 32);
    entry.diskStart = Get16(fixed + 34);
    entry.internalAttributes = Get16(fixed + 36);
    entry.externalAttributes = Get32(fixed + 38);
    entry.localHeaderOffset = Get32(fixed + 42);
    const std::size_t variable = std::size_t{entry.nameLength} + entry.extraLength;
    const unsigned char* rest = reader.Peek(pos + kCentralHeaderSize, variable);
    if (!rest)
        return false;
    SetName(entry, rest, entry.nameLength, rest + entry.nameLength, entry.extraLength, false, host,
            flexibleOem, decodeNames);
    pos += kCentralHeaderSize + variable + entry.commentLength;
    return true;
}

} // namespace

void TZipReader::ReadDirectory(IZipInput& input) {
    source_ = TEntrySource::None;
    entryCount_ = 0;
    refs_.clear();
    refs_.shrink_to_fit();
    end_ = TEndCentral{};
    incomplete_ = false;
    usedFallback_ = false;
    directoryRead_ = true;
    stamp_ = input.Stamp();
    if (input.Size() == 0)
        return; // an empty archive: nothing to extract, nothing wrong
    if (!FindEndRecord(input) || end_.thisDisk < end_.centralDirDisk) {
        incomplete_ = true;
        return;
    }
    if (!ReadCentralDirectory(input))
        FallbackScan(input);
}

bool TZipReader::FindEndRecord(IZipInput& input) {
    const std::uint64_t size = input.Size();
    if (size < kEndCentralSize)
        return false;
    const std::size_t span =
        static_cast<std::size_t>(std::min<std::uint64_t>(size, kEndSearchSpan));
    std::vector<unsigned char> tail(span);
    const std::uint64_t tailStart = size - span;
    if (input.ReadAt(tailStart, tail.data(), span) != span)
        return false;
    std::size_t at = span - kEndCentralSize + 1;
    bool found = false;
    while (at-- > 0) {
        if (Get32(tail.data() + at) == kEndCentralSignature) {
            found = true;
            break;
        }
    }
    if (!found)
        return false;
    const unsigned char* rec = tail.data() + at;
    end_.endRecordOffset = tailStart + at;
    end_.thisDisk = Get16(rec + 4);
    end_.centralDirDisk = Get16(rec + 6);
    end_.entriesThisDisk = Get16(rec + 8);
    end_.totalEntries = Get16(rec + 10);
    end_.centralDirSize = Get32(rec + 12);
    end_.centralDirOffset = Get32(rec + 16);
    end_.commentLength = Get16(rec + 20);

    unsigned char locator[kZip64LocatorSize];
    if (end_.endRecordOffset >= kZip64LocatorSize &&
        input.ReadAt(end_.endRecordOffset - kZip64LocatorSize, locator, sizeof locator) ==
            sizeof locator &&
        Get32(locator) == kZip64LocatorSignature) {
        end_.zip64EndDisk = Get32(locator + 4);
        end_.zip64EndOffset = Get64(locator + 8);
        end_.totalDisks = Get32(locator + 16);
        unsigned char z64[kZip64EndSize];
        if (input.ReadAt(end_.zip64EndOffset, z64, sizeof z64) == sizeof z64 &&
            Get32(z64) == kZip64EndSignature) {
            end_.hasZip64 = true;
            if (end_.totalEntries == kSaturated16 || end_.centralDirOffset == kSaturated32) {
                end_.thisDisk = Get32(z64 + 16);
                end_.centralDirDisk = Get32(z64 + 20);
                end_.entriesThisDisk = Get64(z64 + 24);
                end_.totalEntries = Get64(z64 + 32);
                end_.centralDirSize = Get64(z64 + 40);
                end_.centralDirOffset = Get64(z64 + 48);
            }
        }
    }
    return true;
}

bool TZipReader::WalkCentralDirectory(IZipInput& input, bool decodeNames,
                                      const TEntryVisitor& visit) {
    TBufferedInput reader(input, dirBuffer_.data(), dirBuffer_.size());
    const bool flexibleOem = OEMConvert == TOEMConvert::oemFlexible;
    std::uint64_t pos = end_.centralDirOffset;
    std::uint16_t previousExtra = 0;
    TZipHeaderInfo entry;
    for (std::uint64_t i = 0; i < end_.totalEntries; ++i) {
        Pump();
        std::uint64_t record = pos;
        if (!ReadCentralRecord(reader, pos, entry, host_, flexibleOem, decodeNames)) {
            // Some writers count the extra field of the previous record twice.
            record = pos - std::min<std::uint64_t>(previousExtra, pos);
            pos = record;
            if (!ReadCentralRecord(reader, pos, entry, host_, flexibleOem, decodeNames))
                return false;
        }
        previousExtra = entry.extraLength;
        visit(entry, record);
    }
    return true;
}

bool TZipReader::ReadCentralDirectory(IZipInput& input) {
    // First pass: every record readable, and are the data already in ascending order?
    bool inOrder = true;
    bool first = true;
    std::uint32_t lastDisk = 0;
    std::uint64_t lastOffset = 0;
    std::uint64_t count = 0;
    const bool readable =
        WalkCentralDirectory(input, false, [&](const TZipHeaderInfo& entry, std::uint64_t) {
            if (!first && (entry.diskStart < lastDisk ||
                           (entry.diskStart == lastDisk && entry.localHeaderOffset <= lastOffset)))
                inOrder = false;
            first = false;
            lastDisk = entry.diskStart;
            lastOffset = entry.localHeaderOffset;
            ++count;
        });
    if (!readable)
        return false;
    entryCount_ = count;
    if (inOrder) {
        source_ = TEntrySource::CentralInOrder;
        return true;
    }

    // Out of order (or two entries sharing an offset): index the records by their data.
    refs_.reserve(static_cast<std::size_t>(count));
    WalkCentralDirectory(input, false, [&](const TZipHeaderInfo& entry, std::uint64_t record) {
        refs_.push_back({entry.diskStart, entry.localHeaderOffset, record});
    });
    std::stable_sort(refs_.begin(), refs_.end(), [](const TEntryRef& a, const TEntryRef& b) {
        return a.diskStart != b.diskStart ? a.diskStart < b.diskStart
                                          : a.localHeaderOffset < b.localHeaderOffset;
    });
    for (std::size_t i = 1; i < refs_.size(); ++i)
        if (refs_[i].diskStart == refs_[i - 1].diskStart &&
            refs_[i].localHeaderOffset == refs_[i - 1].localHeaderOffset) {
            refs_.clear();
            entryCount_ = 0;
            return false;
        }
    source_ = TEntrySource::CentralIndexed;
    return true;
}

void TZipReader::FallbackScan(IZipInput& input) {
    usedFallback_ = true;
    refs_.clear();
    const std::uint64_t size = input.Size();
    TBufferedInput reader(input, dirBuffer_.data(), dirBuffer_.size());

    // The first local header signature from the start (or after a stub).
    std::uint64_t pos = EndsWithExe(zipName_) ? kExeStubSize : 0;
    bool found = false;
    const std::size_t window = dirBuffer_.size();
    while (!found && pos + 4 <= size) {
        const std::size_t length =
            static_cast<std::size_t>(std::min<std::uint64_t>(window, size - pos));
        const unsigned char* data = reader.Peek(pos, length);
        if (!data)
            break;
        std::size_t at = 0;
        for (; at + 4 <= length; ++at)
            if (data[at] == 'P' && Get32(data + at) == kLocalHeaderSignature) {
                found = true;
                break;
            }
        pos += found ? at : (length >= 4 ? length - 3 : length);
    }
    firstLocalHeader_ = found ? pos : size;
    entryCount_ = WalkLocalHeaders(input, false, [](const TZipHeaderInfo&, std::uint64_t) {});
    if (entryCount_ == 0)
        throw EInstallerError(L"Not a valid zip file!");
    source_ = TEntrySource::LocalScan;
}

std::uint64_t TZipReader::WalkLocalHeaders(IZipInput& input, bool decodeNames,
                                           const TEntryVisitor& visit) {
    const std::uint64_t size = input.Size();
    const bool flexibleOem = OEMConvert == TOEMConvert::oemFlexible;
    TBufferedInput reader(input, dirBuffer_.data(), dirBuffer_.size());
    std::uint64_t pos = firstLocalHeader_;
    std::uint64_t count = 0;
    TZipHeaderInfo entry;
    for (;;) {
        Pump();
        const unsigned char* fixed = reader.Peek(pos, kLocalHeaderSize);
        if (!fixed || Get32(fixed) != kLocalHeaderSignature)
            break;
        entry = TZipHeaderInfo{};
        ReadSharedHeaderFields(fixed + 4, entry);
        entry.localHeaderOffset = pos;
        const std::size_t variable = std::size_t{entry.nameLength} + entry.extraLength;
        const unsigned char* rest = reader.Peek(pos + kLocalHeaderSize, variable);
        if (!rest)
            break;
        SetName(entry, rest, entry.nameLength, rest + entry.nameLength, entry.extraLength, true,
                host_, flexibleOem, decodeNames);
        const std::uint64_t dataStart = pos + kLocalHeaderSize + variable;
        const std::uint64_t skip =
            entry.compressedSize +
            ((entry.flags & kFlagDataDescriptor) != 0 ? kDataDescriptorSize : 0);
        visit(entry, pos);
        ++count;
        if (skip > size || dataStart + skip > size)
            break;
        pos = dataStart + skip;
    }
    return count;
}

void TZipReader::ForEachEntry(IZipInput& input, const TEntryVisitor& visit) {
    switch (source_) {
    case TEntrySource::None:
        return;
    case TEntrySource::CentralInOrder:
        if (!WalkCentralDirectory(input, true, visit))
            throw EInstallerError(L"Premature end of file reached");
        return;
    case TEntrySource::LocalScan:
        WalkLocalHeaders(input, true, visit);
        return;
    case TEntrySource::CentralIndexed: {
        TBufferedInput reader(input, dirBuffer_.data(), dirBuffer_.size());
        const bool flexibleOem = OEMConvert == TOEMConvert::oemFlexible;
        TZipHeaderInfo entry;
        for (const TEntryRef& ref : refs_) {
            Pump();
            std::uint64_t pos = ref.recordOffset;
            if (!ReadCentralRecord(reader, pos, entry, host_, flexibleOem, true))
                throw EInstallerError(L"Premature end of file reached");
            visit(entry, ref.recordOffset);
        }
        return;
    }
    }
}
