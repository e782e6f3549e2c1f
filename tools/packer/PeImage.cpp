#include "tools/packer/PeImage.h"

#include "tools/packer/PackError.h"
#include "sys/LittleEndian.h"

#include <algorithm>

namespace {

// Little-endian fields, as PE and ZIP files store them.
using namespace le;

std::uint64_t AlignUp(std::uint64_t value, std::uint32_t alignment) {
    return (value + alignment - 1) / alignment * alignment;
}

constexpr std::uint16_t kMagicPe32 = 0x10B;
constexpr std::uint16_t kMagicPe32Plus = 0x20B;
constexpr std::uint16_t kCharacteristicExecutable = 0x0002;
constexpr std::uint16_t kCharacteristicDll = 0x2000;
// A section whose data starts on a page boundary of the file can be mapped straight from it
// when the program starts; Wine reads any other into memory, which for a payload of 100 MB
// cost a third of a second at every start (measured).
constexpr std::uint32_t kPageSize = 0x1000;

} // namespace

TPeImage::TPeImage(std::string bytes, const std::string& label)
    : bytes_(std::move(bytes)), label_(label) {
    auto bad = [&](const std::string& why) {
        ThrowBadInput(label_ + " is not a Windows program the packer can use: " + why);
    };
    if (bytes_.size() < 0x40 || bytes_[0] != 'M' || bytes_[1] != 'Z')
        bad("it has no MZ header");
    const std::uint32_t peOffset = Get32(bytes_, 0x3C);
    if (peOffset > bytes_.size() - 24 || bytes_.compare(peOffset, 4, std::string("PE\0\0", 4)))
        bad("it has no PE signature");
    fileHeader_ = peOffset + 4;
    const std::uint16_t sectionCount = Get16(bytes_, fileHeader_ + 2);
    const std::uint16_t optionalSize = Get16(bytes_, fileHeader_ + 16);
    const std::uint16_t characteristics = Get16(bytes_, fileHeader_ + 18);
    if ((characteristics & kCharacteristicExecutable) == 0 ||
        (characteristics & kCharacteristicDll) != 0)
        bad("it is not an executable");
    optionalHeader_ = fileHeader_ + 20;
    sectionTable_ = optionalHeader_ + optionalSize;
    if (sectionTable_ + std::size_t{sectionCount} * pe::kSectionHeaderSize > bytes_.size())
        bad("its headers are cut short");
    if (optionalSize < 2)
        bad("its optional header is cut short");
    const std::uint16_t magic = Get16(bytes_, optionalHeader_);
    std::size_t countField = 0;
    if (magic == kMagicPe32)
        countField = 92;
    else if (magic == kMagicPe32Plus)
        countField = 108;
    else
        bad("its optional header is of an unknown kind");
    if (optionalSize < countField + 4)
        bad("its optional header is cut short");
    sectionAlignment_ = Get32(bytes_, optionalHeader_ + 32);
    fileAlignment_ = Get32(bytes_, optionalHeader_ + 36);
    sizeOfHeaders_ = Get32(bytes_, optionalHeader_ + 60);
    directoryCount_ = Get32(bytes_, optionalHeader_ + countField);
    directories_ = optionalHeader_ + countField + 4;
    if (fileAlignment_ == 0 || sectionAlignment_ == 0 ||
        (fileAlignment_ & (fileAlignment_ - 1)) != 0 ||
        (sectionAlignment_ & (sectionAlignment_ - 1)) != 0)
        bad("its alignments are not powers of two");
    if (directories_ + std::size_t{directoryCount_} * 8 > sectionTable_)
        bad("its data directories do not fit its optional header");
    for (std::size_t i = 0; i < sectionCount; ++i) {
        const std::size_t at = sectionTable_ + i * pe::kSectionHeaderSize;
        TPeSection s;
        s.Name = bytes_.substr(at, 8);
        s.Name.erase(std::find(s.Name.begin(), s.Name.end(), '\0'), s.Name.end());
        s.VirtualSize = Get32(bytes_, at + 8);
        s.VirtualAddress = Get32(bytes_, at + 12);
        s.RawSize = Get32(bytes_, at + 16);
        s.RawPointer = Get32(bytes_, at + 20);
        s.Characteristics = Get32(bytes_, at + 36);
        if (s.RawSize != 0 && std::uint64_t{s.RawPointer} + s.RawSize > bytes_.size())
            bad("section " + s.Name + " runs past the end of the file");
        if (!sections_.empty() && s.VirtualAddress <= sections_.back().VirtualAddress)
            bad("its sections are not in address order");
        sections_.push_back(s);
    }
    if (sections_.empty())
        bad("it has no sections");
}

