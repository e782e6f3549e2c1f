// The directory walk over real symbolic links, natively: links at the top, inside the tree
// and put in place of a folder after it was listed are removed, never followed.
#ifndef _WIN32

#include "sys/DirWalk.h"
#include "sys/Error.h"
#include "sys/PosixDirHost.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <string>

namespace fs = std::filesystem;

namespace {

// A fresh folder under the temporary directory, removed with everything in it (links as
// links) at the end.
class TScratch {
public:
    TScratch() {
        std::string pattern = (fs::temp_directory_path() / "dirwalk-XXXXXX").string();
        if (::mkdtemp(pattern.data()))
            root_ = pattern;
    }
    ~TScratch() {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }
    TScratch(const TScratch&) = delete;
    TScratch& operator=(const TScratch&) = delete;

    fs::path operator/(const char* relative) const { return root_ / relative; }
    bool Made() const { return !root_.empty(); }

private:
    fs::path root_;
};

std::wstring Wide(const fs::path& path) {
    const std::string narrow = path.string();
    return std::wstring(narrow.begin(), narrow.end());
}

void MakeFile(const fs::path& path) {
    std::ofstream(path) << "data";
}

// Whether something, a dangling link included, is at `path`.
bool Exists(const fs::path& path) {
    std::error_code ignored;
    return fs::symlink_status(path, ignored).type() != fs::file_type::not_found;
}

// A folder outside the tree under test with a file the walk must never reach.
fs::path MakeOutside(const TScratch& scratch) {
    const fs::path outside = scratch / "outside";
    fs::create_directories(outside / "inner");
    MakeFile(outside / "precious.txt");
    MakeFile(outside / "inner" / "precious.txt");
    return outside;
}

void ExpectOutsideIntact(const fs::path& outside) {
    EXPECT_TRUE(Exists(outside / "precious.txt"));
    EXPECT_TRUE(Exists(outside / "inner" / "precious.txt"));
}

// Passes everything to the POSIX host, calling `afterList` with a folder's path relative to
// the top once the walk has listed it (and before it opens any of its entries), and failing
// the removal of the entries `failRemove` names, as a file held open by another program
// fails on Windows.
class THookedHost final : public IDirHost {
public:
    std::function<void(const std::string& relative)> afterList;
    std::set<std::string> failRemove;

    std::unique_ptr<IDirEntry> OpenTop(const std::wstring& path, TDirOpenError& error) override {
        std::unique_ptr<IDirEntry> top = inner_.OpenTop(path, error);
        return top ? std::make_unique<TEntry>(*this, std::move(top), "") : nullptr;
    }

private:
    class TEntry final : public IDirEntry {
    public:
        TEntry(THookedHost& host, std::unique_ptr<IDirEntry> inner, std::string relative)
            : host_(host), inner_(std::move(inner)), relative_(std::move(relative)) {}
        TDirEntryKind Kind() const override { return inner_->Kind(); }
        bool List(std::vector<std::wstring>& names) override {
            const bool listed = inner_->List(names);
            if (host_.afterList)
                host_.afterList(relative_);
            return listed;
        }
        std::unique_ptr<IDirEntry> OpenChild(const std::wstring& name, bool& gone) override {
            std::unique_ptr<IDirEntry> child = inner_->OpenChild(name, gone);
            const std::string relative =
                (relative_.empty() ? "" : relative_ + "/") + std::string(name.begin(), name.end());
            return child ? std::make_unique<TEntry>(host_, std::move(child), relative) : nullptr;
        }
        bool Remove() override {
            if (host_.failRemove.count(relative_))
                return false;
            return inner_->Remove();
        }

    private:
        THookedHost& host_;
        std::unique_ptr<IDirEntry> inner_;
        std::string relative_;
    };

    TPosixDirHost inner_;
};

} // namespace

// A data or installation folder that is itself a link: its target's contents stay. Emptying
// keeps the link too; deleting removes just the link.
TEST(DirWalkTest, TopFolderThatIsALinkIsNeverEmptied) {
    const struct {
        const char* operation;
        std::function<bool(IDirHost&, const std::wstring&)> walk;
        bool result;
        bool linkKept;
    } cases[] = {
        {"clear", [](IDirHost& h, const std::wstring& p) { return WalkClearDirectory(h, p); },
         false, true},
        {"delete tree", [](IDirHost& h, const std::wstring& p) { return WalkDeleteTree(h, p); },
         true, false},
        {"delete directory",
         [](IDirHost& h, const std::wstring& p) { return WalkDeleteDirectory(h, p); }, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.operation);
        TScratch scratch;
        ASSERT_TRUE(scratch.Made());
        const fs::path outside = MakeOutside(scratch);
        const fs::path link = scratch / "data";
        fs::create_directory_symlink(outside, link);
        TPosixDirHost host;
        EXPECT_EQ(c.walk(host, Wide(link)), c.result);
        EXPECT_EQ(Exists(link), c.linkKept);
        ExpectOutsideIntact(outside);
        // Also named with a trailing separator, through which a lookup resolves the link.
        if (c.linkKept) {
            EXPECT_FALSE(c.walk(host, Wide(link) + L"/"));
            ExpectOutsideIntact(outside);
        }
    }
}

