#include "sys/MyCommonFuns.h"

#include "sys/ComPtr.h"
#include "sys/Error.h"
#include "SysTestSupport.h"

#include <shlobj.h>

#include <gtest/gtest.h>

#include <thread>

using systest::PathExists;
using systest::TScratchFolder;

namespace {

struct TLinkContents {
    std::wstring path;
    std::wstring workingDirectory;
};

// Loads a saved shortcut through the shell's own link interfaces.
std::optional<TLinkContents> LoadLink(const std::wstring& linkPath) {
    TComPtr<IShellLinkW> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                link.Put())))
        return std::nullopt;
    const TComPtr<IPersistFile> file = link.Query<IPersistFile>(IID_IPersistFile);
    if (!file || FAILED(file->Load(linkPath.c_str(), STGM_READ)))
        return std::nullopt;
    wchar_t path[MAX_PATH] = {}, directory[MAX_PATH] = {};
    link->GetPath(path, MAX_PATH, nullptr, SLGP_RAWPATH);
    link->GetWorkingDirectory(directory, MAX_PATH);
    return TLinkContents{path, directory};
}

std::wstring Unique(const std::wstring& stem) {
    return stem + std::to_wstring(GetCurrentProcessId());
}

class ShortcutsTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        desktop_ = GetSpecialFolder(CSIDL_DESKTOP);
        programs_ = GetSpecialFolder(CSIDL_PROGRAMS);
        ASSERT_FALSE(desktop_.empty());
        ASSERT_FALSE(programs_.empty());
    }
    void TearDown() override {
        for (const std::wstring& path : created_)
            DeleteFileW(path.c_str());
        for (const std::wstring& folder : folders_)
            systest::RemoveTree(folder);
        CoUninitialize();
    }
    // Registers a file or folder that the test may leave in the user's folders.
    const std::wstring& Created(const std::wstring& path) { return created_.emplace_back(path); }
    void FolderCreated(const std::wstring& path) { folders_.push_back(path); }

    std::wstring desktop_, programs_;

private:
    std::vector<std::wstring> created_, folders_;
};

} // namespace

TEST_F(ShortcutsTest, TheNameRule) {
    struct TCase {
        const wchar_t* target;
        const wchar_t* name;
        const wchar_t* expected;
    };
    const TCase cases[] = {
        {L"C:\\Program Files\\P\\app.tool.exe", L"", L"app.tool"},
        {L"C:\\P\\tool", L"", L"tool"},
        {L"C:\\dotted.dir\\tool", L"", L"tool"},
        {L"C:\\P\\.hidden", L"", L""},
        {L"C:\\P\\app.exe", L"My App", L"My App"},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(ShortcutName(c.target, c.name), c.expected)
            << "target " << testing::PrintToString(std::wstring(c.target));
    EXPECT_EQ(DesktopShortcutPath(L"C:\\P\\app.tool.exe", L""), desktop_ + L"/app.tool.lnk");
    EXPECT_EQ(ProgramsShortcutPath(L"C:\\P\\app.exe", L"", L""), programs_ + L"\\\\app.lnk");
}

TEST_F(ShortcutsTest, DesktopShortcutLoadsBackAndIsReplaced) {
    TScratchFolder scratch;
    const std::wstring first = scratch / Unique(L"app.tool") + L".exe";
    const std::wstring second = scratch / L"other.exe";
    systest::WriteBytes(first, "MZ");
    systest::WriteBytes(second, "MZ");
    const std::wstring link = Created(desktop_ + L"\\" + Unique(L"app.tool") + L".lnk");

    ASSERT_TRUE(CreateDesktopShortcut(first, L""));
    std::optional<TLinkContents> contents = LoadLink(link);
    ASSERT_TRUE(contents);
    EXPECT_EQ(contents->path, first);
    EXPECT_EQ(contents->workingDirectory, scratch.Path() + L"\\");

    // The same name for another target replaces the file.
    ASSERT_TRUE(CreateDesktopShortcut(second, Unique(L"app.tool")));
    contents = LoadLink(link);
    ASSERT_TRUE(contents);
    EXPECT_EQ(contents->path, second);
}

TEST_F(ShortcutsTest, ProgramsShortcutMakesItsSubFolder) {
    TScratchFolder scratch;
    const std::wstring target = scratch / L"prog.exe";
    systest::WriteBytes(target, "MZ");
    const std::wstring top = programs_ + L"\\" + Unique(L"Vendor");
    FolderCreated(top);
    const std::wstring subFolder = Unique(L"Vendor") + L"\\Product";
    const std::wstring link = top + L"\\Product\\Start Prog.lnk";

    ASSERT_TRUE(CreateProgramsShortcut(target, subFolder, L"Start Prog"));
    const std::optional<TLinkContents> contents = LoadLink(link);
    ASSERT_TRUE(contents);
    EXPECT_EQ(contents->path, target);
    EXPECT_EQ(contents->workingDirectory, scratch.Path() + L"\\");
}

TEST_F(ShortcutsTest, AnEmptySubFolderSavesInTheProgramsFolderItself) {
    TScratchFolder scratch;
    const std::wstring target = scratch / Unique(L"direct") + L".exe";
    systest::WriteBytes(target, "MZ");
    const std::wstring link = Created(programs_ + L"\\" + Unique(L"direct") + L".lnk");

    ASSERT_TRUE(CreateProgramsShortcut(target, L"", L""));
    const std::optional<TLinkContents> contents = LoadLink(link);
    ASSERT_TRUE(contents);
    EXPECT_EQ(contents->path, target);
}

TEST_F(ShortcutsTest, AMissingTargetCreatesNothing) {
    TScratchFolder scratch;
    const std::wstring target = scratch / Unique(L"missing") + L".exe";
    EXPECT_FALSE(CreateDesktopShortcut(target, L""));
    EXPECT_FALSE(PathExists(Created(desktop_ + L"\\" + Unique(L"missing") + L".lnk")));
    const std::wstring folder = programs_ + L"\\" + Unique(L"MissingVendor");
    FolderCreated(folder);
    EXPECT_FALSE(CreateProgramsShortcut(target, Unique(L"MissingVendor"), L""));
    EXPECT_FALSE(PathExists(folder));
}

TEST_F(ShortcutsTest, WithoutTheShellObjectAnErrorIsRaisedAndNothingSaved) {
    TScratchFolder scratch;
    const std::wstring target = scratch / Unique(L"nocom") + L".exe";
    systest::WriteBytes(target, "MZ");
    const std::wstring link = Created(desktop_ + L"\\" + Unique(L"nocom") + L".lnk");
    // A thread that never initialised COM cannot create the link object.
    bool raised = false;
    std::thread([&] {
        try {
            CreateDesktopShortcut(target, L"");
        } catch (const EInstallerError& e) {
            raised = !e.Message().empty();
        }
    }).join();
    EXPECT_TRUE(raised);
    EXPECT_FALSE(PathExists(link));
}
