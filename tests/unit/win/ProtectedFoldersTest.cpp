// The folders the uninstallation never empties: the rule as a table, and the
// running system's folders under it.

#include "install/ProtectedFolders.h"
#include "sys/MyCommonFuns.h"

#include <knownfolders.h>
#include <shlobj.h>

#include <gtest/gtest.h>

namespace {

const std::vector<std::wstring> kProtected = {
    L"C:\\Windows",
    L"C:\\Program Files",
    L"C:\\Program Files (x86)",
    L"C:\\Users\\ann",
    L"C:\\Users\\ann\\Downloads",
    L"C:\\Users\\ann\\AppData\\Roaming",
    L"C:\\Users\\ann\\AppData\\Local",
    L"C:\\Users\\ann\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\",
};

} // namespace

TEST(ProtectedFoldersTest, TheRuleAsATable) {
    const std::pair<const wchar_t*, bool> cases[] = {
        // Roots, in every spelling.
        {L"C:", true},
        {L"C:\\", true},
        {L"d:/", true},
        {L"\\\\server\\share", true},
        {L"\\\\server\\share\\", true},
        {L"\\\\server", true},
        {L"\\\\?\\C:\\", true},
        {L"\\\\?\\UNC\\server\\share", true},
        // The protected folders themselves: any letter case, one trailing separator.
        {L"C:\\Windows", true},
        {L"c:\\WINDOWS\\", true},
        {L"C:\\Program Files", true},
        {L"C:\\Program Files (x86)\\", true},
        {L"C:\\Users\\ann", true},
        {L"C:\\Users\\Ann\\Downloads\\", true},
        {L"C:/Users/ann/AppData/Roaming", true},
        {L"C:\\Users\\ann\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu", true},
        // Folders that hold a protected one.
        {L"C:\\Users", true},
        {L"C:\\Users\\ann\\AppData", true},
        {L"C:\\Users\\ann\\AppData\\Roaming\\Microsoft", true},
        // Not absolute: relative to a current directory nobody chose.
        {L"", true},
        {L"DemoApp", true},
        {L"C:DemoApp", true},
        {L"\\DemoApp", true},
        {L"%appdata%\\DemoApp", true},
        // What uninstallers do empty: folders inside the protected ones.
        {L"C:\\Program Files\\DemoApp", false},
        {L"C:\\Program Files\\DemoApp\\", false},
        {L"C:\\Users\\ann\\AppData\\Roaming\\DemoApp", false},
        {L"C:\\Users\\ann\\Downloads\\Some Product", false},
        {L"C:\\Windows2", false},
        {L"C:\\Program Files Extra", false},
        {L"D:\\Apps\\Tool", false},
        {L"\\\\server\\share\\Apps\\Tool", false},
        {L"C:\\Users\\bob", false}, // another user's profile is not in this list
    };
    for (const auto& [path, expected] : cases)
        EXPECT_EQ(IsProtectedFolder(path, kProtected), expected)
            << testing::PrintToString(std::wstring(path));
}

TEST(ProtectedFoldersTest, OnlyOneTrailingSeparatorIsRemoved) {
    EXPECT_EQ(FolderCompareForm(L"C:\\a\\"), L"C:\\a");
    EXPECT_EQ(FolderCompareForm(L"C:/a/b"), L"C:\\a\\b");
    EXPECT_EQ(FolderCompareForm(L"C:\\a\\\\"), L"C:\\a\\");
    EXPECT_TRUE(SameFolder(L"C:\\Program Files", L"c:\\program files\\"));
    EXPECT_FALSE(SameFolder(L"C:\\Program Files", L"C:\\Program Files\\\\"));
}

TEST(ProtectedFoldersTest, CanonicalFormsResolveDotsSlashesAndDoubledSeparators) {
    EXPECT_TRUE(SameFolder(CanonicalFolder(L"C:\\Users\\..\\Windows\\.\\"), L"C:\\Windows"));
    EXPECT_TRUE(SameFolder(CanonicalFolder(L"C:/Windows"), L"C:\\Windows"));
    EXPECT_TRUE(SamePath(L"C:\\Program Files\\P\\\\unin.exe", L"C:\\Program Files\\P\\unin.exe"));
    EXPECT_EQ(CanonicalFolder(L"relative\\path"), L"relative\\path");
}

TEST(ProtectedFoldersTest, TheSystemsFoldersAreProtectedAndTheirProductFoldersAreNot) {
    PWSTR downloads = nullptr;
    ASSERT_TRUE(SUCCEEDED(SHGetKnownFolderPath(FOLDERID_Downloads, 0, nullptr, &downloads)));
    const std::wstring downloadsPath = downloads;
    CoTaskMemFree(downloads);
    wchar_t windows[MAX_PATH + 1] = {};
    GetWindowsDirectoryW(windows, MAX_PATH + 1);

    const std::wstring protectedFolders[] = {
        GetAppDataDir(),
        GetLocalAppDataDir(),
        GetAppDataDir() + L"\\", // one trailing separator
        downloadsPath,
        windows,
        GetProgramFilesDir(),
        GetSpecialFolder(CSIDL_PROGRAM_FILES),
        GetSpecialFolder(CSIDL_PROFILE),
        GetSpecialFolder(CSIDL_DESKTOPDIRECTORY),
        GetSpecialFolder(CSIDL_PERSONAL),
        GetSpecialFolder(CSIDL_MYPICTURES),
        GetSpecialFolder(CSIDL_MYMUSIC),
        GetSpecialFolder(CSIDL_MYVIDEO),
        GetSpecialFolder(CSIDL_STARTMENU),
        GetSpecialFolder(CSIDL_PROGRAMS),
        L"C:\\",
    };
    for (const std::wstring& folder : protectedFolders) {
        SCOPED_TRACE(testing::PrintToString(folder));
        ASSERT_FALSE(folder.empty());
        EXPECT_TRUE(IsProtectedSystemFolder(folder));
    }
    const std::wstring productFolders[] = {
        GetAppDataDir() + L"\\DemoApp",        GetLocalAppDataDir() + L"\\DemoApp\\Cache",
        GetProgramFilesDir() + L"\\DemoApp",   GetSpecialFolder(CSIDL_PROGRAMS) + L"\\DemoApp",
        downloadsPath + L"\\Unpacked Product",
    };
    for (const std::wstring& folder : productFolders) {
        SCOPED_TRACE(testing::PrintToString(folder));
        EXPECT_FALSE(IsProtectedSystemFolder(folder));
    }
}
