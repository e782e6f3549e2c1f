// The uninstaller removes a shortcut only when it points to this installation's file: a copy of
// unin.exe run from another folder leaves the real installation's "Uninstall" shortcut.

#include "install/ProtectedFolders.h"
#include "install/UninstallShortcuts.h"
#include "sys/MyCommonFuns.h"
#include "sys/ShortcutTarget.h"
#include "SysTestSupport.h"

#include <shlobj.h>

#include <gtest/gtest.h>

using systest::PathExists;
using systest::TScratchFolder;

namespace {

class UninstallShortcutsTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        programs_ = GetSpecialFolder(CSIDL_PROGRAMS);
        ASSERT_FALSE(programs_.empty());
        subFolder_ = L"UninstallShortcutsTest" + std::to_wstring(GetCurrentProcessId());
        // The real installation and a stray copy of its uninstaller elsewhere.
        systest::MakeDir(scratch_ / L"Installed Product");
        systest::MakeDir(scratch_ / L"Downloads");
        installed_ = scratch_ / L"Installed Product\\unin.exe";
        stray_ = scratch_ / L"Downloads\\unin.exe";
        systest::WriteBytes(installed_, "MZ");
        systest::WriteBytes(stray_, "MZ");
        ASSERT_TRUE(CreateProgramsShortcut(installed_, subFolder_, L"Uninstall"));
        link_ = ProgramsShortcutPath(installed_, subFolder_, L"Uninstall");
        ASSERT_TRUE(PathExists(link_));
    }
    void TearDown() override {
        systest::RemoveTree(programs_ + L"\\" + subFolder_);
        CoUninitialize();
    }

    TScratchFolder scratch_;
    std::wstring programs_, subFolder_, installed_, stray_, link_;
};

} // namespace

TEST_F(UninstallShortcutsTest, TheTargetIsReadBack) {
    const std::optional<std::wstring> target = ReadShortcutTarget(link_);
    ASSERT_TRUE(target);
    EXPECT_TRUE(SamePath(*target, installed_)) << testing::PrintToString(*target);
    EXPECT_FALSE(ReadShortcutTarget(scratch_ / L"missing.lnk"));
    // A file that is no shell link.
    systest::WriteBytes(scratch_ / L"not-a-link.lnk", "plain text, no link header");
    EXPECT_FALSE(ReadShortcutTarget(scratch_ / L"not-a-link.lnk"));
}

TEST_F(UninstallShortcutsTest, AStrayCopyLeavesTheInstallationsShortcut) {
    // The path the stray copy computes is the same file name in the same Programs folder.
    ASSERT_EQ(ProgramsShortcutPath(stray_, subFolder_, L"Uninstall"), link_);
    EXPECT_TRUE(DeleteShortcutTo(link_, stray_));
    EXPECT_TRUE(PathExists(link_));
    // A link that cannot be read is not known to be this installation's either.
    const std::wstring unreadable = scratch_ / L"unreadable.lnk";
    systest::WriteBytes(unreadable, "plain text, no link header");
    EXPECT_TRUE(DeleteShortcutTo(unreadable, installed_));
    EXPECT_TRUE(PathExists(unreadable));
}

TEST_F(UninstallShortcutsTest, TheInstallationsOwnUninstallerRemovesIt) {
    // Spelled otherwise than when the link was saved: letter case, separators, "." steps.
    const std::wstring spelled = scratch_.Path() + L"/installed product/./UNIN.EXE";
    EXPECT_TRUE(DeleteShortcutTo(link_, spelled));
    EXPECT_FALSE(PathExists(link_));
    // Nothing left to remove is no failure.
    EXPECT_TRUE(DeleteShortcutTo(link_, installed_));
    EXPECT_TRUE(PathExists(programs_ + L"\\" + subFolder_));
}
