#include "sys/MyCommonFuns.h"

#include "sys/Error.h"
#include "sys/Win32Handle.h"
#include "SysTestSupport.h"

#include <gtest/gtest.h>

#include <vector>

using systest::MakeDir;
using systest::PathExists;
using systest::TScratchFolder;

namespace {

void MakeFile(const std::wstring& path, DWORD attributes = 0) {
    systest::WriteBytes(path, "data");
    if (attributes) {
        ASSERT_TRUE(SetFileAttributesW(path.c_str(), attributes));
    }
}

// An installation directory as the uninstaller meets it: files with every protective
// attribute, dot-named entries at several depths, empty and nested sub-directories.
void MakeTree(const std::wstring& root) {
    MakeDir(root);
    MakeFile(root + L"\\app.exe");
    MakeFile(root + L"\\readonly.dll", FILE_ATTRIBUTE_READONLY);
    MakeFile(root + L"\\hidden.dat", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    MakeFile(root + L"\\.keep");
    MakeDir(root + L"\\.config");
    MakeFile(root + L"\\.config\\inner.txt");
    MakeDir(root + L"\\empty");
    MakeDir(root + L"\\sub");
    MakeFile(root + L"\\sub\\x.txt");
    MakeFile(root + L"\\sub\\.hidden");
    MakeDir(root + L"\\sub\\deeper");
    MakeFile(root + L"\\sub\\deeper\\ro.txt", FILE_ATTRIBUTE_READONLY);
    MakeDir(root + L"\\sub\\deeper\\.dotdir");
    MakeFile(root + L"\\sub\\deeper\\.dotdir\\y.txt");
    MakeDir(root + L"\\sub\\deeper\\.dotdir\\.more");
}

} // namespace

TEST(DirTreeTest, ClearDirectoryKeepsDotEntriesAndLockedFiles) {
    TScratchFolder scratch;
    const std::wstring root = scratch / L"target";
    MakeTree(root);
    MakeFile(root + L"\\locked.bin");
    ASSERT_TRUE(SetCurrentDirectoryW(scratch.Path().c_str()));
    const std::wstring before = systest::CurrentDir();
    {
        // Held open without sharing, as the running uninstaller holds its own file.
        const THandle lock(CreateFileW((root + L"\\locked.bin").c_str(), GENERIC_READ, 0, nullptr,
                                       OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(lock);
        EXPECT_FALSE(ClearDirectory(root));
        EXPECT_EQ(systest::CurrentDir(), before);

        for (const wchar_t* kept :
             {L"", L"\\.keep", L"\\.config", L"\\.config\\inner.txt", L"\\locked.bin"})
            EXPECT_TRUE(PathExists(root + kept)) << kept;
        for (const wchar_t* gone :
             {L"\\app.exe", L"\\readonly.dll", L"\\hidden.dat", L"\\empty", L"\\sub"})
            EXPECT_FALSE(PathExists(root + gone)) << gone;
    }
    // Once the lock is gone a second pass succeeds and still keeps the dot entries.
    EXPECT_TRUE(ClearDirectory(root));
    EXPECT_FALSE(PathExists(root + L"\\locked.bin"));
    EXPECT_TRUE(PathExists(root + L"\\.keep"));
    EXPECT_TRUE(PathExists(root + L"\\.config\\inner.txt"));
    EXPECT_EQ(systest::CurrentDir(), before);
}

TEST(DirTreeTest, ClearDirectoryOfMissingOrEmptyDirectoryIsTrue) {
    TScratchFolder scratch;
    EXPECT_TRUE(ClearDirectory(scratch / L"missing"));
    MakeDir(scratch / L"empty");
    EXPECT_TRUE(ClearDirectory(scratch / L"empty"));
    EXPECT_TRUE(PathExists(scratch / L"empty"));
}

TEST(DirTreeTest, DeleteDirTreeOfEmptyDirectoryRemovesIt) {
    TScratchFolder scratch;
    MakeDir(scratch / L"empty");
    ASSERT_TRUE(SetCurrentDirectoryW(scratch.Path().c_str()));
    const std::wstring before = systest::CurrentDir();
    EXPECT_TRUE(DeleteDirTree(scratch / L"empty"));
    EXPECT_FALSE(PathExists(scratch / L"empty"));
    EXPECT_EQ(systest::CurrentDir(), before);
}

TEST(DirTreeTest, DeleteDirectoryRemovesTheWholeTree) {
    TScratchFolder scratch;
    const std::wstring root = scratch / L"tree";
    MakeTree(root);
    MakeFile(scratch / L"beside.txt");
    ASSERT_TRUE(SetCurrentDirectoryW(scratch.Path().c_str()));
    const std::wstring before = systest::CurrentDir();
    EXPECT_TRUE(DeleteDirectory(root));
    EXPECT_FALSE(PathExists(root));
    EXPECT_TRUE(PathExists(scratch / L"beside.txt"));
    EXPECT_EQ(systest::CurrentDir(), before);

    EXPECT_FALSE(DeleteDirectory(scratch / L"missing"));
    EXPECT_FALSE(DeleteDirectory(scratch / L"beside.txt"));
    EXPECT_TRUE(PathExists(scratch / L"beside.txt"));
}

TEST(DirTreeTest, DeleteDirTreeEmptiesEveryDepthButLeavesAFilledTop) {
    TScratchFolder scratch;
    const std::wstring root = scratch / L"tree";
    MakeTree(root);
    EXPECT_TRUE(DeleteDirTree(root + L"\\"));
    // Dot entries go too; only the top, which was not empty, is left for its caller to remove.
    EXPECT_TRUE(PathExists(root));
    WIN32_FIND_DATAW entry;
    const TFindHandle listing(FindFirstFileW((root + L"\\*").c_str(), &entry));
    ASSERT_TRUE(listing);
    std::vector<std::wstring> names;
    do
        names.push_back(entry.cFileName);
    while (FindNextFileW(listing.Get(), &entry));
    EXPECT_EQ(names.size(), 2u) << "left: " << names.back();
}

TEST(DirTreeTest, WalkThatCannotEnterRaisesInOutError) {
    TScratchFolder scratch;
    ASSERT_TRUE(SetCurrentDirectoryW(scratch.Path().c_str()));
    const std::wstring before = systest::CurrentDir();
    try {
        DeleteDirTree(scratch / L"missing");
        FAIL() << "no error for a missing directory";
    } catch (const EInOutError& e) {
        EXPECT_TRUE(e.ErrorCode() == ERROR_FILE_NOT_FOUND || e.ErrorCode() == ERROR_PATH_NOT_FOUND)
            << e.ErrorCode();
        EXPECT_FALSE(e.Message().empty());
    }
    EXPECT_EQ(systest::CurrentDir(), before);
}

// A junction inside the directory must go as a link: what it points to is not ours to delete.
TEST(DirTreeTest, DirectoryLinksAreRemovedNotFollowed) {
    TScratchFolder scratch;
    const std::wstring outside = scratch / L"outside";
    MakeDir(outside);
    MakeFile(outside + L"\\precious.txt");
    const std::wstring root = scratch / L"target";
    MakeDir(root);
    MakeDir(root + L"\\sub");
    const std::wstring links[] = {root + L"\\link", root + L"\\sub\\link"};
    for (const std::wstring& link : links) {
        if (!CreateSymbolicLinkW(link.c_str(), outside.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY))
            GTEST_SKIP() << "this system makes no directory links (error " << GetLastError() << ")";
        const DWORD attributes = GetFileAttributesW(link.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
            GTEST_SKIP() << "directory links are not reported as reparse points here";
    }
    EXPECT_TRUE(ClearDirectory(root));
    EXPECT_FALSE(PathExists(links[0]));
    EXPECT_FALSE(PathExists(root + L"\\sub"));
    EXPECT_TRUE(PathExists(outside + L"\\precious.txt"));
}
