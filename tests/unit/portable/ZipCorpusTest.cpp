// The reader over archives made by real tools, checked against the fixture folder's
// MANIFEST.tsv: once over the in-memory host with the code pages each archive's names need,
// and once over the platform's own host, writing real files.
#include "archive/MemoryZipHost.h"
#include "archive/MyZip.h"
#include "sys/PlatformCodePage.h"
#ifdef _WIN32
#include "archive/Win32ZipHost.h"
#else
#include "archive/PosixZipHost.h"
#endif
#include "sys/Error.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <regex>
#include <set>
#include <sstream>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

namespace fs = std::filesystem;

namespace {

struct TRow {
    std::string archive, kind, path, size, crc, outcome, note;
};

struct TArchiveCase {
    std::string name;
    std::string outcome; // "ok" or "error:<message>"
    unsigned oem = 437, ansi = 1252;
    std::vector<TRow> rows;
};

fs::path CorpusDir() {
#ifdef _WIN32
    return fs::path(L"Z:" + DecodeUtf8Lenient(ZIP_CORPUS_DIR)); // Wine's Z: is the Unix root
#else
    return fs::path(ZIP_CORPUS_DIR);
#endif
}

std::vector<std::string> SplitTabs(const std::string& line) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab - start));
        if (tab == std::string::npos)
            return fields;
        start = tab + 1;
    }
}

std::vector<TArchiveCase> LoadManifest() {
    std::ifstream in(CorpusDir() / "MANIFEST.tsv", std::ios::binary);
    std::vector<TArchiveCase> cases;
    std::map<std::string, std::size_t> index;
    std::string line;
    std::getline(in, line); // header
    const std::regex profile(R"(OEM(\d+)/ANSI(\d+))");
    while (std::getline(in, line)) {
        if (line.empty())
            continue;
        std::vector<std::string> f = SplitTabs(line);
        f.resize(9);
        const TRow row{f[0], f[1], f[2], f[3], f[4], f[5], f[8]};
        if (row.kind == "archive") {
            index[row.archive] = cases.size();
            TArchiveCase c;
            c.name = row.archive;
            c.outcome = row.outcome;
            std::smatch m;
            if (std::regex_search(row.note, m, profile)) {
                c.oem = static_cast<unsigned>(std::stoul(m[1]));
                c.ansi = static_cast<unsigned>(std::stoul(m[2]));
            }
            cases.push_back(c);
        } else {
            cases.at(index.at(row.archive)).rows.push_back(row);
        }
    }
    return cases;
}

// Paths with non-ASCII names: natively the bytes are UTF-8, whatever the C locale says.
fs::path MakePath(const std::wstring& path) {
#ifdef _WIN32
    return fs::path(path);
#else
    return fs::path(EncodeUtf8(path));
#endif
}

std::wstring WidePath(const fs::path& path) {
#ifdef _WIN32
    return path.wstring();
#else
    return DecodeUtf8Lenient(path.string());
#endif
}

// The manifests describe extracting one entry after the other: where an error stops the
// extraction, nothing after the failing entry is written. (Extracting several at once, the
// entries already being written when it fails land too.)
void UnzipOneAfterTheOther(const std::wstring& zip, const std::wstring& target) {
#ifdef _WIN32
    TWin32ZipHost host({}, 1);
#else
    TPosixZipHost host;
#endif
    UnzipArchive(host, zip, target, L"415263");
}

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string CrcHex(const std::string& data) {
    const auto crc =
        crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size()));
    char text[9];
    std::snprintf(text, sizeof text, "%08lx", static_cast<unsigned long>(crc));
    return text;
}

// The manifest's relative path ("/" separators, a trailing "/" for folders) in the reader's form.
std::wstring HostPath(const std::string& utf8) {
    std::wstring path = DecodeUtf8Lenient(utf8);
    for (auto& c : path)
        if (c == L'/')
            c = L'\\';
    if (!path.empty() && path.back() == L'\\')
        path.pop_back();
    return path;
}

// Runs the extraction and returns "ok" or "error:<message>".
template <typename Run> std::string Outcome(Run run) {
    try {
        run();
        return "ok";
    } catch (const EInstallerError& e) {
        return "error:" + EncodeUtf8(e.Message());
    }
}

