// The workflow's steps run without a window and without pauses, in a scratch folder: the
// registration of an extracted tree, then its removal, and a removal from another folder that
// must leave the real installation's entry alone.

#include "install/Package.h"
#include "install/Pacing.h"
#include "install/RegisterInstallation.h"
#include "install/RemoveInstallation.h"
#include "sys/MyCommonFuns.h"
#include "sys/ProgramFile.h"
#include "sys/Win32Handle.h"
#include "SysTestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::wstring kUninstallKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

std::wstring EntryValue(const std::wstring& entry, const wchar_t* name) {
    wchar_t text[1024] = {};
    DWORD size = sizeof text;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, (kUninstallKey + entry + L"_is1").c_str(), name,
                     RRF_RT_REG_SZ, nullptr, text, &size) != ERROR_SUCCESS)
        return L"(none)";
    return text;
}

bool EntryExists(const std::wstring& entry) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, (kUninstallKey + entry + L"_is1").c_str(), 0, KEY_READ,
                      &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

class WorkflowStepsTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(HoldProgramFile()); // the uninstaller is a copy of the running program
        SetPacing({});                  // no window: nothing to pump, no pauses
        settings.FShortcutName = L"WorkflowStepsTest" + std::to_wstring(GetCurrentProcessId());
        settings.FProgramDirName = settings.FShortcutName;
        settings.FMainProgPath = L"bin\\";
        settings.FMainProg =
            L"WorkflowStepsMain" + std::to_wstring(GetCurrentProcessId()) + L".exe";
        settings.FVersion = L"2.5";
        settings.FNetID = L"user-secret";
        settings.FConfigPathForUinstall = scratch / L"Data";
        // An extracted tree, a dot-named file the removal keeps, and the data folder.
        systest::MakeDir(target);
        systest::MakeDir(target + L"\\bin");
        systest::MakeDir(target + L"\\sub");
        systest::MakeDir(target + L"\\sub\\deeper");
        systest::WriteBytes(target + L"\\bin\\" + settings.FMainProg, "MZ");
        systest::WriteBytes(target + L"\\sub\\deeper\\a.txt", "a");
        systest::WriteBytes(target + L"\\.keep", "k");
        systest::MakeDir(settings.FConfigPathForUinstall);
        systest::WriteBytes(settings.FConfigPathForUinstall + L"\\state.ini", "s");
    }
    void TearDown() override {
        RegDeleteTreeW(HKEY_LOCAL_MACHINE,
                       (kUninstallKey + settings.FShortcutName + L"_is1").c_str());
        RegDeleteKeyW(HKEY_LOCAL_MACHINE,
                      (kUninstallKey + settings.FShortcutName + L"_is1").c_str());
    }

    systest::TScratchFolder scratch;
    const std::wstring target = scratch / L"App";
    const std::wstring uninstaller = target + L"\\" + package::Wide(package::kUninstallerFile);
    TInstallerSettings settings;
};

TEST_F(WorkflowStepsTest, RegisteredThenRemovedLeavesOnlyDotEntriesAndTheUninstaller) {
    ASSERT_TRUE(RegisterInstallation(settings, target, true, 5000));
    EXPECT_EQ(systest::ReadBytes(uninstaller), systest::ReadBytes(ModuleFileName()));
    EXPECT_TRUE(systest::PathExists(target + L"\\" + package::Wide(package::kCredentialsFile)));
    EXPECT_EQ(EntryValue(settings.FShortcutName, L"UninstallString"), uninstaller);
    EXPECT_EQ(EntryValue(settings.FShortcutName, L"QuietUninstallString"),
              L"\"" + uninstaller + L"\" /silent");
    EXPECT_EQ(EntryValue(settings.FShortcutName, L"InstallLocation"), target);
    DWORD sizeKB = 0, size = sizeof sizeKB;
    EXPECT_EQ(RegGetValueW(HKEY_LOCAL_MACHINE,
                           (kUninstallKey + settings.FShortcutName + L"_is1").c_str(),
                           L"EstimatedSize", RRF_RT_REG_DWORD, nullptr, &sizeKB, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(sizeKB, 5u) << "5000 bytes, rounded up to whole KB";

    // As the uninstaller running from the installation folder removes it.
    const TRemovalOutcome removed = RemoveInstallation(settings, target, uninstaller);
    EXPECT_TRUE(removed.complete);
    EXPECT_EQ(removed.scheduled, 0u);
    EXPECT_FALSE(EntryExists(settings.FShortcutName));
    EXPECT_TRUE(systest::PathExists(uninstaller)) << "the script deletes it, once it has exited";
    EXPECT_TRUE(systest::PathExists(target + L"\\.keep"));
    for (const wchar_t* gone : {L"\\bin", L"\\sub", L"\\webset.dat"})
        EXPECT_FALSE(systest::PathExists(target + gone)) << gone;
    EXPECT_FALSE(systest::PathExists(settings.FConfigPathForUinstall + L"\\state.ini"));
}

TEST_F(WorkflowStepsTest, AnUninstallerCopiedElsewhereLeavesTheRealEntry) {
    ASSERT_TRUE(RegisterInstallation(settings, target, true, 0));
    const std::wstring elsewhere = scratch / L"Copy";
    systest::MakeDir(elsewhere);
    systest::WriteBytes(elsewhere + L"\\other.txt", "o");
    const TRemovalOutcome removed =
        RemoveInstallation(settings, elsewhere, elsewhere + L"\\unin.exe");
    EXPECT_TRUE(removed.complete) << "what it was to remove is gone";
    EXPECT_FALSE(systest::PathExists(elsewhere + L"\\other.txt"));
    EXPECT_EQ(EntryValue(settings.FShortcutName, L"UninstallString"), uninstaller);
    EXPECT_TRUE(systest::PathExists(target + L"\\bin\\" + settings.FMainProg));
}

} // namespace
