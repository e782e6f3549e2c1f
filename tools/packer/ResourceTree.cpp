#include "tools/packer/ResourceTree.h"

#include "tools/packer/BinaryFile.h"
#include "tools/packer/PackError.h"
#include "tools/packer/PathText.h"
#include "sys/LittleEndian.h"

#include <algorithm>
#include <map>
#include <set>

namespace {

constexpr std::uint32_t kHighBit = 0x80000000u;
constexpr std::size_t kTableHeader = 16;
constexpr std::size_t kTableEntry = 8;
constexpr std::size_t kDataEntry = 16;
// Far more than any real program carries; bounds the work on a damaged directory.
constexpr std::size_t kMaxResources = 1 << 16;
// What the reader may copy beyond the image's own size. Entries may share a name or data, and
// every resource holds its own copy of both; a real program shares little, while a damaged
// directory that shares one large string or data block among thousands of leaves would
// otherwise claim gigabytes.
constexpr std::uint64_t kSharedCopyAllowance = 32u << 20;

// Little-endian fields, as PE and ZIP files store them.
using namespace le;

std::size_t Align(std::size_t value, std::size_t alignment) {
    return (value + alignment - 1) / alignment * alignment;
}

class TResourceReader {
public:
    TResourceReader(const TPeImage& image, std::size_t base, std::uint32_t size)
        : image_(image), bytes_(image.Bytes()), base_(base), size_(size),
          copyBudget_(bytes_.size() + kSharedCopyAllowance) {}

    void Table(std::uint32_t offset, int level, TResource& path, std::vector<TResource>& out) {
        if (!visited_.insert(offset).second)
            Damaged("a resource table is reached twice");
        Need(offset, kTableHeader);
        const std::size_t at = base_ + offset;
        const std::size_t count = std::size_t{Get16(bytes_, at + 12)} + Get16(bytes_, at + 14);
        Need(offset + kTableHeader, count * kTableEntry);
        for (std::size_t i = 0; i < count; ++i) {
            const std::size_t entry = at + kTableHeader + i * kTableEntry;
            const std::uint32_t name = Get32(bytes_, entry);
            const std::uint32_t target = Get32(bytes_, entry + 4);
            TResourceId id = (name & kHighBit) != 0 ? String(name & ~kHighBit)
                                                    : TResourceId::Number(name & 0xFFFF);
            if (level == 0)
                path.Type = id;
            else if (level == 1)
                path.Name = id;
            else
                path.Language = id.Id;
            const bool isTable = (target & kHighBit) != 0;
            if (level < 2) {
                if (!isTable)
                    Damaged("a resource table entry points to data too early");
                Table(target & ~kHighBit, level + 1, path, out);
            } else {
                if (isTable)
                    Damaged("the resource tree is deeper than three levels");
                Leaf(target, path, out);
            }
        }
    }

private:
    void Need(std::uint64_t offset, std::uint64_t length) const {
        if (offset + length > size_)
            Damaged("the resource directory points outside itself");
    }

    [[noreturn]] void Damaged(const std::string& why) const {
        ThrowBadInput("the program's resources are damaged: " + why);
    }

    // Accounts for `bytes` more copied out of the directory.
    void Copy(std::uint64_t bytes) {
        if (bytes > copyBudget_)
            Damaged("its entries repeat the same names or data far more often than a program's");
        copyBudget_ -= bytes;
    }

    TResourceId String(std::uint32_t offset) {
        Need(offset, 2);
        const std::size_t length = Get16(bytes_, base_ + offset);
        Need(offset + 2, length * 2);
        Copy(length * 2);
        TResourceId id;
        id.IsName = true;
        for (std::size_t i = 0; i < length; ++i)
            id.Name += static_cast<char16_t>(Get16(bytes_, base_ + offset + 2 + i * 2));
        return id;
    }

    void Leaf(std::uint32_t offset, TResource path, std::vector<TResource>& out) {
        Need(offset, kDataEntry);
        if (out.size() >= kMaxResources)
            Damaged("it holds too many resources");
        const std::size_t at = base_ + offset;
        const std::uint32_t rva = Get32(bytes_, at);
        const std::uint32_t length = Get32(bytes_, at + 4);
        path.CodePage = Get32(bytes_, at + 8);
        Copy(std::uint64_t{length} + 2 * (path.Type.Name.size() + path.Name.Name.size()));
        path.Data = bytes_.substr(image_.OffsetOfRva(rva, length), length);
        out.push_back(std::move(path));
    }

    const TPeImage& image_;
    const std::string& bytes_;
    std::size_t base_;
    std::uint32_t size_;
    std::uint64_t copyBudget_;
    std::set<std::uint32_t> visited_;
};

} // namespace

TResourceId TResourceId::Named(const std::string& ascii) {
    TResourceId id;
    id.IsName = true;
    for (char c : ascii)
        id.Name += static_cast<char16_t>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    return id;
}

