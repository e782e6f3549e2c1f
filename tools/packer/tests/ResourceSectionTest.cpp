// Rebuilding a program's resource section: the result parses, keeps the stub's resources,
// carries the new ones and has a correct checksum; on Windows the system loader finds them.
#include "PackerTestSupport.h"

#include "tools/packer/PackError.h"
#include "tools/packer/PeImage.h"
#include "tools/packer/ResourceTree.h"
#include "tools/packer/SetupImage.h"

#ifdef _WIN32
#include <windows.h>

#include <imagehlp.h>
#endif

using namespace packertest;

namespace {

TResource FileResource(const std::string& name, std::string data) {
    TResource r;
    r.Type = ProductResourceType();
    r.Name = TResourceId::Named(name);
    r.Data = std::move(data);
    return r;
}

const TResource* Find(const std::vector<TResource>& all, const TResourceId& type,
                      const TResourceId& name) {
    for (const TResource& r : all)
        if (r.Type == type && r.Name == name)
            return &r;
    return nullptr;
}

// The checksum as the format describes it, word by word with the carry folded at each step.
std::uint32_t ReferenceChecksum(const std::string& b, std::size_t field) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < b.size(); i += 2) {
        if (i == field || i == field + 2)
            continue;
        std::uint32_t word = static_cast<unsigned char>(b[i]);
        if (i + 1 < b.size())
            word |= static_cast<std::uint32_t>(static_cast<unsigned char>(b[i + 1])) << 8;
        sum += word;
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    return sum + static_cast<std::uint32_t>(b.size());
}

// Checks what every packed image must satisfy; returns its resources.
std::vector<TResource> CheckImage(const std::filesystem::path& path) {
    const std::string bytes = ReadFileBytes(path);
    const TPeImage image(bytes, "packed");
    EXPECT_EQ(ReferenceChecksum(bytes, image.ChecksumOffset()), image.StoredChecksum());
    EXPECT_EQ(bytes.size(), image.SectionDataEnd()) << "nothing after the last section";
    // Sections follow one another without gaps, as the loader requires.
    const auto& sections = image.Sections();
    for (std::size_t i = 1; i < sections.size(); ++i) {
        const auto& a = sections[i - 1];
        const std::uint64_t end = a.VirtualAddress + std::max(a.VirtualSize, a.RawSize);
        EXPECT_EQ((end + image.SectionAlignment() - 1) / image.SectionAlignment() *
                      image.SectionAlignment(),
                  sections[i].VirtualAddress);
    }
    // The resources start on a page boundary of the file, so that the loader can map them
    // instead of reading them in.
    const TPeSection* resources =
        image.SectionOfRva(image.Directory(pe::kDirectoryResource).VirtualAddress, 1);
    EXPECT_NE(nullptr, resources);
    EXPECT_EQ(0u, resources ? resources->RawPointer % 4096 : 0u);
    return ReadResources(image);
}

