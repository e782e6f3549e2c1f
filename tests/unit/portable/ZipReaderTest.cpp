// The archive reader over the in-memory host: what lands where, what is skipped, what fails.
#include "ZipTestArchive.h"

#include "archive/MemoryZipHost.h"
#include "archive/MyZip.h"
#include "sys/PlatformCodePage.h"
#include "archive/ZipFormat.h"
#include "archive/ZipReader.h"
#include "sys/Error.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>

using namespace ziptest;

namespace {

const ICodePage& CodePage(unsigned number) {
    static std::map<unsigned, std::unique_ptr<ICodePage>> pages;
    auto& page = pages[number];
    if (!page)
        page = MakeCodePage(number);
    return *page;
}

const std::wstring kArchive = L"M:\\incoming\\payload.zip";
const std::wstring kRoot = L"M:\\target";

std::string Text(std::size_t size, char seed = 'a') {
    std::string s;
    for (std::size_t i = 0; i < size; ++i)
        s += static_cast<char>(seed + (i * 7 + i / 13) % 23);
    return s;
}

// Every case runs with the entries extracted one after the other and three at once: the
// outcome must not depend on it.
class ZipReaderTest : public testing::TestWithParam<unsigned> {
protected:
    ZipReaderTest() { host.SetConcurrentEntries(GetParam()); }

    TMemoryZipHost host{CodePage(437), CodePage(1252)};

    // A fresh file system, `budget` bytes of room.
    void ResetHost(std::uint64_t budget = 256u << 20) {
        host = TMemoryZipHost(CodePage(437), CodePage(1252), budget);
        host.SetConcurrentEntries(GetParam());
    }

    // True when every entry was extracted.
    bool Extract(const std::string& zip, const std::wstring& password = L"415263",
                 const std::wstring& root = kRoot) {
        host.AddFile(kArchive, zip);
        return UnzipArchive(host, kArchive, root, password);
    }
    // The message of the error extraction raises, or "(none)".
    std::wstring ErrorOf(const std::string& zip) {
        try {
            Extract(zip);
        } catch (const EInstallerError& e) {
            return e.Message();
        }
        return L"(none)";
    }
    TMemoryFile* At(const std::wstring& relative) { return host.File(kRoot + L"\\" + relative); }
    // Every file written below the root, by relative path.
    std::map<std::wstring, std::string> Written() {
        std::map<std::wstring, std::string> files;
        for (const auto& [path, file] : host.Files())
            if (path != kArchive)
                files[path.substr(path.rfind(kRoot) == 0 ? kRoot.size() + 1 : 0)] = file.data;
        return files;
    }
};

} // namespace

TEST_P(ZipReaderTest, PayloadLikeArchiveExtractsCompletely) {
    const std::string big = Text(300000), small = Text(23, 'k');
    TEntry dir{.name = "sub/", .data = "", .method = 0, .external = 0x10};
    TEntry file{.name = "sub/a.txt", .data = small, .method = 0, .external = 0x20};
    TEntry deep{.name = "x/y/z.bin", .data = big, .external = 0x21};
    TEntry top{.name = "readme.txt", .data = big.substr(0, 3420)};
    TEntry empty{.name = "empty.txt", .data = ""};
    const std::string zip = BuildZip({dir, file, deep, top, empty});
    // The same places with and without a trailing separator on the target.
    for (const std::wstring& root : {kRoot, kRoot + L"\\"}) {
        SCOPED_TRACE(testing::Message() << "trailing separator: " << (root != kRoot));
        ResetHost();
        EXPECT_TRUE(Extract(zip, L"415263", root)) << "every entry, the folder too";
        const std::map<std::wstring, std::string> expected = {{L"sub\\a.txt", small},
                                                              {L"x\\y\\z.bin", big},
                                                              {L"readme.txt", big.substr(0, 3420)},
                                                              {L"empty.txt", ""}};
        EXPECT_EQ(Written(), expected);
        EXPECT_TRUE(host.DirectoryExists(kRoot + L"\\x\\y"));
        EXPECT_EQ(host.DirectoryAttributes(kRoot + L"\\sub"), 0x10u);
        ASSERT_NE(At(L"x\\y\\z.bin"), nullptr);
        EXPECT_EQ(At(L"x\\y\\z.bin")->attributes, 0x21u);
        EXPECT_TRUE(At(L"readme.txt")->hasTime);
        EXPECT_EQ(At(L"readme.txt")->modified.date, kDate);
        EXPECT_EQ(At(L"readme.txt")->modified.time, kTime);
    }
}