std::string TResourceId::Describe(bool isType) const {
    if (IsName) {
        std::string text;
        for (char16_t c : Name)
            text += c < 0x80 ? static_cast<char>(c) : '?';
        return text;
    }
    if (isType) {
        switch (Id) {
        case rt::kIcon:
            return "ICON";
        case rt::kGroupIcon:
            return "GROUP_ICON";
        case rt::kVersion:
            return "VERSION";
        case rt::kManifest:
            return "MANIFEST";
        default:
            break;
        }
    }
    return "#" + std::to_string(Id);
}

bool operator==(const TResourceId& a, const TResourceId& b) {
    return a.IsName == b.IsName && (a.IsName ? a.Name == b.Name : a.Id == b.Id);
}

bool operator<(const TResourceId& a, const TResourceId& b) {
    if (a.IsName != b.IsName)
        return a.IsName; // names come first
    return a.IsName ? a.Name < b.Name : a.Id < b.Id;
}

std::vector<TResource> ReadResources(const TPeImage& image) {
    std::vector<TResource> resources;
    const TDataDirectory directory = image.Directory(pe::kDirectoryResource);
    if (directory.VirtualAddress == 0 || directory.Size == 0)
        return resources;
    const std::size_t base = image.OffsetOfRva(directory.VirtualAddress, kTableHeader);
    // The directory's declared size may be too small; its tables lie within the section whose
    // raw data holds its start, the one `base` is in.
    const TPeSection& section = *image.SectionOfRva(directory.VirtualAddress, kTableHeader);
    const auto size = static_cast<std::uint32_t>(std::uint64_t{section.VirtualAddress} +
                                                 section.RawSize - directory.VirtualAddress);
    TResourceReader reader(image, base, size);
    TResource path;
    reader.Table(0, 0, path, resources);
    return resources;
}

void PutResource(std::vector<TResource>& resources, TResource added) {
    resources.erase(std::remove_if(resources.begin(), resources.end(),
                                   [&](const TResource& r) {
                                       return r.Type == added.Type && r.Name == added.Name;
                                   }),
                    resources.end());
    resources.push_back(std::move(added));
}

TResourceSectionLayout::TResourceSectionLayout(std::vector<TResource> resources)
    : resources_(std::move(resources)) {
    // Sizes first: the tables, the strings, the data; then the directory's bytes.
    const TTree tree = SortAndGroup();
    const TTablePlaces places = PlaceTables(tree);
    std::map<std::u16string, std::size_t> stringAt;
    const std::string strings = MakeStrings(places.stringsStart, stringAt);
    PlaceData(places.stringsStart + strings.size());
    WriteTables(tree, places, stringAt);
    directory_ += strings;
    WriteDataEntries();
}

TResourceSectionLayout::TTree TResourceSectionLayout::SortAndGroup() {
    std::sort(resources_.begin(), resources_.end(), [](const TResource& a, const TResource& b) {
        if (!(a.Type == b.Type))
            return a.Type < b.Type;
        if (!(a.Name == b.Name))
            return a.Name < b.Name;
        return a.Language < b.Language;
    });
    TTree tree;
    for (std::size_t i = 0; i < resources_.size(); ++i) {
        const TResource& r = resources_[i];
        if (i == 0 || !(r.Type == resources_[i - 1].Type))
            tree.emplace_back();
        if (tree.back().empty() || !(r.Name == resources_[i - 1].Name) ||
            !(r.Type == resources_[i - 1].Type))
            tree.back().emplace_back();
        tree.back().back().push_back(i);
    }
    return tree;
}

TResourceSectionLayout::TTablePlaces TResourceSectionLayout::PlaceTables(const TTree& tree) {
    // The root table, then the name tables, then the language tables.
    TTablePlaces places;
    std::size_t offset = kTableHeader + tree.size() * kTableEntry;
    for (const auto& names : tree) {
        places.nameTables.push_back(offset);
        offset += kTableHeader + names.size() * kTableEntry;
    }
    for (const auto& names : tree)
        for (const auto& languages : names) {
            places.languageTables.push_back(offset);
            offset += kTableHeader + languages.size() * kTableEntry;
        }
    places.stringsStart = offset;
    return places;
}

std::string TResourceSectionLayout::MakeStrings(std::size_t stringsStart,
                                                std::map<std::u16string, std::size_t>& at) const {
    std::string strings;
    auto add = [&](const TResourceId& id) {
        if (!id.IsName || at.count(id.Name) != 0)
            return;
        at[id.Name] = stringsStart + strings.size();
        Put16(strings, static_cast<std::uint32_t>(id.Name.size()));
        for (char16_t c : id.Name)
            Put16(strings, c);
    };
    for (const TResource& r : resources_) {
        add(r.Type);
        add(r.Name);
    }
    return strings;
}