const ICodePage& CodePage(unsigned number) {
    static std::map<unsigned, std::unique_ptr<ICodePage>> pages;
    auto& page = pages[number];
    if (!page)
        page = MakeCodePage(number);
    return *page;
}

} // namespace

TEST(ZipCorpusTest, EveryArchiveGivesItsManifestResultInMemory) {
    const std::vector<TArchiveCase> cases = LoadManifest();
    ASSERT_EQ(cases.size(), 71u);
    const std::wstring root = L"M:\\target";
    for (const TArchiveCase& c : cases) {
        SCOPED_TRACE(c.name);
        TMemoryZipHost host(CodePage(c.oem), CodePage(c.ansi));
        const std::wstring archive = L"M:\\" + DecodeUtf8Lenient(c.name);
        host.AddFile(archive, ReadAll(CorpusDir() / c.name));
        EXPECT_EQ(Outcome([&] { UnzipArchive(host, archive, root, L"415263"); }), c.outcome);

        std::set<std::wstring> allowed;
        for (const TRow& row : c.rows) {
            SCOPED_TRACE(row.path);
            const std::wstring path = root + L"\\" + HostPath(row.path);
            const TMemoryFile* file = host.File(path);
            if (row.kind == "file") {
                allowed.insert(TMemoryZipHost::Normalise(path));
                ASSERT_NE(file, nullptr);
                EXPECT_EQ(std::to_string(file->data.size()), row.size);
                EXPECT_EQ(CrcHex(file->data), row.crc);
            } else if (row.kind == "dir") {
                EXPECT_TRUE(host.DirectoryExists(path));
            } else if (row.kind == "absent") {
                EXPECT_EQ(file, nullptr);
            } else if (row.kind == "unspecified") {
                allowed.insert(TMemoryZipHost::Normalise(path));
            }
        }
        // Nothing was written that the manifest does not list, inside or outside the root.
        for (const auto& [path, file] : host.Files()) {
            if (path != archive) {
                EXPECT_TRUE(allowed.count(path)) << "unexpected file " << EncodeUtf8(path);
            }
        }
    }
}

TEST(ZipCorpusTest, ArchivesExtractOntoTheRealFileSystem) {
#ifdef _WIN32
    if (GetACP() != 1252 || GetOEMCP() != 437)
        GTEST_SKIP() << "the manifest's names assume OEM 437 and ANSI 1252";
#endif
    std::mt19937_64 random(std::random_device{}());
    const fs::path scratch = fs::temp_directory_path() / ("zip-corpus-" + std::to_string(random()));
    for (const TArchiveCase& c : LoadManifest()) {
        if (c.oem != 437 || c.ansi != 1252)
            continue; // names for other code pages: covered in memory
        SCOPED_TRACE(c.name);
        // An empty folder inside an empty folder: nothing may appear beside the target.
        const fs::path target = scratch / "target";
        fs::create_directories(target);
        EXPECT_EQ(Outcome([&] {
                      UnzipOneAfterTheOther(WidePath(CorpusDir() / c.name), WidePath(target));
                  }),
                  c.outcome);
        for (const TRow& row : c.rows) {
            SCOPED_TRACE(row.path);
            const fs::path path = MakePath(WidePath(target) + L"/" + DecodeUtf8Lenient(row.path));
            std::error_code ec;
            if (row.kind == "file") {
                ASSERT_TRUE(fs::is_regular_file(path, ec));
                const std::string data = ReadAll(path);
                EXPECT_EQ(std::to_string(data.size()), row.size);
                EXPECT_EQ(CrcHex(data), row.crc);
            } else if (row.kind == "dir") {
                EXPECT_TRUE(fs::is_directory(path, ec));
            } else if (row.kind == "absent") {
                EXPECT_FALSE(fs::is_regular_file(path, ec));
            }
        }
        std::size_t besideTarget = 0;
        for (const auto& item : fs::directory_iterator(scratch)) {
            (void)item;
            ++besideTarget;
        }
        EXPECT_EQ(besideTarget, 1u);
        // Read-only files must become writable before the folder can go.
        for (const auto& item : fs::recursive_directory_iterator(target))
            fs::permissions(item.path(), fs::perms::owner_write, fs::perm_options::add);
        fs::remove_all(target);
    }
    fs::remove_all(scratch);
}