TEST_P(ZipReaderTest, EntriesThatCannotBeExtractedLeaveNoFileAndTheRestGoesOn) {
    const std::string data = Text(5000);
    struct Case {
        const char* why;
        TEntry entry;
    };
    const std::vector<Case> cases = {
        {"bad CRC, deflated", {.name = "bad1.txt", .data = data, .crc = Crc(data) ^ 1}},
        {"bad CRC, stored", {.name = "bad2.bin", .data = data, .method = 0, .crc = 0xDEADBEEF}},
        {"bzip2 with CRC 0", {.name = "bz.txt", .data = data, .method = 12, .crc = 0}},
        {"unknown method", {.name = "m200.txt", .data = data, .method = 200}},
        {"AES, real method deflate",
         {.name = "aes.txt",
          .data = data,
          .method = 99,
          .flags = 1,
          .crc = 0,
          .centralExtra = AesExtra(8)}},
        {"wrong password", {.name = "secret.txt", .data = data, .password = "12345678"}},
        {"more data than declared, stored",
         {.name = "long1.txt", .data = data, .method = 0, .declared = 10}},
        {"more data than declared, CRC 0",
         {.name = "long2.txt", .data = data, .crc = 0, .declared = 10}},
        {"parent folder is a file", {.name = "before.txt/inner.txt", .data = "x"}},
    };
    std::vector<TEntry> entries = {{.name = "before.txt", .data = "first"}};
    for (const Case& c : cases)
        entries.push_back(c.entry);
    entries.push_back({.name = "after.txt", .data = data});
    EXPECT_FALSE(Extract(BuildZip(entries))) << "entries were skipped";
    const std::map<std::wstring, std::string> expected = {{L"before.txt", "first"},
                                                          {L"after.txt", data}};
    EXPECT_EQ(Written(), expected);
}

TEST_P(ZipReaderTest, NamesLeadingOutsideTheRootAreSkipped) {
    const char* unsafe[] = {"../evil1.txt",     "ok/../../evil2.txt",
                            "/abs/evil3.txt",   "C:/evil4.txt",
                            "C:evil5.txt",      "\\\\server\\share\\e6.txt",
                            "ok/sub/../in.txt", "ok/.../e7.txt",
                            "ok/.. /e8.txt",    "file.txt:stream",
                            "ok/CON",           "nul.txt",
                            "ok/com1.log",      "a\x01.txt"};
    // Ports with a superscript digit (U+00B9, U+00B2, U+00B3) are devices too; UTF-8 names.
    const char* superscriptPorts[] = {"COM\xC2\xB9", "ok/com\xC2\xB2.txt", "Lpt\xC2\xB3 .log.gz",
                                      "LPT\xC2\xB9/in.txt", "ok/lpt\xC2\xB2"};
    std::vector<TEntry> entries;
    for (const char* name : unsafe)
        entries.push_back({.name = name, .data = name});
    for (const char* name : superscriptPorts)
        entries.push_back({.name = name, .data = name, .flags = zipformat::kFlagUtf8});
    entries.push_back({.name = "ok/./dot.txt", .data = "dot"});
    entries.push_back({.name = "ok/console.txt", .data = "fine"});
    // Other superscripts, and a superscript port with more after it, are ordinary names.
    entries.push_back(
        {.name = "ok/COM\xC2\xB9\xC2\xB9.txt", .data = "two", .flags = zipformat::kFlagUtf8});
    entries.push_back(
        {.name = "ok/COM\xE2\x81\xB4.txt", .data = "four", .flags = zipformat::kFlagUtf8});
    entries.push_back({.name = "ok/last.txt", .data = "last"});
    Extract(BuildZip(entries));
    const std::map<std::wstring, std::string> expected = {{L"ok\\dot.txt", "dot"},
                                                          {L"ok\\console.txt", "fine"},
                                                          {L"ok\\COM\u00B9\u00B9.txt", "two"},
                                                          {L"ok\\COM\u2074.txt", "four"},
                                                          {L"ok\\last.txt", "last"}};
    EXPECT_EQ(Written(), expected);
    for (const std::wstring& dir : host.Directories())
        EXPECT_TRUE(dir == L"M:" || dir == L"M:\\incoming" || dir.starts_with(kRoot)) << dir;
}