void TResourceSectionLayout::PlaceData(std::size_t stringsEnd) {
    dataEntries_ = Align(stringsEnd, 8);
    std::size_t dataOffset = dataEntries_ + resources_.size() * kDataEntry;
    for (const TResource& r : resources_) {
        dataOffset = Align(dataOffset, 8);
        dataOffsets_.push_back(static_cast<std::uint32_t>(dataOffset));
        if (r.Size() > 0x7FFFFFFFu - dataOffset)
            ThrowBadInput("the resources are too large for a Windows program (2 GB at most)");
        dataOffset += static_cast<std::size_t>(r.Size());
    }
    size_ = static_cast<std::uint32_t>(dataOffset);
}

void TResourceSectionLayout::WriteTables(const TTree& tree, const TTablePlaces& places,
                                         const std::map<std::u16string, std::size_t>& stringAt) {
    // A table: no characteristics, no time stamp (so that the output depends only on its
    // inputs), version 0.0, the counts, the entries.
    auto table = [&](std::size_t named, std::size_t numbered) {
        Put32(directory_, 0);
        Put32(directory_, 0);
        Put32(directory_, 0);
        Put16(directory_, static_cast<std::uint32_t>(named));
        Put16(directory_, static_cast<std::uint32_t>(numbered));
    };
    auto idField = [&](const TResourceId& id) {
        return id.IsName ? kHighBit | static_cast<std::uint32_t>(stringAt.at(id.Name))
                         : std::uint32_t{id.Id};
    };
    auto countNamed = [&](const auto& group, auto idOf) {
        std::size_t named = 0;
        for (const auto& item : group)
            named += idOf(item).IsName ? 1 : 0;
        return named;
    };
    auto typeOf = [&](const std::vector<std::vector<std::size_t>>& names) -> const TResourceId& {
        return resources_[names.front().front()].Type;
    };
    auto nameOf = [&](const std::vector<std::size_t>& languages) -> const TResourceId& {
        return resources_[languages.front()].Name;
    };
    table(countNamed(tree, typeOf), tree.size() - countNamed(tree, typeOf));
    for (std::size_t t = 0; t < tree.size(); ++t) {
        Put32(directory_, idField(typeOf(tree[t])));
        Put32(directory_, kHighBit | static_cast<std::uint32_t>(places.nameTables[t]));
    }
    std::size_t languageTable = 0;
    for (const auto& names : tree) {
        table(countNamed(names, nameOf), names.size() - countNamed(names, nameOf));
        for (const auto& languages : names) {
            Put32(directory_, idField(nameOf(languages)));
            Put32(directory_,
                  kHighBit | static_cast<std::uint32_t>(places.languageTables[languageTable++]));
        }
    }
    for (const auto& names : tree)
        for (const auto& languages : names) {
            table(0, languages.size());
            for (std::size_t index : languages) {
                Put32(directory_, resources_[index].Language);
                Put32(directory_, static_cast<std::uint32_t>(dataEntries_ + index * kDataEntry));
            }
        }
}

void TResourceSectionLayout::WriteDataEntries() {
    directory_.resize(dataEntries_, '\0');
    for (std::size_t i = 0; i < resources_.size(); ++i) {
        Put32(directory_, dataOffsets_[i]); // an RVA once the section's address is added
        Put32(directory_, static_cast<std::uint32_t>(resources_[i].Size()));
        Put32(directory_, resources_[i].CodePage);
        Put32(directory_, 0);
    }
}

void TResourceSectionLayout::Write(
    std::uint32_t sectionAddress,
    const std::function<void(const void*, std::size_t)>& write) const {
    std::string directory = directory_;
    for (std::size_t i = 0; i < resources_.size(); ++i)
        Set32(directory, dataEntries_ + i * kDataEntry, sectionAddress + dataOffsets_[i]);
    write(directory.data(), directory.size());
    std::size_t position = directory.size();
    static const char kZeros[8] = {};
    for (std::size_t i = 0; i < resources_.size(); ++i) {
        const TResource& r = resources_[i];
        write(kZeros, dataOffsets_[i] - position);
        if (r.File.empty()) {
            write(r.Data.data(), r.Data.size());
        } else {
            TInputFile input(r.File);
            std::string buffer(std::size_t{1} << 20, '\0');
            for (std::uint64_t done = 0; done < r.FileSize;) {
                const auto length = static_cast<std::size_t>(
                    std::min<std::uint64_t>(buffer.size(), r.FileSize - done));
                if (input.ReadAt(done, buffer.data(), length) != length)
                    ThrowIoFailure(PathToUtf8(r.File) + " changed while it was embedded");
                write(buffer.data(), length);
                done += length;
            }
        }
        position = dataOffsets_[i] + static_cast<std::size_t>(r.Size());
    }
}