TEST(ResourceSectionTest, ChecksumMatchesTheWordByWordDefinitionInAnyPieces) {
    const std::string bytes = Noise(100'001); // odd length
    TPeChecksum pieces(64);
    std::size_t at = 0;
    for (std::size_t length : {1u, 2u, 63u, 4u, 5000u, 1u})
        pieces.Add(bytes.data() + at, length), at += length;
    pieces.Add(bytes.data() + at, bytes.size() - at);
    EXPECT_EQ(ReferenceChecksum(bytes, 64), pieces.Finish());
    EXPECT_EQ(ReferenceChecksum(bytes, 64), PeChecksum(bytes, 64));
}

TEST(ResourceSectionTest, AddsASectionToAnImageWithoutOneAndReplacesItWhenPackedAgain) {
    TScratch scratch;
    const TPeImage mini(MiniImage(), "mini");
    const std::filesystem::path first = scratch.Root() / "first.exe";
    WriteSetupImage(mini, {FileResource("zipfile", Text(70000)), FileResource("LOGO", "png")},
                    first);
    std::vector<TResource> resources = CheckImage(first);
    ASSERT_EQ(2u, resources.size());
    const TResource* zip = Find(resources, ProductResourceType(), TResourceId::Named("ZIPFILE"));
    ASSERT_NE(nullptr, zip) << "names are stored in upper case";
    EXPECT_TRUE(zip->Data == Text(70000));

    // Packing the packed program again rebuilds its last section in place.
    const std::filesystem::path second = scratch.Root() / "second.exe";
    const TPeImage packed(ReadFileBytes(first), "first");
    WriteSetupImage(packed, {FileResource("ZIPFILE", "short")}, second);
    resources = CheckImage(second);
    ASSERT_EQ(2u, resources.size());
    EXPECT_EQ("short", Find(resources, ProductResourceType(), TResourceId::Named("ZIPFILE"))->Data);
    EXPECT_EQ("png", Find(resources, ProductResourceType(), TResourceId::Named("LOGO"))->Data);
    EXPECT_EQ(2u, TPeImage(ReadFileBytes(second), "second").Sections().size());
    EXPECT_LT(std::filesystem::file_size(second), std::filesystem::file_size(first));
}

TEST(ResourceSectionTest, RefusesWhatIsNotAProgram) {
    std::string dll = MiniImage();
    Put(dll, 0x56, 0x2102, 2);
    for (const std::string& bytes : {std::string("MZ not at all"), Text(5000), dll}) {
        try {
            TPeImage image(bytes, "stub.exe");
            FAIL() << "accepted";
        } catch (const EPackError& e) {
            EXPECT_EQ(TPackFailure::BadInput, e.Kind());
            EXPECT_EQ(0u, std::string(e.what()).find("stub.exe is not a Windows program"));
        }
    }
}

#ifdef PACKER_TEST_STUB
// The real stub: its manifest, icons and version stay, byte for byte, beside the new data.
TEST(ResourceSectionTest, KeepsTheStubsOwnResources) {
    if (!std::filesystem::exists(PACKER_TEST_STUB))
        GTEST_SKIP() << PACKER_TEST_STUB << " is not built (the Windows build makes it)";
    TScratch scratch;
    const TPeImage stub(ReadFileBytes(PACKER_TEST_STUB), "setup.exe");
    const std::vector<TResource> own = ReadResources(stub);
    ASSERT_NE(nullptr, Find(own, TResourceId::Number(rt::kManifest), TResourceId::Number(1)));
    const std::filesystem::path out = scratch.Root() / "setup.exe";
    const std::filesystem::path archive = scratch.Write("app.zip", Noise(300'000));
    TResource zip = FileResource("ZIPFILE", "");
    zip.File = archive;
    zip.FileSize = 300'000;
    WriteSetupImage(stub, {zip, FileResource("CONFIGFILE", "{}")}, out);
    const std::vector<TResource> packed = CheckImage(out);
    ASSERT_EQ(own.size() + 2, packed.size());
    for (const TResource& r : own) {
        const TResource* kept = Find(packed, r.Type, r.Name);
        ASSERT_NE(nullptr, kept) << r.Type.Describe(true) << "/" << r.Name.Describe(false);
        EXPECT_TRUE(kept->Data == r.Data);
        EXPECT_EQ(r.Language, kept->Language);
    }
    EXPECT_TRUE(Find(packed, ProductResourceType(), TResourceId::Named("ZIPFILE"))->Data ==
                Noise(300'000));

#ifdef _WIN32
    // The system's own view: its loader finds the resources as the installer asks for them,
    // and its checksum function agrees.
    HMODULE module = LoadLibraryExW(out.wstring().c_str(), nullptr,
                                    LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(nullptr, module);
    HRSRC found = FindResourceW(module, L"zipfile", L"file");
    ASSERT_NE(nullptr, found);
    EXPECT_EQ(300'000u, SizeofResource(module, found));
    const char* data = static_cast<const char*>(LockResource(LoadResource(module, found)));
    EXPECT_TRUE(std::string(data, 300'000) == Noise(300'000));
    EXPECT_NE(nullptr, FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24)));
    FreeLibrary(module);
    std::string bytes = ReadFileBytes(out);
    DWORD stored = 0, computed = 0;
    ASSERT_NE(nullptr, CheckSumMappedFile(bytes.data(), static_cast<DWORD>(bytes.size()), &stored,
                                          &computed));
    EXPECT_EQ(computed, stored);
#endif
}
#endif

} // namespace