TEST_P(ZipReaderTest, TraditionalEncryptionChecksAgainstCrcOrTime) {
    const std::string data = Text(70000);
    Extract(BuildZip(
        {{.name = "crc-check.txt", .data = data, .password = "415263"},
         {.name = "time-check.bin", .data = data, .method = 0, .flags = 8, .password = "415263"},
         {.name = "wrong.txt", .data = data, .password = "other"}}));
    const std::map<std::wstring, std::string> expected = {{L"crc-check.txt", data},
                                                          {L"time-check.bin", data}};
    EXPECT_EQ(Written(), expected);
}

TEST_P(ZipReaderTest, DeclaredSizeLargerThanTheDataGivesTheBytesWritten) {
    // Claims 4 GiB more than it holds; no file may keep the claimed size or be pre-sized to it.
    Extract(BuildZip({{.name = "hello.txt", .data = "hello", .declared = 0x100000005ull},
                      {.name = "stored.txt", .data = "stored", .method = 0, .declared = 1000}}));
    ASSERT_NE(At(L"hello.txt"), nullptr);
    EXPECT_EQ(At(L"hello.txt")->data, "hello");
    EXPECT_LE(At(L"hello.txt")->declaredSize, 1032u * 100);
    ASSERT_NE(At(L"stored.txt"), nullptr);
    EXPECT_EQ(At(L"stored.txt")->data, "stored");
    EXPECT_EQ(At(L"stored.txt")->declaredSize, 6u);
}

TEST_P(ZipReaderTest, Zip64RecordsAndExtraFieldsAreRead) {
    const std::string data = Text(4000);
    Extract(BuildZip({{.name = "a.txt", .data = data, .zip64 = true},
                      {.name = "d/b.bin", .data = data, .method = 0, .zip64 = true}},
                     {.zip64End = true}));
    const std::map<std::wstring, std::string> expected = {{L"a.txt", data}, {L"d\\b.bin", data}};
    EXPECT_EQ(Written(), expected);
}

