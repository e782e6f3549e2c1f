// The archive reader over the real Windows host: attributes, times, replacing files, names
// in the system's code pages and the message pump.
#include "../portable/ZipTestArchive.h"
#include "PendingRenames.h"
#include "SysTestSupport.h"

#include "archive/MyZip.h"
#include "archive/Win32ZipHost.h"
#include "sys/Error.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <set>

using namespace ziptest;
using systest::ReadBytes;
using systest::TScratchFolder;
using systest::WriteBytes;

namespace {

// The file's last-write time as local time on its own date.
SYSTEMTIME LocalWriteTime(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
    SYSTEMTIME utc{}, local{};
    FileTimeToSystemTime(&data.ftLastWriteTime, &utc);
    SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local);
    return local;
}

void Extract(const TScratchFolder& scratch, const std::string& zip, const std::wstring& target) {
    WriteBytes(scratch / L"payload", zip);
    UnzipArchive(scratch / L"payload", target, L"415263");
}

} // namespace

TEST(ZipWin32HostTest, FilesGetStoredAttributesTimesAndSizes) {
    TScratchFolder scratch;
    const std::string big(200000, 'b');
    Extract(scratch,
            BuildZip({{.name = "d/", .data = "", .method = 0, .external = 0x10},
                      {.name = "h/", .data = "", .method = 0, .external = 0x12},
                      {.name = "d/ro.txt", .data = "read only", .external = 0x21},
                      {.name = "d/hidden.txt", .data = "hidden", .method = 0, .external = 0x02},
                      {.name = "unix.txt", .data = "unix", .external = 0x81A40000},
                      {.name = "late.txt", .data = "late", .time = (25 << 11) | (31 << 5)},
                      {.name = "claims4g.txt", .data = "hello", .declared = 0x100000005ull},
                      {.name = "big.bin", .data = big}}),
            scratch / L"target\\");
    const std::wstring target = scratch / L"target";
    // Wine marks every file for archiving; that bit is left out of the comparison.
    auto attributes = [&](const std::wstring& relative) {
        return GetFileAttributesW((target + L"\\" + relative).c_str()) &
               ~DWORD{FILE_ATTRIBUTE_ARCHIVE};
    };
    EXPECT_EQ(attributes(L"d\\ro.txt"), DWORD{FILE_ATTRIBUTE_READONLY});
    EXPECT_EQ(attributes(L"d\\hidden.txt"), DWORD{FILE_ATTRIBUTE_HIDDEN});
    // Folders: a plain one as created, a hidden one hidden.
    EXPECT_EQ(attributes(L"d"), DWORD{FILE_ATTRIBUTE_DIRECTORY});
    EXPECT_EQ(attributes(L"h"), DWORD{FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN});
    // Unix permissions in the high half have no Windows meaning.
    EXPECT_EQ(attributes(L"unix.txt") & ~DWORD{FILE_ATTRIBUTE_NORMAL}, 0u);
    EXPECT_EQ(ReadBytes(target + L"\\d\\ro.txt"), "read only");
    EXPECT_EQ(ReadBytes(target + L"\\claims4g.txt"), "hello");
    EXPECT_EQ(ReadBytes(target + L"\\big.bin"), big);

    const SYSTEMTIME t = LocalWriteTime(target + L"\\big.bin");
    EXPECT_EQ((std::vector<int>{t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond}),
              (std::vector<int>{2024, 3, 5, 10, 20, 30}));
    const SYSTEMTIME late = LocalWriteTime(target + L"\\late.txt");
    EXPECT_EQ((std::vector<int>{late.wHour, late.wMinute}), (std::vector<int>{23, 31}));
}

