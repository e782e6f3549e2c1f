// Inspecting hostile setup programs: damage to the headers, the resource tree or the archive's
// layout ends in a fault report and the exit code for a damaged program, never in a crash, a
// read outside the file, an escaping exception or unbounded memory and work.
#include "PackerTestSupport.h"

#include "tools/packer/ExitCodes.h"
#include "tools/packer/Inspect.h"
#include "tools/packer/PackError.h"
#include "tools/packer/PeImage.h"
#include "tools/packer/ResourceTree.h"
#include "tools/packer/SetupImage.h"

#include <zlib.h>

#include <vector>

using namespace packertest;

namespace {

constexpr std::size_t kSectionTable = 0x138; // in MiniImage, after the optional header
constexpr std::size_t kResourceDirectory = 0x58 + 96 + 2 * 8;
constexpr std::uint32_t kTable = 0x80000000u;

struct TRawSection {
    std::uint32_t VirtualAddress, RawPointer, RawSize;
};

// MiniImage's headers with `sections` in place of its one and the resource directory at
// `directoryRva`, followed by `body` from file offset 0x200.
std::string Image(const std::vector<TRawSection>& sections, std::uint32_t directoryRva,
                  const std::string& body) {
    std::string b = MiniImage().substr(0, 0x200);
    Put(b, 0x46, static_cast<std::uint32_t>(sections.size()), 2);
    for (std::size_t i = 0; i < sections.size(); ++i) {
        const std::size_t at = kSectionTable + i * 40;
        b.replace(at, 8, std::string(".s\0\0\0\0\0\0", 8));
        Put(b, at + 8, sections[i].RawSize, 4);
        Put(b, at + 12, sections[i].VirtualAddress, 4);
        Put(b, at + 16, sections[i].RawSize, 4);
        Put(b, at + 20, sections[i].RawPointer, 4);
    }
    Put(b, kResourceDirectory, directoryRva, 4);
    Put(b, kResourceDirectory + 4, 16, 4);
    return b + body;
}

// A resource table of numbered entries (id, target) at `offset` of `tree`.
void Table(std::string& tree, std::size_t offset,
           const std::vector<std::pair<std::uint32_t, std::uint32_t>>& entries) {
    tree.resize(std::max(tree.size(), offset + 16 + entries.size() * 8), '\0');
    // The reader counts named and numbered entries alike; two counts hold 65536 entries.
    const auto count = static_cast<std::uint32_t>(entries.size());
    Put(tree, offset + 12, count / 2, 2);
    Put(tree, offset + 14, count - count / 2, 2);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        Put(tree, offset + 16 + i * 8, entries[i].first, 4);
        Put(tree, offset + 20 + i * 8, entries[i].second, 4);
    }
}

// A tree of one type and one name whose `leaves` languages all share one data entry (RVA
// `dataRva`, `dataLength` bytes); the type is named by `typeNameLength` code units when that
// is not 0. The tree is for a section at RVA 0x1000 and holds the data after its tables.
std::string SharingTree(std::size_t leaves, std::uint32_t dataLength, std::size_t typeNameLength) {
    std::string tree;
    const std::uint32_t languages = 48, entry = 64 + static_cast<std::uint32_t>(leaves) * 8;
    const std::uint32_t name = entry + 16, data = name + 2 + 2 * std::uint32_t(typeNameLength);
    Table(tree, 0, {{typeNameLength != 0 ? kTable | name : 10, kTable | 24}});
    Table(tree, 24, {{1, kTable | languages}});
    Table(tree, languages,
          std::vector<std::pair<std::uint32_t, std::uint32_t>>(leaves, {0, entry}));
    tree.resize(data + dataLength, 'd');
    Put(tree, entry, 0x1000 + data, 4);
    Put(tree, entry + 4, dataLength, 4);
    Put(tree, entry + 8, 0, 4);
    Put(tree, name, static_cast<std::uint32_t>(typeNameLength), 2);
    return tree;
}

std::string WholeSection(const std::string& tree) {
    return Image({{0x1000, 0x200, static_cast<std::uint32_t>(tree.size())}}, 0x1000, tree);
}

struct TInspected {
    int Code = -1;
    std::string Report, Notices;
};

// Lists or verifies `image` in memory, with no files beside it.
TInspected Inspect(const std::string& image, bool verify) {
    TInspected result;
    TInspectIo io;
    io.Report = [&](const std::string& line) { result.Report += line + "\n"; };
    io.Notice = [&](const std::string& line) { result.Notices += line + "\n"; };
    io.Beside = [](const char*) -> std::optional<TLooseFile> { return std::nullopt; };
    result.Code = InspectImage(image, "setup.exe", verify, io);
    return result;
}

// Runs list and verify over `image`; both must report it damaged, with `fault` in a notice.
void ExpectDamaged(const std::string& image, const std::string& fault) {
    for (const bool verify : {false, true}) {
        const TInspected inspected = Inspect(image, verify);
        EXPECT_EQ(packexit::kDamaged, inspected.Code);
        EXPECT_NE(std::string::npos, inspected.Notices.find(fault)) << inspected.Notices;
    }
}

// A stored entry's local header and data; its central directory record goes to `central`.
std::string StoredEntry(const std::string& name, const std::string& data, std::uint32_t offset,
                        std::string& central) {
    const auto crc = static_cast<std::uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
    const auto size = static_cast<std::uint32_t>(data.size());
    std::string local(30, '\0'), record(46, '\0');
    Put(local, 0, 0x04034B50, 4);
    Put(local, 4, 20, 2);
    Put(local, 12, 0x21, 2); // 1 January 1980
    Put(local, 14, crc, 4);
    Put(local, 18, size, 4);
    Put(local, 22, size, 4);
    Put(local, 26, static_cast<std::uint32_t>(name.size()), 2);
    Put(record, 0, 0x02014B50, 4);
    Put(record, 4, 20, 2);
    record.replace(6, 24, local.substr(4, 24)); // version needed to name length, as above
    Put(record, 42, offset, 4);
    central += record + name;
    return local + name + data;
}

