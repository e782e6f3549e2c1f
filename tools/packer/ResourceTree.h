#pragma once
// The resources of a PE image as a flat list of (type, name, language) leaves, read from a
// resource section and written back as a new one (Microsoft's PE/COFF specification, "The
// .rsrc Section"). Portable.

#include "tools/packer/PeImage.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

// A type or name: a number, or a string of UTF-16 code units.
struct TResourceId {
    bool IsName = false;
    std::uint16_t Id = 0;
    std::u16string Name;

    static TResourceId Number(std::uint16_t id) { return {false, id, {}}; }
    // Names are stored in upper case, since FindResource upper-cases the name it looks for.
    static TResourceId Named(const std::string& ascii);
    // "FILE", "#24", or a standard type's name ("MANIFEST") for listings.
    std::string Describe(bool isType) const;
};

bool operator==(const TResourceId& a, const TResourceId& b);
// The order of a resource directory: names first, in code unit order, then numbers.
bool operator<(const TResourceId& a, const TResourceId& b);

struct TResource {
    TResourceId Type;
    TResourceId Name;
    std::uint16_t Language = 0;
    std::uint32_t CodePage = 0;
    std::string Data;           // the bytes, unless File is set
    std::filesystem::path File; // or: the bytes are this whole file (written streaming)
    std::uint64_t FileSize = 0; // its size when File is set

    std::uint64_t Size() const { return File.empty() ? Data.size() : FileSize; }
};

namespace rt {
constexpr std::uint16_t kIcon = 3;
constexpr std::uint16_t kGroupIcon = 14;
constexpr std::uint16_t kVersion = 16;
constexpr std::uint16_t kManifest = 24;
} // namespace rt

// Reads every resource of `image` (an empty list when it has none). Throws EPackError
// (BadInput) when the resource directory is damaged.
std::vector<TResource> ReadResources(const TPeImage& image);

// Replaces in `resources` every resource of the type and name of `added` (all languages)
// by `added`.
void PutResource(std::vector<TResource>& resources, TResource added);

// A resource section laid out for `resources`.
class TResourceSectionLayout {
public:
    explicit TResourceSectionLayout(std::vector<TResource> resources);
    // The section's size in bytes (its virtual size).
    std::uint32_t Size() const { return size_; }
    // Writes the section's bytes through `write`, in order, for the section placed at RVA
    // `sectionAddress`; resource files are read in pieces. Throws EPackError (IoFailure) when
    // a file cannot be read or changed size.
    void Write(std::uint32_t sectionAddress,
               const std::function<void(const void*, std::size_t)>& write) const;

private:
    // The resources by type, then by name, then by language (indexes into resources_).
    using TTree = std::vector<std::vector<std::vector<std::size_t>>>;
    // Where the name and language tables stand, and where the strings start.
    struct TTablePlaces {
        std::vector<std::size_t> nameTables, languageTables;
        std::size_t stringsStart = 0;
    };
    // Sorts resources_ into directory order and groups them.
    TTree SortAndGroup();
    static TTablePlaces PlaceTables(const TTree& tree);
    // The names (length and UTF-16), each once, with where each one lies.
    std::string MakeStrings(std::size_t stringsStart,
                            std::map<std::u16string, std::size_t>& at) const;
    // The data entries after the strings, and each resource's data after them (8-aligned).
    void PlaceData(std::size_t stringsEnd);
    void WriteTables(const TTree& tree, const TTablePlaces& places,
                     const std::map<std::u16string, std::size_t>& stringAt);
    void WriteDataEntries();

    std::vector<TResource> resources_; // in directory order
    std::string directory_;            // tables, strings and data entries, addresses from 0
    std::size_t dataEntries_ = 0;      // where the data entries start in directory_
    std::vector<std::uint32_t> dataOffsets_;
    std::uint32_t size_ = 0;
};