TDataDirectory TPeImage::Directory(std::size_t index) const {
    if (index >= directoryCount_)
        return {};
    return {Get32(bytes_, directories_ + index * 8), Get32(bytes_, directories_ + index * 8 + 4)};
}

std::uint32_t TPeImage::StoredChecksum() const {
    return Get32(bytes_, ChecksumOffset());
}

std::uint64_t TPeImage::SectionDataEnd() const {
    std::uint64_t end = sizeOfHeaders_;
    for (const TPeSection& s : sections_)
        if (s.RawSize != 0)
            end = std::max<std::uint64_t>(end, std::uint64_t{s.RawPointer} + s.RawSize);
    return std::min<std::uint64_t>(end, bytes_.size());
}

const TPeSection* TPeImage::SectionOfRva(std::uint32_t rva, std::uint32_t length) const {
    // A section without raw data may name any file offset: it holds nothing to read.
    for (const TPeSection& s : sections_)
        if (s.RawSize != 0 && rva >= s.VirtualAddress &&
            std::uint64_t{rva} + length <= std::uint64_t{s.VirtualAddress} + s.RawSize)
            return &s;
    return nullptr;
}

std::size_t TPeImage::OffsetOfRva(std::uint32_t rva, std::uint32_t length) const {
    if (const TPeSection* s = SectionOfRva(rva, length))
        return s->RawPointer + (rva - s->VirtualAddress);
    ThrowBadInput(label_ + " is damaged: data at address " + std::to_string(rva) +
                  " lies outside its sections");
}