namespace {

// Every file and folder below `root`: attributes (the archive bit left out, as Wine sets it on
// every file), last-write time and content, by relative path.
std::map<std::wstring, std::string> Tree(const std::wstring& root,
                                         const std::wstring& under = L"") {
    std::map<std::wstring, std::string> tree;
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((root + L"\\" + under + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return tree;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..")
            continue;
        const std::wstring relative = under + name;
        const bool folder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        std::string description =
            std::to_string(found.dwFileAttributes & ~DWORD{FILE_ATTRIBUTE_ARCHIVE});
        if (!folder)
            description += " " + std::to_string(found.ftLastWriteTime.dwHighDateTime) + ":" +
                           std::to_string(found.ftLastWriteTime.dwLowDateTime) + " " +
                           ReadBytes(root + L"\\" + relative).value_or("(unreadable)");
        tree[relative] = description;
        if (folder)
            tree.merge(Tree(root, relative + L"\\"));
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return tree;
}

} // namespace

TEST(ZipWin32HostTest, SeveralFilesAtOnceGiveTheSameTreeAsOneAfterTheOther) {
    TScratchFolder scratch;
    std::vector<TEntry> entries;
    std::set<std::string> folders;
    for (int i = 0; i < 150; ++i) {
        const std::string folder = "d" + std::to_string(i % 6) + "/e" + std::to_string(i % 4) + "/";
        folders.insert(folder);
        folders.insert(folder.substr(0, 2));
        if (i % 50 == 0)
            entries.push_back({.name = folder, .data = "", .method = 0, .external = 0x12});
        entries.push_back({.name = folder + "f" + std::to_string(i) + ".txt",
                           .data = std::string(i % 30 == 0 ? 1200000 : i * 41 % 7000,
                                               static_cast<char>('a' + i % 26)),
                           .time = static_cast<std::uint16_t>(kTime + (i % 8) * 32),
                           .external = static_cast<std::uint32_t>(i % 7 == 0 ? 0x21 : 0x20)});
    }
    // Names Windows takes for one file: a large copy first, then a small one that would be
    // done first if both were written at once. The later one must win.
    entries.push_back({.name = "Dup.txt", .data = std::string(1500000, 'L')});
    entries.push_back({.name = "DUP.TXT", .data = "last copy"});
    WriteBytes(scratch / L"payload", BuildZip(entries));

    TWin32ZipHost alone({}, 1);
    UnzipArchive(alone, scratch / L"payload", scratch / L"one", L"");
    TWin32ZipHost several({}, 4);
    ASSERT_EQ(several.ConcurrentEntries(), 4u);
    UnzipArchive(several, scratch / L"payload", scratch / L"four", L"");

    const std::map<std::wstring, std::string> one = Tree(scratch / L"one");
    EXPECT_EQ(one.size(), 150 + 1 + folders.size()); // the files, the duplicate, the folders
    EXPECT_EQ(Tree(scratch / L"four"), one);
    EXPECT_EQ(ReadBytes(scratch / L"four\\dup.txt"), "last copy");
    EXPECT_EQ(several.BytesExtracted(), alone.BytesExtracted());
}

namespace {

// The names in `folder` other than "." and "..".
std::set<std::wstring> Names(const std::wstring& folder) {
    std::set<std::wstring> names;
    WIN32_FIND_DATAW entry;
    const HANDLE listing = FindFirstFileW((folder + L"\\*").c_str(), &entry);
    if (listing == INVALID_HANDLE_VALUE)
        return names;
    do {
        const std::wstring name = entry.cFileName;
        if (name != L"." && name != L"..")
            names.insert(name);
    } while (FindNextFileW(listing, &entry));
    FindClose(listing);
    return names;
}

// A file held open by this process, allowing no other access, as a running program holds its
// own files.
class THeldFile {
public:
    explicit THeldFile(const std::wstring& path)
        : handle_(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr)) {}
    ~THeldFile() {
        if (handle_ != INVALID_HANDLE_VALUE)
            CloseHandle(handle_);
    }
    THeldFile(const THeldFile&) = delete;
    THeldFile& operator=(const THeldFile&) = delete;
    bool Held() const { return handle_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE handle_;
};

} // namespace

// Read-only and hidden files are refused, not written elsewhere: only a file in use is.
TEST(ZipWin32HostTest, ReadOnlyAndHiddenTargetsKeepTheirOldContent) {
    TScratchFolder scratch;
    const systest::TPendingRenamesCleanup cleanup(scratch.Path());
    const std::wstring target = scratch / L"target";
    systest::MakeDir(target);
    WriteBytes(target + L"\\plain.txt", "old plain");
    WriteBytes(target + L"\\ro.txt", "old ro");
    SetFileAttributesW((target + L"\\ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    WriteBytes(target + L"\\hidden.txt", "old hidden");
    SetFileAttributesW((target + L"\\hidden.txt").c_str(), FILE_ATTRIBUTE_HIDDEN);
    WriteBytes(scratch / L"payload", BuildZip({{.name = "plain.txt", .data = "new"},
                                               {.name = "ro.txt", .data = "new"},
                                               {.name = "hidden.txt", .data = "new"},
                                               {.name = "after.txt", .data = "after"}}));
    TWin32ZipHost host;
    UnzipArchive(host, scratch / L"payload", target, L"415263");
    EXPECT_EQ(ReadBytes(target + L"\\plain.txt"), "new");
    EXPECT_EQ(ReadBytes(target + L"\\ro.txt"), "old ro");
    EXPECT_EQ(ReadBytes(target + L"\\hidden.txt"), "old hidden");
    EXPECT_EQ(ReadBytes(target + L"\\after.txt"), "after");
    EXPECT_EQ(host.FilesStagedForRestart(), 0u);
    EXPECT_EQ(Names(target),
              (std::set<std::wstring>{L"plain.txt", L"ro.txt", L"hidden.txt", L"after.txt"}));
    EXPECT_TRUE(systest::PendingRenamesUnder(scratch.Path()).empty());
}

// A file another program holds open is written beside it under a new name, with its stored
// time and attributes, and scheduled to replace it at the next restart; the old one stays
// until then. Several threads extract at once, so the count must hold across them.
TEST(ZipWin32HostTest, AFileInUseIsStagedBesideItAndReplacesItAtTheRestart) {
    for (const unsigned threads : {1u, 4u}) {
        SCOPED_TRACE(threads);
        TScratchFolder scratch;
        const systest::TPendingRenamesCleanup cleanup(scratch.Path());
        const std::wstring target = scratch / L"target";
        systest::MakeDir(target);
        std::vector<TEntry> entries;
        for (int i = 0; i < 6; ++i) {
            const std::wstring name = L"busy" + std::to_wstring(i) + L".dll";
            WriteBytes(target + L"\\" + name, "old");
            entries.push_back({.name = "busy" + std::to_string(i) + ".dll",
                               .data = "new " + std::to_string(i) + std::string(5000, 'x'),
                               .external = i == 0 ? 0x02u : 0u});
            entries.push_back({.name = "free" + std::to_string(i) + ".txt", .data = "free"});
        }
        WriteBytes(scratch / L"payload", BuildZip(entries));
        {
            std::vector<std::unique_ptr<THeldFile>> held;
            for (int i = 0; i < 6; ++i) {
                held.push_back(
                    std::make_unique<THeldFile>(target + L"\\busy" + std::to_wstring(i) + L".dll"));
                ASSERT_TRUE(held.back()->Held());
            }
            TWin32ZipHost host({}, threads);
            UnzipArchive(host, scratch / L"payload", target, L"415263");
            EXPECT_EQ(host.FilesStagedForRestart(), 6u);
        }
        const std::vector<systest::TPendingRename> pending =
            systest::PendingRenamesUnder(scratch.Path());
        ASSERT_EQ(pending.size(), 6u);
        const std::set<std::wstring> names = Names(target);
        EXPECT_EQ(names.size(), 18u); // 6 old, 6 staged, 6 free
        for (int i = 0; i < 6; ++i) {
            const std::wstring name = L"busy" + std::to_wstring(i) + L".dll";
            SCOPED_TRACE(std::string(name.begin(), name.end()));
            EXPECT_EQ(ReadBytes(target + L"\\" + name), "old");
            EXPECT_EQ(ReadBytes(target + L"\\free" + std::to_wstring(i) + L".txt"), "free");
            // Exactly one staged file, "<name>.~<random>", holding the new bytes.
            std::vector<std::wstring> staged;
            for (const std::wstring& n : names)
                if (n.starts_with(name + L".~"))
                    staged.push_back(n);
            ASSERT_EQ(staged.size(), 1u);
            const std::wstring stagedPath = target + L"\\" + staged[0];
            EXPECT_EQ(ReadBytes(stagedPath), "new " + std::to_string(i) + std::string(5000, 'x'));
            const SYSTEMTIME t = LocalWriteTime(stagedPath);
            EXPECT_EQ((std::vector<int>{t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond}),
                      (std::vector<int>{2024, 3, 5, 10, 20, 30}));
            const DWORD attributes = GetFileAttributesW(stagedPath.c_str());
            EXPECT_EQ((attributes & FILE_ATTRIBUTE_HIDDEN) != 0, i == 0);
            // Scheduled as staged -> target, replacing it.
            const systest::TPendingRename expected{L"\\??\\" + stagedPath,
                                                   L"!\\??\\" + target + L"\\" + name};
            int matches = 0;
            for (const systest::TPendingRename& pair : pending)
                if (CompareStringOrdinal(pair.first.c_str(), -1, expected.first.c_str(), -1,
                                         TRUE) == CSTR_EQUAL &&
                    CompareStringOrdinal(pair.second.c_str(), -1, expected.second.c_str(), -1,
                                         TRUE) == CSTR_EQUAL)
                    ++matches;
            EXPECT_EQ(matches, 1);
        }
    }
}

// The reader checks the CRC-32 of what it wrote: a staged file that fails it is deleted and
// nothing is scheduled; the old file stays.
TEST(ZipWin32HostTest, AStagedFileWithABadCrcIsDeletedAndNothingIsScheduled) {
    TScratchFolder scratch;
    const systest::TPendingRenamesCleanup cleanup(scratch.Path());
    const std::wstring target = scratch / L"target";
    systest::MakeDir(target);
    WriteBytes(target + L"\\busy.dll", "old");
    WriteBytes(scratch / L"payload",
               BuildZip({{.name = "busy.dll", .data = "new", .crc = 0x12345678u},
                         {.name = "after.txt", .data = "after"}}));
    {
        const THeldFile held(target + L"\\busy.dll");
        ASSERT_TRUE(held.Held());
        TWin32ZipHost host;
        UnzipArchive(host, scratch / L"payload", target, L"415263");
        EXPECT_EQ(host.FilesStagedForRestart(), 0u);
    }
    EXPECT_EQ(ReadBytes(target + L"\\busy.dll"), "old");
    EXPECT_EQ(ReadBytes(target + L"\\after.txt"), "after");
    EXPECT_EQ(Names(target), (std::set<std::wstring>{L"busy.dll", L"after.txt"}));
    EXPECT_TRUE(systest::PendingRenamesUnder(scratch.Path()).empty());
}

TEST(ZipWin32HostTest, MissingArchiveNamesThePathAndTheSystemReason) {
    TScratchFolder scratch;
    try {
        UnzipArchive(scratch / L"none.zip", scratch / L"target", L"");
        ADD_FAILURE() << "no error";
    } catch (const EInstallerError& e) {
        const std::wstring prefix = L"Cannot open file \"" + (scratch / L"none.zip") + L"\". ";
        EXPECT_TRUE(e.Message().starts_with(prefix));
        EXPECT_GT(e.Message().size(), prefix.size());
    }
}

TEST(ZipWin32HostTest, WaitingMessagesAreDispatchedAndAQuitIsKept) {
    TScratchFolder scratch;
    PostThreadMessageW(GetCurrentThreadId(), WM_APP, 0, 0);
    PostQuitMessage(7);
    Extract(scratch, BuildZip({{.name = "a.txt", .data = "a"}}), scratch / L"target");
    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, UINT{WM_QUIT});
    EXPECT_EQ(msg.wParam, WPARAM{7});
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));

    // The pump runs at the first opportunity and then once its interval has passed: a pump
    // that itself takes longer than the interval runs at every one (the central record, the
    // selection and the data block). One thread: with more, another thread may take the
    // entry, and only the calling thread pumps.
    WriteBytes(scratch / L"payload", BuildZip({{.name = "b.txt", .data = "b"}}));
    int calls = 0;
    TWin32ZipHost slow(
        [&] {
            ++calls;
            Sleep(40);
        },
        1);
    UnzipArchive(slow, scratch / L"payload", scratch / L"target", L"");
    EXPECT_GE(calls, 3);

    // A quick pump over 200 entries, each offering at least three opportunities (both walks
    // of the directory and the data block), runs far less often than it is offered.
    std::vector<TEntry> many;
    for (int i = 0; i < 200; ++i)
        many.push_back({.name = "many/" + std::to_string(i) + ".txt", .data = "x"});
    WriteBytes(scratch / L"many.zip", BuildZip(many));
    calls = 0;
    TWin32ZipHost quick([&] { ++calls; });
    UnzipArchive(quick, scratch / L"many.zip", scratch / L"target", L"");
    EXPECT_GE(calls, 1);
    EXPECT_LT(calls, 150);
}

// Run once more under LC_ALL=zh_CN.UTF-8, where the OEM and ANSI code pages are both 936.
TEST(ZipWin32HostCodePageTest, GbkNamesWithoutTheUtf8FlagUnderCodePage936) {
    if (GetACP() != 936 || GetOEMCP() != 936)
        GTEST_SKIP() << "needs OEM and ANSI code page 936";
    TScratchFolder scratch;
    const std::wstring target = scratch / L"target";
    // 中文目录/淺色.txt: 淺 is 9C 5C, a trail byte that looks like "\".
    Extract(
        scratch,
        BuildZip(
            {{.name = "\xD6\xD0\xCE\xC4\xC4\xBF\xC2\xBC/", .data = "", .method = 0},
             {.name = "\xD6\xD0\xCE\xC4\xC4\xBF\xC2\xBC/\x9C\x5C\xC9\xAB.txt", .data = "light"},
             {.name = "\xB3\xCC\xD0\xF2/\xD6\xF7\xB3\xCC\xD0\xF2.exe", .data = "MZ", .method = 0}}),
        target);
    EXPECT_EQ(ReadBytes(target + L"\\\u4E2D\u6587\u76EE\u5F55\\\u6DFA\u8272.txt"), "light");
    EXPECT_EQ(ReadBytes(target + L"\\\u7A0B\u5E8F\\\u4E3B\u7A0B\u5E8F.exe"), "MZ");
}