TEST_P(ZipReaderTest, DamagedCentralDirectoryFallsBackToTheLocalHeaders) {
    const std::string one = Text(3000), two = Text(20, 'q');
    const std::vector<TEntry> entries = {{.name = "one.txt", .data = one},
                                         {.name = "dir/two.txt", .data = two, .method = 0}};
    struct Case {
        const char* why;
        TOptions options;
    };
    const Case cases[] = {{"offset points into garbage", {.prefix = "junk", .centralOffset = 2}},
                          {"duplicate local offsets", {.duplicateFirstOffset = true}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        ResetHost();
        host.AddFile(kArchive, BuildZip(entries, c.options));
        TZipReader reader(host);
        reader.SetZipName(kArchive);
        reader.ReadZip();
        EXPECT_TRUE(reader.UsedFallbackScan());
        ASSERT_EQ(reader.EntryCount(), 2u);
        ASSERT_EQ(reader.ListEntries().size(), 2u);
        reader.DoAll = reader.RecreateDirs = reader.keepSilent = true;
        reader.SetDestDir(kRoot);
        EXPECT_EQ(reader.UnZip(), 2);
        const std::map<std::wstring, std::string> expected = {{L"one.txt", one},
                                                              {L"dir\\two.txt", two}};
        EXPECT_EQ(Written(), expected);
    }
}

TEST_P(ZipReaderTest, CorruptOrTruncatedArchivesRaiseTheirMessages) {
    const std::string good = BuildZip({{.name = "a.txt", .data = Text(50000)}});
    std::string badDeflate = BuildZip({{.name = "a.txt", .data = "x", .compressed = "\xFF\xFF"}});
    const std::string noEnd = good.substr(0, good.size() - 22);
    // A central directory that names data lying beyond the end of the file.
    std::string pastEnd = BuildZip(
        {{.name = "r.bin", .data = Text(100), .method = 0, .compressed = std::string(100, 'z')}});
    const std::size_t sizeField = pastEnd.find("PK\x01\x02") + 20;
    pastEnd[sizeField + 2] = '\x10'; // compressed size + 1 MiB
    std::string notZip(300, '\x11');
    notZip += BuildZip({}).substr(0, 22);
    notZip[notZip.size() - 22 + 10] = 1; // one entry, but nothing readable anywhere
    struct Case {
        const char* why;
        std::string zip;
        std::wstring message;
    };
    const Case cases[] = {
        {"0 bytes", "", L"(none)"},
        {"10 bytes", std::string(10, 'P'), L"Incomplete Zip File"},
        {"no end record", noEnd, L"Incomplete Zip File"},
        {"nothing but garbage", std::string(100000, 'G'), L"Incomplete Zip File"},
        {"corrupt deflate data", badDeflate, L"error"},
        {"data past the end", pastEnd, L"Premature end of file reached"},
        {"no entry to be found", notZip, L"Not a valid zip file!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        ResetHost();
        EXPECT_EQ(ErrorOf(c.zip), c.message);
    }
}

TEST_P(ZipReaderTest, FullDiskAndMissingArchiveRaiseTheirMessages) {
    ResetHost(1000);
    EXPECT_EQ(ErrorOf(BuildZip({{.name = "a.txt", .data = Text(5000)}})),
              L"Cant write uncompressed file");
    try {
        UnzipArchive(host, L"M:\\missing.zip", kRoot, L"");
        ADD_FAILURE() << "no error";
    } catch (const EInstallerError& e) {
        EXPECT_TRUE(e.Message().starts_with(L"Cannot open file \"M:\\missing.zip\". "))
            << e.Message().size();
    }
}

TEST_P(ZipReaderTest, ExistingFilesAreReplacedUnlessTheyCannotBeOpened) {
    host.AddFile(kRoot + L"\\plain.txt", "old plain");
    host.AddFile(kRoot + L"\\readonly.txt", "old readonly");
    host.File(kRoot + L"\\readonly.txt")->attributes = 0x01;
    host.AddFile(kRoot + L"\\busy.txt", "old busy");
    host.File(kRoot + L"\\busy.txt")->inUse = true;
    Extract(BuildZip({{.name = "plain.txt", .data = "new"},
                      {.name = "readonly.txt", .data = "new"},
                      {.name = "busy.txt", .data = "new"}}));
    EXPECT_EQ(At(L"plain.txt")->data, "new");
    EXPECT_EQ(At(L"readonly.txt")->data, "old readonly");
    EXPECT_EQ(At(L"busy.txt")->data, "old busy");
}

TEST_P(ZipReaderTest, DuplicateNameKeepsTheLastGoodCopyOrNone) {
    // The order of the data decides, also when the central directory lists it backwards.
    for (const bool reverse : {false, true}) {
        SCOPED_TRACE(reverse ? "central directory reversed" : "central directory in order");
        ResetHost();
        Extract(BuildZip({{.name = "x.txt", .data = "x1"},
                          {.name = "x.txt", .data = "x2"},
                          {.name = "y.txt", .data = "y1"},
                          {.name = "y.txt", .data = "y2", .crc = 0x0BADC0DE}},
                         {.reverseCentral = reverse}));
        const std::map<std::wstring, std::string> expected = {{L"x.txt", "x2"}};
        EXPECT_EQ(Written(), expected);
    }
}

TEST_P(ZipReaderTest, MessagesArePumpedWhileReadingAndOnlyWhenAsked) {
    const std::string zip =
        BuildZip({{.name = "a.txt", .data = Text(2 << 20)}, {.name = "b.txt", .data = "b"}});
    for (const bool pump : {true, false}) {
        ResetHost();
        host.AddFile(kArchive, zip);
        TZipReader reader(host);
        reader.DoProcessMessages = pump;
        reader.SetZipName(kArchive);
        reader.ReadZip();
        const std::uint64_t afterDirectory = host.PumpCount();
        reader.DoAll = true;
        reader.SetDestDir(kRoot);
        EXPECT_EQ(reader.UnZip(), 2);
        if (!pump) {
            EXPECT_EQ(host.PumpCount(), 0u);
        } else {
            EXPECT_EQ(afterDirectory, 2u); // one per central record
            // Entries and compressed blocks; with other threads, blocks only where it extracts.
            EXPECT_GE(host.PumpCount(), afterDirectory + (GetParam() == 1 ? 4 : 2));
        }
        // Other threads never touch the window's messages.
        EXPECT_FALSE(host.PumpedFromAnotherThread());
    }
}

TEST_P(ZipReaderTest, ReaderSettingsChangeWhatIsExtracted) {
    host.AddFile(kRoot + L"\\keep.txt", "old");
    host.AddFile(kRoot + L"\\ro.txt", "old ro");
    host.File(kRoot + L"\\ro.txt")->attributes = 0x01;
    host.AddFile(kArchive, BuildZip({{.name = "d/", .data = "", .method = 0},
                                     {.name = "d/f.txt", .data = "f", .external = 0x01},
                                     {.name = "keep.txt", .data = "new"},
                                     {.name = "ro.txt", .data = "new ro"}}));
    TZipReader reader(host);
    reader.SetZipName(kArchive);
    reader.DoAll = true;
    reader.SetDestDir(kRoot);
    reader.OverwriteMode = TOverwriteMode::Never;
    reader.RetainAttributes = false;
    reader.ReplaceReadOnly = true;
    EXPECT_EQ(reader.UnZip(), 1); // f.txt, into the root; no folders, nothing replaced
    EXPECT_EQ(At(L"f.txt")->data, "f");
    EXPECT_EQ(At(L"f.txt")->attributes, 0u);
    EXPECT_EQ(At(L"keep.txt")->data, "old");
    EXPECT_EQ(At(L"ro.txt")->data, "old ro"); // Never wins over ReplaceReadOnly
    EXPECT_FALSE(host.DirectoryExists(kRoot + L"\\d"));

    std::vector<std::wstring> questions;
    reader.OverwriteMode = TOverwriteMode::Prompt;
    reader.OnConfirmOverwrite = [&](const std::wstring& q) {
        questions.push_back(q);
        return q.find(L"ro.txt") != std::wstring::npos;
    };
    EXPECT_EQ(reader.UnZip(), 1); // only ro.txt, replaced after clearing its read-only bit
    EXPECT_EQ(At(L"ro.txt")->data, "new ro");
    EXPECT_EQ(At(L"keep.txt")->data, "old");
    EXPECT_EQ(questions, (std::vector<std::wstring>{L"Replace existing file d\\f.txt?",
                                                    L"Replace existing file keep.txt?",
                                                    L"Replace existing file ro.txt?"}));
}

TEST_P(ZipReaderTest, DirectoryIsReadAgainWhenTheArchiveChanges) {
    host.AddFile(kArchive, BuildZip({{.name = "old.txt", .data = "old"}}));
    TZipReader reader(host);
    reader.SetZipName(kArchive);
    reader.ReadZip();
    host.AddFile(kArchive, BuildZip({{.name = "new.txt", .data = "new"}}));
    reader.DoAll = true;
    reader.SetDestDir(kRoot);
    EXPECT_EQ(reader.UnZip(), 1);
    const std::map<std::wstring, std::string> expected = {{L"new.txt", "new"}};
    EXPECT_EQ(Written(), expected);
}

TEST_P(ZipReaderTest, ManyEntriesGiveTheSameTreeAsOneAfterTheOther) {
    // Folders, files of one byte to several blocks, exact duplicates (the later one wins),
    // entries that are skipped (bad CRC-32, wrong method) and attributes, in one archive.
    std::vector<TEntry> entries;
    for (int i = 0; i < 240; ++i) {
        const std::string folder = "f" + std::to_string(i % 7) + "/g" + std::to_string(i % 3) + "/";
        if (i % 40 == 0)
            entries.push_back({.name = folder, .data = "", .method = 0, .external = 0x10});
        const std::size_t size =
            i % 50 == 0 ? 1500000 + i : static_cast<std::size_t>(i * 37 % 9000);
        TEntry entry{.name = folder + "file" + std::to_string(i) + ".dat",
                     .data = Text(size, static_cast<char>('a' + i % 20)),
                     .method = static_cast<std::uint16_t>(i % 4 == 0 ? 0 : 8),
                     .external = static_cast<std::uint32_t>(i % 5 == 0 ? 0x21 : 0x20)};
        if (i % 31 == 0)
            entry.crc = 0x0BADC0DE;
        if (i % 37 == 0)
            entry.method = 12;
        entries.push_back(entry);
        if (i % 9 == 0)
            entries.push_back({.name = "dup.txt", .data = "copy " + std::to_string(i)});
    }
    // A large copy right before a small one: the small one would be done first if both were
    // written at once.
    entries.push_back({.name = "dup.txt", .data = Text(1200000)});
    entries.push_back({.name = "dup.txt", .data = "last copy"});
    const std::string zip = BuildZip(entries);

    TMemoryZipHost alone(CodePage(437), CodePage(1252));
    alone.AddFile(kArchive, zip);
    TZipReader first(alone);
    first.SetZipName(kArchive);
    first.DoAll = first.RecreateDirs = first.keepSilent = true;
    first.SetDestDir(kRoot);
    const int expectedCount = first.UnZip();

    host.AddFile(kArchive, zip);
    TZipReader reader(host);
    reader.SetZipName(kArchive);
    reader.DoAll = reader.RecreateDirs = reader.keepSilent = true;
    reader.SetDestDir(kRoot);
    EXPECT_EQ(reader.UnZip(), expectedCount);
    EXPECT_EQ(host.Directories(), alone.Directories());
    ASSERT_EQ(host.Files().size(), alone.Files().size());
    for (const auto& [path, file] : alone.Files()) {
        SCOPED_TRACE(testing::Message() << std::string(path.begin(), path.end()));
        const TMemoryFile* other = host.File(path);
        ASSERT_NE(other, nullptr);
        EXPECT_EQ(other->data, file.data);
        EXPECT_EQ(other->attributes, file.attributes);
        EXPECT_EQ(other->hasTime, file.hasTime);
    }
    EXPECT_EQ(At(L"dup.txt")->data, "last copy");
}

TEST_P(ZipReaderTest, TheFirstFailingEntryInTheArchiveGivesTheMessage) {
    // A large entry whose deflate data breaks near its end, then a small one whose data runs
    // past the end of the file: the second fails at once, the first only after inflating most
    // of its data, but the one before decides, as when extracting one after the other.
    const std::string large = Text(3000000);
    // All of the data in blocks that are not the last, then a block of the reserved type.
    const std::string broken = RawDeflate(large, 6, Z_FULL_FLUSH) + "\xFF\xFF";
    std::vector<TEntry> entries;
    for (int i = 0; i < 5; ++i)
        entries.push_back({.name = "ok" + std::to_string(i) + ".txt", .data = Text(5000)});
    entries.push_back({.name = "broken.txt", .data = large, .compressed = broken});
    entries.push_back(
        {.name = "short.bin", .data = Text(100), .method = 0, .compressed = std::string(100, 'z')});
    std::string zip = BuildZip(entries);
    const std::size_t sizeField = zip.rfind("PK\x01\x02") + 20;
    zip[sizeField + 2] = '\x10'; // the last entry's compressed size + 1 MiB
    EXPECT_EQ(ErrorOf(zip), L"error");
    // Everything before the failure is there.
    for (int i = 0; i < 5; ++i) {
        const TMemoryFile* ok = At(L"ok" + std::to_wstring(i) + L".txt");
        ASSERT_NE(ok, nullptr) << i;
        EXPECT_EQ(ok->data, Text(5000));
    }
}

INSTANTIATE_TEST_SUITE_P(Threads, ZipReaderTest, testing::Values(1u, 3u),
                         [](const testing::TestParamInfo<unsigned>& info) {
                             return info.param == 1 ? std::string("OneAfterTheOther")
                                                    : std::to_string(info.param) + "AtOnce";
                         });
