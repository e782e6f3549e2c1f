#pragma once
// The parts of a PE image (Microsoft's PE/COFF specification) that embedding resources
// touches: the headers, the section table, the data directories and the checksum. Works on
// the image's bytes in memory; PE32 and PE32+ alike. Portable.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct TPeSection {
    std::string Name; // up to 8 characters
    std::uint32_t VirtualSize = 0;
    std::uint32_t VirtualAddress = 0;
    std::uint32_t RawSize = 0;
    std::uint32_t RawPointer = 0;
    std::uint32_t Characteristics = 0;
};

struct TDataDirectory {
    std::uint32_t VirtualAddress = 0;
    std::uint32_t Size = 0;
};

namespace pe {
constexpr std::size_t kDirectoryResource = 2;
constexpr std::size_t kDirectoryCertificate = 4; // its "address" is a file offset
constexpr std::size_t kSectionHeaderSize = 40;
constexpr std::uint32_t kSectionInitializedData = 0x00000040;
constexpr std::uint32_t kSectionMemoryRead = 0x40000000;
} // namespace pe

class TPeImage {
public:
    // Parses `bytes`; throws EPackError (BadInput) naming `label` when they are not a PE
    // executable image.
    TPeImage(std::string bytes, const std::string& label);

    const std::string& Bytes() const { return bytes_; }
    const std::vector<TPeSection>& Sections() const { return sections_; }
    TDataDirectory Directory(std::size_t index) const;
    std::uint32_t FileAlignment() const { return fileAlignment_; }
    std::uint32_t SectionAlignment() const { return sectionAlignment_; }
    // The checksum stored in the optional header.
    std::uint32_t StoredChecksum() const;
    // Where the checksum field lies in the file.
    std::size_t ChecksumOffset() const { return optionalHeader_ + 64; }
    // The end of the last section's raw data: what follows is appended data (a signature).
    std::uint64_t SectionDataEnd() const;

    // Returns the section whose raw data holds all of the RVA range [rva, rva + length), or
    // nullptr when there is none.
    const TPeSection* SectionOfRva(std::uint32_t rva, std::uint32_t length) const;

    // Returns the file offset of the RVA range [rva, rva + length), or throws (BadInput)
    // when no section's raw data holds all of it.
    std::size_t OffsetOfRva(std::uint32_t rva, std::uint32_t length) const;

    // Returns the image with a new section appended or, when `replaceLast` is true, with the
    // last section replaced: `section` gives its name, virtual size and characteristics and
    // receives its address and raw placement. The data directory `directory` is pointed at
    // the whole section, the certificate table and appended data are dropped, SizeOfImage
    // and SizeOfInitializedData are updated and the checksum field is set to 0. The returned
    // bytes end at the new section's raw data, which the caller writes (RawSize bytes).
    std::string WithSection(TPeSection& section, bool replaceLast, std::size_t directory) const;

private:
    std::string bytes_;
    std::string label_;
    std::size_t fileHeader_ = 0;
    std::size_t optionalHeader_ = 0;
    std::size_t sectionTable_ = 0;
    std::size_t directories_ = 0;
    std::uint32_t directoryCount_ = 0;
    std::uint32_t fileAlignment_ = 0;
    std::uint32_t sectionAlignment_ = 0;
    std::uint32_t sizeOfHeaders_ = 0;
    std::vector<TPeSection> sections_;
};

// Returns the PE checksum of an image's bytes with the checksum field at `checksumOffset`
// counted as 0: the 16-bit one's-complement sum of the file's words, plus its length.
std::uint32_t PeChecksum(std::string_view bytes, std::size_t checksumOffset);

// Accumulates the PE checksum over data written in pieces, in file order.
class TPeChecksum {
public:
    explicit TPeChecksum(std::uint64_t checksumOffset) : checksumOffset_(checksumOffset) {}
    void Add(const void* data, std::size_t length);
    std::uint32_t Finish() const;

private:
    std::uint64_t checksumOffset_;
    std::uint64_t position_ = 0;
    std::uint64_t sum_ = 0;
    int pendingByte_ = -1; // the low byte of a word whose high byte is still to come
};
