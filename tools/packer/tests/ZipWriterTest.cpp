// The payload archive writer, read back by the installer's own archive reader.
#include "PackerTestSupport.h"

#include "sys/TextEncoding.h"
#include "tools/packer/Diagnostics.h"
#include "tools/packer/PackError.h"
#include "tools/packer/PayloadScan.h"
#include "tools/packer/ZipWriter.h"

using namespace packertest;

namespace {

// A product tree with what tends to break writers: non-ASCII names, empty files and
// folders, files of several blocks that deflate well or not at all, and a small file that
// deflate would make larger.
std::map<std::string, std::string> SampleTree() {
    return {
        {"readme.txt", Text(5000)},
        {"bin/Tool.exe", Text(2'600'000, 2) + Noise(300'000)},
        {"docs/说明.txt", Text(1234, 3)},
        {"docs/Ünïcödé ñame.txt", "é"},
        {"media/film.bin", Noise(2'500'000)},
        {"media/tiny.bin", Noise(40)},
        {"empty.dat", ""},
    };
}

std::vector<TPayloadEntry> Scan(const TScratch& scratch) {
    TDiagnostics diagnostics;
    std::vector<TPayloadEntry> entries =
        ScanPayload(scratch.Root() / "payload", "payload", diagnostics);
    EXPECT_FALSE(diagnostics.HasErrors());
    return entries;
}

std::string Pack(const std::vector<TPayloadEntry>& entries, const std::filesystem::path& out,
                 int level, unsigned threads) {
    TZipWriteOptions options;
    options.Level = level;
    options.Threads = threads;
    WriteZipArchive(entries, out, options);
    return ReadFileBytes(out);
}

std::wstring Wide(const std::string& utf8) {
    std::wstring name = *DecodeUtf8Strict(utf8);
    for (wchar_t& c : name)
        if (c == L'/')
            c = L'\\';
    return name;
}

class ZipWriterTest : public testing::Test {
protected:
    TScratch scratch;
    void SetUp() override {
        for (const auto& [name, bytes] : SampleTree())
            scratch.Write("payload/" + name, bytes);
        std::filesystem::create_directories(scratch.Root() / "payload" / "logs" / "old");
    }
};

TEST_F(ZipWriterTest, EveryFileComesBackByteForByteAtEveryLevel) {
    const std::vector<TPayloadEntry> entries = Scan(scratch);
    for (int level : {0, 1, 6, 9}) {
        SCOPED_TRACE("level " + std::to_string(level));
        const std::string zip = Pack(entries, scratch.Root() / "out.zip", level, 3);
        TMemoryZipHost host(CodePage(437), CodePage(1252));
        const auto files = ExtractAll(zip, host);
        ASSERT_EQ(SampleTree().size(), files.size());
        for (const auto& [name, bytes] : SampleTree()) {
            const auto found = files.find(Wide(name));
            ASSERT_NE(found, files.end()) << name;
            EXPECT_TRUE(found->second == bytes) << name;
        }
        EXPECT_TRUE(host.DirectoryExists(L"M:\\target\\logs\\old")) << "an empty folder";
    }
}

TEST_F(ZipWriterTest, RecordsUtf8NamesMethodsTimesAndAttributes) {
    const std::vector<TPayloadEntry> entries = Scan(scratch);
    const std::string zip = Pack(entries, scratch.Root() / "out.zip", 6, 2);
    TMemoryZipHost host(CodePage(437), CodePage(1252));
    host.AddFile(L"M:\\a.zip", zip);
    TZipReader reader(host);
    reader.SetZipName(L"M:\\a.zip");
    reader.ReadZip();
    std::map<std::wstring, TZipHeaderInfo> byName;
    for (const TZipHeaderInfo& e : reader.ListEntries())
        byName[e.directory + e.fileName] = e;
    ASSERT_EQ(entries.size(), byName.size());
    for (const TPayloadEntry& entry : entries) {
        const TZipHeaderInfo& e = byName.at(Wide(entry.Name));
        EXPECT_NE(0, e.flags & zipformat::kFlagUtf8) << entry.Name;
        EXPECT_EQ(entry.Modified.date, e.modified.date) << entry.Name;
        EXPECT_EQ(entry.Modified.time, e.modified.time) << entry.Name;
        EXPECT_EQ(entry.Attributes, e.externalAttributes) << entry.Name;
    }
    // Deflated where that is smaller, stored where it is not (also for a file of several
    // blocks, which is rewritten stored after it was streamed deflated).
    EXPECT_EQ(zipformat::kMethodDeflated, byName.at(L"bin\\Tool.exe").compressionMethod);
    EXPECT_EQ(zipformat::kMethodStored, byName.at(L"media\\film.bin").compressionMethod);
    EXPECT_EQ(2'500'000u, byName.at(L"media\\film.bin").compressedSize);
    EXPECT_EQ(zipformat::kMethodStored, byName.at(L"media\\tiny.bin").compressionMethod);
    EXPECT_EQ(dosattr::kDirectory, byName.at(L"logs\\old\\").externalAttributes);
    EXPECT_FALSE(reader.EndCentral().hasZip64);
}

TEST_F(ZipWriterTest, SameInputsGiveTheSameBytesWhateverTheThreadCount) {
    const std::vector<TPayloadEntry> entries = Scan(scratch);
    const std::string one = Pack(entries, scratch.Root() / "1.zip", 6, 1);
    EXPECT_TRUE(one == Pack(entries, scratch.Root() / "2.zip", 6, 4));
    EXPECT_TRUE(one == Pack(Scan(scratch), scratch.Root() / "3.zip", 6, 2)) << "a second scan";
    // Sorted by name, each folder before what it holds.
    for (std::size_t i = 1; i < entries.size(); ++i)
        EXPECT_LT(entries[i - 1].Name, entries[i].Name);
}

TEST(ZipWriterZip64Test, ManyEntriesGetTheZip64EndRecord) {
    TScratch scratch;
    // Folder entries need no files: 70 000 of them pass the 16-bit entry count.
    std::vector<TPayloadEntry> entries(70'000);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        entries[i].Name = "d" + std::to_string(100000 + i) + "/";
        entries[i].Attributes = dosattr::kDirectory;
    }
    TZipWriteOptions options;
    const TZipWriteResult result = WriteZipArchive(entries, scratch.Root() / "big.zip", options);
    EXPECT_TRUE(result.Zip64);
    TMemoryZipHost host(CodePage(437), CodePage(1252));
    host.AddFile(L"M:\\big.zip", ReadFileBytes(scratch.Root() / "big.zip"));
    TZipReader reader(host);
    reader.SetZipName(L"M:\\big.zip");
    reader.ReadZip();
    EXPECT_TRUE(reader.EndCentral().hasZip64);
    EXPECT_EQ(70'000u, reader.EntryCount());
    EXPECT_FALSE(reader.UsedFallbackScan());
}

TEST(ZipWriterFailureTest, AFileThatChangedSizeIsAnIoFailure) {
    TScratch scratch;
    scratch.Write("payload/a.txt", Text(3000));
    TDiagnostics diagnostics;
    std::vector<TPayloadEntry> entries =
        ScanPayload(scratch.Root() / "payload", "payload", diagnostics);
    scratch.Write("payload/a.txt", Text(2000)); // shrinks after the scan
    TZipWriteOptions options;
    try {
        WriteZipArchive(entries, scratch.Root() / "out.zip", options);
        FAIL() << "no error";
    } catch (const EPackError& e) {
        EXPECT_EQ(TPackFailure::IoFailure, e.Kind());
        EXPECT_NE(std::string(e.what()).find("changed while it was packed"), std::string::npos);
    }
}

} // namespace