std::string TPeImage::WithSection(TPeSection& section, bool replaceLast,
                                  std::size_t directory) const {
    if (directory >= directoryCount_)
        ThrowBadInput(label_ + " has no data directory for resources");
    std::vector<TPeSection> kept = sections_;
    if (replaceLast)
        kept.pop_back();
    const std::size_t count = kept.size() + 1;
    const std::size_t tableEnd = sectionTable_ + count * pe::kSectionHeaderSize;
    std::uint64_t firstRaw = sizeOfHeaders_;
    for (const TPeSection& s : kept)
        if (s.RawSize != 0)
            firstRaw = std::min<std::uint64_t>(firstRaw, s.RawPointer);
    if (tableEnd > firstRaw)
        ThrowBadInput(label_ + " has no room in its headers for another section");

    // The new section follows the last one kept, in memory and in the file.
    std::uint64_t virtualEnd = 0, rawEnd = sizeOfHeaders_;
    for (const TPeSection& s : kept) {
        virtualEnd = std::max<std::uint64_t>(virtualEnd, std::uint64_t{s.VirtualAddress} +
                                                             std::max(s.VirtualSize, s.RawSize));
        if (s.RawSize != 0)
            rawEnd = std::max<std::uint64_t>(rawEnd, std::uint64_t{s.RawPointer} + s.RawSize);
    }
    const std::uint64_t address = AlignUp(virtualEnd, sectionAlignment_);
    // The file alignment is a power of two, so a page boundary is also one of its multiples.
    const std::uint64_t rawPointer = AlignUp(rawEnd, std::max(fileAlignment_, kPageSize));
    const std::uint64_t rawSize = AlignUp(section.VirtualSize, fileAlignment_);
    const std::uint64_t imageSize = AlignUp(address + section.VirtualSize, sectionAlignment_);
    if (imageSize > 0x7FFFFFFFu || rawPointer + rawSize > 0x7FFFFFFFu)
        ThrowBadInput("the resources are too large for a Windows program (2 GB at most)");
    section.VirtualAddress = static_cast<std::uint32_t>(address);
    section.RawPointer = static_cast<std::uint32_t>(rawPointer);
    section.RawSize = static_cast<std::uint32_t>(rawSize);

    std::string out = bytes_.substr(0, static_cast<std::size_t>(rawEnd));
    out.resize(static_cast<std::size_t>(rawPointer), '\0');
    // The section header, over the replaced one or the free space after the table.
    const std::size_t at = sectionTable_ + kept.size() * pe::kSectionHeaderSize;
    std::string name = section.Name.substr(0, 8);
    name.resize(8, '\0');
    out.replace(at, 8, name);
    Set32(out, at + 8, section.VirtualSize);
    Set32(out, at + 12, section.VirtualAddress);
    Set32(out, at + 16, section.RawSize);
    Set32(out, at + 20, section.RawPointer);
    Set32(out, at + 24, 0); // relocations
    Set32(out, at + 28, 0); // line numbers
    Set16(out, at + 32, 0);
    Set16(out, at + 34, 0);
    Set32(out, at + 36, section.Characteristics);
    Set16(out, fileHeader_ + 2, static_cast<std::uint32_t>(count));
    // A COFF symbol table would lie in the appended data, which is dropped.
    Set32(out, fileHeader_ + 8, 0);
    Set32(out, fileHeader_ + 12, 0);

    std::uint64_t initialized = 0;
    for (const TPeSection& s : kept)
        if ((s.Characteristics & pe::kSectionInitializedData) != 0)
            initialized += s.RawSize;
    if ((section.Characteristics & pe::kSectionInitializedData) != 0)
        initialized += section.RawSize;
    Set32(out, optionalHeader_ + 8, static_cast<std::uint32_t>(initialized));
    Set32(out, optionalHeader_ + 56, static_cast<std::uint32_t>(imageSize));
    Set32(out, ChecksumOffset(), 0);
    Set32(out, directories_ + directory * 8, section.VirtualAddress);
    Set32(out, directories_ + directory * 8 + 4, section.VirtualSize);
    if (pe::kDirectoryCertificate < directoryCount_) {
        // A signature does not survive the change; the publisher signs the result.
        Set32(out, directories_ + pe::kDirectoryCertificate * 8, 0);
        Set32(out, directories_ + pe::kDirectoryCertificate * 8 + 4, 0);
    }
    return out;
}

void TPeChecksum::Add(const void* data, std::size_t length) {
    const auto* p = static_cast<const unsigned char*>(data);
    const std::uint64_t skipFrom = checksumOffset_, skipTo = checksumOffset_ + 4;
    std::size_t i = 0;
    if (pendingByte_ >= 0 && length > 0) {
        const std::uint64_t wordAt = position_ - 1;
        if (wordAt < skipFrom || wordAt >= skipTo)
            sum_ += static_cast<std::uint32_t>(pendingByte_) | (std::uint32_t{p[0]} << 8);
        pendingByte_ = -1;
        i = 1;
    }
    for (; i + 1 < length; i += 2) {
        const std::uint64_t wordAt = position_ + i;
        if (wordAt >= skipFrom && wordAt < skipTo)
            continue;
        sum_ += p[i] | (std::uint32_t{p[i + 1]} << 8);
    }
    if (i < length)
        pendingByte_ = p[i];
    position_ += length;
    // Fold now and then, long before the 64-bit sum could overflow.
    sum_ = (sum_ & 0xFFFFFFFFu) + (sum_ >> 32);
}

std::uint32_t TPeChecksum::Finish() const {
    std::uint64_t sum = sum_;
    if (pendingByte_ >= 0 &&
        (position_ - 1 < checksumOffset_ || position_ - 1 >= checksumOffset_ + 4))
        sum += static_cast<std::uint32_t>(pendingByte_);
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<std::uint32_t>(sum + position_);
}

std::uint32_t PeChecksum(std::string_view bytes, std::size_t checksumOffset) {
    TPeChecksum checksum(checksumOffset);
    checksum.Add(bytes.data(), bytes.size());
    return checksum.Finish();
}