TEST(DirWalkTest, LinksInsideAreRemovedNotFollowed) {
    TScratch scratch;
    ASSERT_TRUE(scratch.Made());
    const fs::path outside = MakeOutside(scratch);
    const fs::path root = scratch / "app";
    fs::create_directories(root / "sub" / "deeper");
    fs::create_directories(root / ".data");
    MakeFile(root / ".data" / "settings.ini");
    MakeFile(root / "app.bin");
    MakeFile(root / "sub" / "deeper" / "x.txt");
    MakeFile(root / "sub" / ".hidden");
    // To a folder outside, a folder kept inside the tree, a file outside, and nothing.
    fs::create_directory_symlink(outside, root / "to-outside");
    fs::create_directory_symlink(outside, root / "sub" / "deeper" / "to-outside");
    fs::create_directory_symlink(root / ".data", root / "sub" / "to-data");
    fs::create_symlink(outside / "precious.txt", root / "to-file");
    fs::create_symlink(scratch / "nowhere", root / "sub" / "dangling");

    TPosixDirHost host;
    EXPECT_TRUE(WalkClearDirectory(host, Wide(root)));
    for (const char* gone : {"app.bin", "sub", "to-outside", "to-file"})
        EXPECT_FALSE(Exists(root / gone)) << gone;
    EXPECT_TRUE(Exists(root / ".data" / "settings.ini"));
    ExpectOutsideIntact(outside);

    // Deleting the whole tree takes the kept folder too, still not the link targets.
    fs::create_directory_symlink(outside, root / ".data" / "to-outside");
    EXPECT_TRUE(WalkDeleteDirectory(host, Wide(root)));
    EXPECT_FALSE(Exists(root));
    ExpectOutsideIntact(outside);
}

// A folder replaced by a link between the listing of its parent and the walk's entering it,
// at the top level and deeper down, to a folder and to a file.
TEST(DirWalkTest, FolderSwappedForLinkAfterListingIsNotFollowed) {
    const struct {
        const char* swapped; // relative to the tree's top
        const char* parent;  // whose listing comes before the swap
        bool toFile;
    } cases[] = {
        {"a", "", false},
        {"sub/b", "sub", false},
        {"sub/b", "sub", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.swapped);
        for (bool clear : {true, false}) {
            SCOPED_TRACE(clear ? "clear" : "delete directory");
            TScratch scratch;
            ASSERT_TRUE(scratch.Made());
            const fs::path outside = MakeOutside(scratch);
            const fs::path root = scratch / "app";
            fs::create_directories(root / "a");
            fs::create_directories(root / "sub" / "b");
            MakeFile(root / "a" / "f.txt");
            MakeFile(root / "sub" / "b" / "f.txt");
            const fs::path swapped = root / c.swapped;
            const fs::path movedAway = scratch / "moved-away";

            THookedHost host;
            bool swappedOnce = false;
            host.afterList = [&](const std::string& relative) {
                if (relative != c.parent || swappedOnce)
                    return;
                swappedOnce = true;
                fs::rename(swapped, movedAway);
                if (c.toFile)
                    fs::create_symlink(outside / "precious.txt", swapped);
                else
                    fs::create_directory_symlink(outside, swapped);
            };
            EXPECT_TRUE(clear ? WalkClearDirectory(host, Wide(root))
                              : WalkDeleteDirectory(host, Wide(root)));
            EXPECT_TRUE(swappedOnce);
            EXPECT_FALSE(Exists(swapped));
            EXPECT_EQ(Exists(root), clear);
            ExpectOutsideIntact(outside);
            // The real folder went out of the tree with the swap: not the walk's any more.
            EXPECT_TRUE(Exists(movedAway / "f.txt"));
        }
    }
}

// An entry that cannot be removed is left with the folders that hold it. Emptying reports it
// from any depth; deleting a tree reports only whether the listing could start.
TEST(DirWalkTest, EntryThatCannotBeRemovedIsLeftAndReported) {
    TScratch scratch;
    ASSERT_TRUE(scratch.Made());
    const fs::path root = scratch / "app";
    fs::create_directories(root / "sub" / "deeper");
    fs::create_directories(root / "other");
    MakeFile(root / "sub" / "deeper" / "locked.bin");
    MakeFile(root / "sub" / "deeper" / "free.bin");
    MakeFile(root / "other" / "free.bin");

    THookedHost host;
    host.failRemove = {"sub/deeper/locked.bin"};
    EXPECT_FALSE(WalkClearDirectory(host, Wide(root)));
    EXPECT_TRUE(Exists(root / "sub" / "deeper" / "locked.bin"));
    EXPECT_FALSE(Exists(root / "sub" / "deeper" / "free.bin"));
    EXPECT_FALSE(Exists(root / "other"));

    EXPECT_TRUE(WalkDeleteTree(host, Wide(root)));
    EXPECT_TRUE(Exists(root / "sub" / "deeper" / "locked.bin"));

    host.failRemove.clear();
    EXPECT_TRUE(WalkClearDirectory(host, Wide(root)));
    EXPECT_FALSE(Exists(root / "sub"));
    EXPECT_TRUE(Exists(root));
    // Now empty, the top goes with the tree.
    EXPECT_TRUE(WalkDeleteTree(host, Wide(root)));
    EXPECT_FALSE(Exists(root));
}

TEST(DirWalkTest, TopThatIsMissingOrAFile) {
    TScratch scratch;
    ASSERT_TRUE(scratch.Made());
    MakeFile(scratch / "file.txt");
    TPosixDirHost host;
    const struct {
        const char* name;
        int code;
    } cases[] = {{"missing", ENOENT}, {"file.txt", ENOTDIR}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::wstring path = Wide(scratch / c.name);
        try {
            WalkDeleteTree(host, path);
            ADD_FAILURE() << "no error";
        } catch (const EInOutError& e) {
            EXPECT_EQ(e.ErrorCode(), static_cast<unsigned long>(c.code));
            EXPECT_NE(e.Message().find(path), std::wstring::npos);
        }
        EXPECT_TRUE(WalkClearDirectory(host, path));
        EXPECT_FALSE(WalkDeleteDirectory(host, path));
    }
    EXPECT_TRUE(Exists(scratch / "file.txt"));
}

#endif // _WIN32