std::string EndOfCentralDirectory(std::uint32_t entries, std::uint32_t offset, std::uint32_t size) {
    std::string end(22, '\0');
    Put(end, 0, 0x06054B50, 4);
    Put(end, 8, entries, 2);
    Put(end, 10, entries, 2);
    Put(end, 12, size, 4);
    Put(end, 16, offset, 4);
    return end;
}

// MiniImage packed with `archive` as its only data resource.
std::string PackedWith(const std::string& archive) {
    TScratch scratch;
    TResource zip;
    zip.Type = ProductResourceType();
    zip.Name = TResourceId::Named("ZIPFILE");
    zip.Data = archive;
    WriteSetupImage(TPeImage(MiniImage(), "stub.exe"), {zip}, scratch.Root() / "setup.exe");
    return ReadFileBytes(scratch.Root() / "setup.exe");
}

TEST(DamagedImageTest, HeadersAndTreesThatPointOutsideTheFileAreFaults) {
    // A single leaf whose data lies at the start of the second section.
    std::string leaf;
    Table(leaf, 0, {{10, kTable | 24}});
    Table(leaf, 24, {{1, kTable | 48}});
    Table(leaf, 48, {{0, 72}});
    leaf.resize(0x200, '\0');
    Put(leaf, 72, 0x2000, 4);
    // A root table whose one entry points 0x2F0 bytes on.
    std::string farRoot;
    Table(farRoot, 0, {{10, kTable | 0x2F0}});
    farRoot.resize(0x100, '\0');

    std::string noOptionalHeader = MiniImage().substr(0, 0x58);
    Put(noOptionalHeader, 0x46, 0, 2);
    Put(noOptionalHeader, 0x54, 0, 2);

    const std::vector<std::pair<std::string, std::string>> cases = {
        // The file ends with the file header: the optional header's kind lies past the end.
        {noOptionalHeader, "its optional header is cut short"},
        // Empty data in a section that has no raw data, only a file offset far past the end.
        {Image({{0x1000, 0x200, 0x200}, {0x2000, 0x7FFFFFF0, 0}}, 0x1000, leaf),
         "lies outside its sections"},
        // The directory starts 0x100 bytes before the end of the first section's raw data; a
        // second section starting at the same address claims the whole file. Its tables may
        // only use the first section's rest, where the directory's bytes are.
        {Image({{0x1000, 0x200, 0x200}, {0x1100, 0, 0x400}}, 0x1100,
               std::string(0x100, '\0') + farRoot),
         "points outside itself"},
    };
    for (const auto& [image, fault] : cases) {
        SCOPED_TRACE(fault);
        ExpectDamaged(image, fault);
    }
}

TEST(DamagedImageTest, LeavesSharingOneBlockCannotClaimGigabytes) {
    // 65536 leaves sharing one 64 KiB data block would hold 4 GiB; sharing one type name of
    // 65535 code units, 8 GiB.
    const std::string sharedData = WholeSection(SharingTree(65536, 64 << 10, 0));
    const std::string sharedName = WholeSection(SharingTree(65536, 0, 65535));
    for (const std::string& image : {sharedData, sharedName}) {
        try {
            ReadResources(TPeImage(image, "setup.exe"));
            FAIL() << "accepted";
        } catch (const EPackError& e) {
            EXPECT_EQ(TPackFailure::BadInput, e.Kind());
            EXPECT_NE(std::string::npos, std::string(e.what()).find("repeat the same names"))
                << e.what();
        }
    }
    // A few leaves sharing data are still read.
    EXPECT_EQ(3u,
              ReadResources(TPeImage(WholeSection(SharingTree(3, 100, 4)), "setup.exe")).size());
}

TEST(DamagedImageTest, ArchiveEntriesThatOverlapAreNotExtracted) {
    // a.txt's data is b.txt's local header and data: each header inside another entry's data
    // extracts those bytes once more, which lets a small archive expand without bound.
    std::string central;
    std::string innerCentral;
    const std::string inner = StoredEntry("b.txt", "bbbb", 0, innerCentral);
    std::string overlapping = StoredEntry("a.txt", inner, 0, central);
    StoredEntry("b.txt", "bbbb", 35, central);
    overlapping +=
        central + EndOfCentralDirectory(2, static_cast<std::uint32_t>(overlapping.size()),
                                        static_cast<std::uint32_t>(central.size()));

    // The same two entries one after the other.
    std::string apartCentral;
    std::string apart = StoredEntry("a.txt", inner, 0, apartCentral);
    apart += StoredEntry("b.txt", "bbbb", static_cast<std::uint32_t>(apart.size()), apartCentral);
    apart += apartCentral + EndOfCentralDirectory(2, static_cast<std::uint32_t>(apart.size()),
                                                  static_cast<std::uint32_t>(apartCentral.size()));

    ExpectDamaged(PackedWith(overlapping), "b.txt lies inside the data of another");
    const TInspected verified = Inspect(PackedWith(apart), true);
    EXPECT_EQ(std::string::npos, verified.Notices.find("archive")) << verified.Notices;
    EXPECT_NE(std::string::npos, verified.Report.find("2 of 2 files extract")) << verified.Report;
}

} // namespace
