#include "sys/MyCommonFuns.h"

#include "sys/DirWalk.h"
#include "sys/Error.h"
#include "sys/Win32DirHost.h"
#include "sys/Win32Handle.h"
#include "PendingRenames.h"
#include "SysTestSupport.h"

#include <gtest/gtest.h>

#include <functional>
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

// Makes `link` a directory symbolic link to `target`; false where the system cannot (Wine,
// or Windows without the privilege or developer mode).
bool MakeDirectoryLink(const std::wstring& link, const std::wstring& target) {
    constexpr DWORD kAllowUnprivileged = 0x2;
    if (!CreateSymbolicLinkW(link.c_str(), target.c_str(),
                             SYMBOLIC_LINK_FLAG_DIRECTORY | kAllowUnprivileged) &&
        !CreateSymbolicLinkW(link.c_str(), target.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY))
        return false;
    const DWORD attributes = GetFileAttributesW(link.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// The Windows host with a hook called once the walk has listed a folder (by its path) and
// before it opens any of that folder's entries.
class THookedWin32Host final : public IDirHost {
public:
    std::function<void(const std::wstring& path)> afterList;
    // Entries (by path) whose removal fails as if the rights to delete them were missing.
    std::vector<std::wstring> refuseRemoval;

    std::unique_ptr<IDirEntry> OpenTop(const std::wstring& path, TDirOpenError& error) override {
        std::unique_ptr<IDirEntry> top = inner_.OpenTop(path, error);
        return top ? std::make_unique<TEntry>(*this, std::move(top), path) : nullptr;
    }

private:
    class TEntry final : public IDirEntry {
    public:
        TEntry(THookedWin32Host& host, std::unique_ptr<IDirEntry> inner, std::wstring path)
            : host_(host), inner_(std::move(inner)), path_(std::move(path)) {}
        TDirEntryKind Kind() const override { return inner_->Kind(); }
        bool List(std::vector<std::wstring>& names) override {
            const bool listed = inner_->List(names);
            if (host_.afterList)
                host_.afterList(path_);
            return listed;
        }
        std::unique_ptr<IDirEntry> OpenChild(const std::wstring& name, bool& gone) override {
            std::unique_ptr<IDirEntry> child = inner_->OpenChild(name, gone);
            return child ? std::make_unique<TEntry>(host_, std::move(child), path_ + L"\\" + name)
                         : nullptr;
        }
        bool Remove() override {
            for (const std::wstring& refused : host_.refuseRemoval)
                if (refused == path_)
                    return false;
            return inner_->Remove();
        }
        bool RemoveChildAtRestart(const std::wstring& name, bool evenIfNotInUse) override {
            return inner_->RemoveChildAtRestart(name, evenIfNotInUse);
        }

    private:
        THookedWin32Host& host_;
        std::unique_ptr<IDirEntry> inner_;
        std::wstring path_;
    };

    TWin32DirHost inner_;
};

} // namespace

// Files that other programs hold open cannot go now: each is scheduled for deletion at the
// next restart, after it the folder left holding only it, and neither counts as a failure.
// The uninstaller's own file (`keepName`) is neither deleted nor scheduled.
TEST(DirTreeTest, ClearDirectoryKeepsDotEntriesAndSchedulesFilesInUse) {
    TScratchFolder scratch;
    const systest::TPendingRenamesCleanup cleanup(scratch.Path());
    const std::wstring root = scratch / L"target";
    MakeTree(root);
    MakeFile(root + L"\\locked.bin");
    MakeFile(root + L"\\unin.exe");
    MakeDir(root + L"\\busy");
    MakeFile(root + L"\\busy\\free.txt");
    MakeFile(root + L"\\busy\\held.dll");
    ASSERT_TRUE(SetCurrentDirectoryW(scratch.Path().c_str()));
    const std::wstring before = systest::CurrentDir();
    {
        // Held open without sharing, as a running program holds its own files.
        auto hold = [](const std::wstring& path) {
            return THandle(
                CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        };
        const THandle locked = hold(root + L"\\locked.bin");
        const THandle held = hold(root + L"\\busy\\held.dll");
        const THandle own = hold(root + L"\\unin.exe");
        ASSERT_TRUE(locked && held && own);
        unsigned scheduled = 0;
        EXPECT_TRUE(ClearDirectory(root, &scheduled, L"UNIN.EXE"));
        EXPECT_EQ(scheduled, 3u);
        EXPECT_EQ(systest::CurrentDir(), before);

        for (const wchar_t* kept : {L"", L"\\.keep", L"\\.config", L"\\.config\\inner.txt",
                                    L"\\locked.bin", L"\\unin.exe", L"\\busy\\held.dll"})
            EXPECT_TRUE(PathExists(root + kept)) << kept;
        for (const wchar_t* gone : {L"\\app.exe", L"\\readonly.dll", L"\\hidden.dat", L"\\empty",
                                    L"\\sub", L"\\busy\\free.txt"})
            EXPECT_FALSE(PathExists(root + gone)) << gone;

        // Deletions (no target), the file before its folder; nothing for the kept file.
        std::vector<std::wstring> sources;
        for (const systest::TPendingRename& pair : systest::PendingRenamesUnder(scratch.Path())) {
            EXPECT_TRUE(pair.second.empty());
            sources.push_back(pair.first);
        }
        auto position = [&](const std::wstring& path) {
            for (std::size_t i = 0; i < sources.size(); ++i)
                if (CompareStringOrdinal(sources[i].c_str(), -1, (L"\\??\\" + path).c_str(), -1,
                                         TRUE) == CSTR_EQUAL)
                    return static_cast<int>(i);
            return -1;
        };
        ASSERT_EQ(sources.size(), 3u);
        EXPECT_GE(position(root + L"\\locked.bin"), 0);
        EXPECT_GE(position(root + L"\\busy\\held.dll"), 0);
        EXPECT_GT(position(root + L"\\busy"), position(root + L"\\busy\\held.dll"));
    }
    systest::ForgetPendingRenamesUnder(scratch.Path());
    // Once the files are let go a second pass deletes them and still keeps the dot entries.
    unsigned scheduled = 0;
    EXPECT_TRUE(ClearDirectory(root, &scheduled));
    EXPECT_EQ(scheduled, 0u);
    EXPECT_FALSE(PathExists(root + L"\\locked.bin"));
    EXPECT_FALSE(PathExists(root + L"\\busy"));
    EXPECT_TRUE(PathExists(root + L"\\.keep"));
    EXPECT_TRUE(PathExists(root + L"\\.config\\inner.txt"));
    EXPECT_TRUE(systest::PendingRenamesUnder(scratch.Path()).empty());
    EXPECT_EQ(systest::CurrentDir(), before);
}

// A file the walk may not delete for want of rights is not in use: it stays a failure and
// nothing is scheduled, in the folder emptied and in the one deleted alike.
TEST(DirTreeTest, AFileThatCannotBeDeletedButIsNotInUseIsAFailure) {
    TScratchFolder scratch;
    const systest::TPendingRenamesCleanup cleanup(scratch.Path());
    const std::wstring root = scratch / L"target";
    MakeDir(root);
    MakeFile(root + L"\\denied.dll");
    MakeDir(root + L"\\sub");
    MakeFile(root + L"\\sub\\denied.txt");
    THookedWin32Host host;
    host.refuseRemoval = {root + L"\\denied.dll", root + L"\\sub\\denied.txt"};
    unsigned scheduled = 0;
    EXPECT_FALSE(WalkClearDirectory(host, root, &scheduled));
    EXPECT_EQ(scheduled, 0u);
    EXPECT_TRUE(PathExists(root + L"\\denied.dll"));
    EXPECT_TRUE(PathExists(root + L"\\sub\\denied.txt"));
    EXPECT_TRUE(systest::PendingRenamesUnder(scratch.Path()).empty());
}

// The uninstaller empties folders on its window's thread: the host calls the pump it is given
// before each entry it opens, and the walk's outcome is the one without a pump.
TEST(DirTreeTest, TheHostCallsItsPumpBeforeEachEntryAndTheOutcomeStaysTheSame) {
    TScratchFolder scratch;
    const std::wstring root = scratch / L"target";
    MakeTree(root);
    constexpr int kFolders = 3, kFilesEach = 40;
    for (int folder = 0; folder < kFolders; ++folder) {
        const std::wstring dir = root + L"\\many" + std::to_wstring(folder);
        MakeDir(dir);
        for (int file = 0; file < kFilesEach; ++file)
            MakeFile(dir + L"\\f" + std::to_wstring(file) + L".txt");
    }
    unsigned pumps = 0;
    TWin32DirHost host([&pumps] { ++pumps; });
    unsigned scheduled = 0;
    EXPECT_TRUE(WalkClearDirectory(host, root, &scheduled));
    EXPECT_EQ(scheduled, 0u);
    EXPECT_GE(pumps, static_cast<unsigned>(kFolders * (kFilesEach + 1)));
    for (const wchar_t* kept : {L"\\.keep", L"\\.config\\inner.txt"})
        EXPECT_TRUE(PathExists(root + kept)) << kept;
    for (const wchar_t* gone : {L"\\app.exe", L"\\sub", L"\\many0", L"\\many2"})
        EXPECT_FALSE(PathExists(root + gone)) << gone;
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
    MakeFile(scratch / L"file.txt");
    try {
        DeleteDirTree(scratch / L"file.txt");
        FAIL() << "no error for a file";
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.ErrorCode(), static_cast<unsigned long>(ERROR_DIRECTORY));
    }
    EXPECT_TRUE(PathExists(scratch / L"file.txt"));
    EXPECT_EQ(systest::CurrentDir(), before);
}

// A file held open against deletion (here one that shares reading, which the walk can open
// but not delete) is scheduled from any depth, and so are the folders left holding it, inner
// ones first; read-only folders go like read-only files.
TEST(DirTreeTest, ClearDirectorySchedulesWhatItLeavesAtAnyDepth) {
    TScratchFolder scratch;
    const systest::TPendingRenamesCleanup cleanup(scratch.Path());
    const std::wstring root = scratch / L"target";
    MakeDir(root);
    MakeDir(root + L"\\sub");
    MakeDir(root + L"\\sub\\deeper");
    MakeFile(root + L"\\sub\\deeper\\locked.bin");
    MakeFile(root + L"\\sub\\deeper\\free.bin", FILE_ATTRIBUTE_READONLY);
    MakeDir(root + L"\\rodir");
    MakeDir(root + L"\\rodir\\inner");
    MakeFile(root + L"\\rodir\\inner\\x.txt");
    ASSERT_TRUE(SetFileAttributesW((root + L"\\rodir\\inner").c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(SetFileAttributesW((root + L"\\rodir").c_str(), FILE_ATTRIBUTE_READONLY));
    {
        const THandle lock(CreateFileW((root + L"\\sub\\deeper\\locked.bin").c_str(), GENERIC_READ,
                                       FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(lock);
        unsigned scheduled = 0;
        EXPECT_TRUE(ClearDirectory(root, &scheduled));
        EXPECT_EQ(scheduled, 3u);
        EXPECT_TRUE(PathExists(root + L"\\sub\\deeper\\locked.bin"));
        EXPECT_FALSE(PathExists(root + L"\\sub\\deeper\\free.bin"));
        EXPECT_FALSE(PathExists(root + L"\\rodir"));
        std::vector<std::wstring> sources;
        for (const systest::TPendingRename& pair : systest::PendingRenamesUnder(scratch.Path()))
            sources.push_back(pair.first);
        const std::wstring nt = L"\\??\\" + root;
        EXPECT_EQ(sources, (std::vector<std::wstring>{nt + L"\\sub\\deeper\\locked.bin",
                                                      nt + L"\\sub\\deeper", nt + L"\\sub"}));
    }
    systest::ForgetPendingRenamesUnder(scratch.Path());
    EXPECT_TRUE(ClearDirectory(root));
    EXPECT_FALSE(PathExists(root + L"\\sub"));
}

// Listing goes through the folder's handle, in several reads when the names fill more than
// one buffer; names outside ASCII come back exactly.
TEST(DirTreeTest, HandleListingSeesEveryEntry) {
    TScratchFolder scratch;
    const std::wstring root = scratch / L"many";
    MakeDir(root);
    const std::wstring longName(150, L'n');
    for (int i = 0; i < 300; ++i)
        MakeFile(root + L"\\" + longName + std::to_wstring(i));
    const std::wstring unicode = root + L"\\donn\u00e9es \u4e2d\u6587";
    MakeDir(unicode);
    MakeFile(unicode + L"\\\u00e9t\u00e9.txt");
    EXPECT_TRUE(ClearDirectory(root));
    EXPECT_TRUE(PathExists(root));
    WIN32_FIND_DATAW entry;
    const TFindHandle listing(FindFirstFileW((root + L"\\*").c_str(), &entry));
    ASSERT_TRUE(listing);
    int left = 0;
    do
        ++left;
    while (FindNextFileW(listing.Get(), &entry));
    EXPECT_EQ(left, 2) << "left: " << entry.cFileName;
}

// The walk holds the folder it is in: that folder cannot be renamed (and so not replaced by a
// link) until the walk leaves it. A folder replaced after the listing is judged by what is
// there when it is opened.
TEST(DirTreeTest, WalkHoldsItsFoldersAndJudgesEntriesWhenOpened) {
    TScratchFolder scratch;
    const std::wstring root = scratch / L"target";
    MakeDir(root);
    MakeDir(root + L"\\sub");
    MakeFile(root + L"\\sub\\x.txt");
    MakeDir(root + L"\\swapped");
    MakeFile(root + L"\\swapped\\keep.txt");
    const std::wstring movedAway = scratch / L"moved-away";

    THookedWin32Host host;
    DWORD renameError = 0;
    bool swapped = false;
    host.afterList = [&](const std::wstring& path) {
        if (path == root) {
            // Listed as a folder; a file by the time the walk opens it.
            swapped = MoveFileW((root + L"\\swapped").c_str(), movedAway.c_str()) != FALSE;
            if (swapped)
                systest::WriteBytes(root + L"\\swapped", "not a folder");
        } else if (path == root + L"\\sub") {
            if (MoveFileW(path.c_str(), (scratch / L"sub-renamed").c_str()))
                renameError = ERROR_SUCCESS;
            else
                renameError = GetLastError();
        }
    };
    EXPECT_TRUE(WalkClearDirectory(host, root));
    EXPECT_TRUE(swapped);
    EXPECT_TRUE(renameError == ERROR_SHARING_VIOLATION || renameError == ERROR_ACCESS_DENIED)
        << "renaming the folder being walked: " << renameError;
    EXPECT_FALSE(PathExists(scratch / L"sub-renamed"));
    EXPECT_FALSE(PathExists(root + L"\\sub"));
    EXPECT_FALSE(PathExists(root + L"\\swapped"));
    EXPECT_TRUE(PathExists(movedAway + L"\\keep.txt"));
}

// A data folder that is itself a link is not emptied; deleting it removes only the link.
TEST(DirTreeTest, TopFolderThatIsALinkKeepsItsTarget) {
    TScratchFolder scratch;
    const std::wstring outside = scratch / L"outside";
    MakeDir(outside);
    MakeFile(outside + L"\\precious.txt");
    const std::wstring link = scratch / L"data";
    if (!MakeDirectoryLink(link, outside))
        GTEST_SKIP() << "this system makes no directory links that are reparse points";
    EXPECT_FALSE(ClearDirectory(link));
    EXPECT_FALSE(ClearDirectory(link + L"\\"));
    EXPECT_TRUE(PathExists(link));
    EXPECT_TRUE(PathExists(outside + L"\\precious.txt"));
    EXPECT_TRUE(DeleteDirectory(link));
    EXPECT_FALSE(PathExists(link));
    EXPECT_TRUE(PathExists(outside + L"\\precious.txt"));
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
