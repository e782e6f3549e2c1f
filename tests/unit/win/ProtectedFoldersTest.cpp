// The folders the uninstallation never empties: the rule as a table, and the
// running system's folders under it.

#include "install/ProtectedFolders.h"
#include "sys/MyCommonFuns.h"
#include "SysTestSupport.h"

#include <knownfolders.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>

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
    // The device-path prefixes name the same files.
    EXPECT_TRUE(SameFolder(CanonicalFolder(L"\\\\?\\C:\\Windows\\"), L"C:\\Windows"));
    EXPECT_TRUE(SameFolder(CanonicalFolder(L"\\\\.\\c:\\Users\\..\\Windows"), L"C:\\Windows"));
    EXPECT_TRUE(SameFolder(CanonicalFolder(L"\\\\?\\UNC\\server\\share\\Apps"),
                           L"\\\\server\\share\\Apps"));
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

TEST(ProtectedFoldersTest, EveryUsersProfileFoldersAsATable) {
    // bob and Public are in the profiles folder without being listed; carl's profile lies
    // elsewhere, as a service account's does.
    const std::wstring profilesFolder = L"C:\\Users";
    const std::vector<std::wstring> profiles = {
        L"C:\\Users\\ann",
        L"D:\\Profiles\\carl\\",
        L"C:\\Windows\\ServiceProfiles\\LocalService",
    };
    const std::pair<const wchar_t*, bool> cases[] = {
        // The profiles folder, each profile in it, and what holds them.
        {L"C:\\Users", true},
        {L"c:\\users\\", true},
        {L"C:\\Users\\bob", true},
        {L"C:\\Users\\Bob\\", true},
        {L"C:\\Users\\Public", true},
        {L"D:\\Profiles", true},
        {L"D:\\Profiles\\carl", true},
        {L"C:\\Windows\\ServiceProfiles", true},
        // Their known folders, and what holds those.
        {L"C:\\Users\\bob\\Desktop", true},
        {L"C:\\Users\\bob\\Documents", true},
        {L"C:/Users/bob/Downloads/", true},
        {L"C:\\Users\\bob\\Pictures", true},
        {L"C:\\Users\\bob\\Music", true},
        {L"C:\\Users\\bob\\Videos", true},
        {L"C:\\Users\\bob\\Favorites", true},
        {L"C:\\Users\\bob\\Saved Games", true},
        {L"C:\\Users\\bob\\Links", true},
        {L"C:\\Users\\bob\\AppData", true},
        {L"C:\\Users\\bob\\AppData\\Roaming", true},
        {L"C:\\Users\\bob\\AppData\\Local", true},
        {L"C:\\Users\\bob\\AppData\\LocalLow", true},
        {L"C:\\Users\\bob\\AppData\\Roaming\\Microsoft", true},
        {L"C:\\Users\\bob\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu", true},
        {L"C:\\Users\\bob\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs", true},
        {L"C:\\Users\\Public\\Documents", true},
        {L"C:\\Users\\ann\\Downloads", true},
        {L"D:\\Profiles\\carl\\Documents", true},
        {L"D:\\Profiles\\carl\\AppData\\Roaming", true},
        {L"C:\\Windows\\ServiceProfiles\\LocalService\\AppData\\Local", true},
        {L"C:\\Users\\bob\\My Documents", true},
        {L"C:\\Users\\bob\\Local Settings\\Application Data", true},
        // Folders inside them are what uninstallers empty.
        {L"C:\\Users\\bob\\AppData\\Roaming\\Vendor", false},
        {L"C:\\Users\\bob\\AppData\\Local\\Vendor\\Cache", false},
        {L"C:\\Users\\bob\\Documents\\Product Data", false},
        {L"C:\\Users\\bob\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Vendor",
         false},
        {L"C:\\Users\\bob\\Tools", false},
        {L"C:\\Users\\bob\\Documents2", false},
        {L"D:\\Profiles\\carl\\Downloads\\Product", false},
        {L"D:\\Profiles\\dave", false}, // neither listed nor in the profiles folder
        {L"C:\\Users2\\bob", false},
        {L"C:\\Program Files\\DemoApp", false},
    };
    for (const auto& [path, expected] : cases)
        EXPECT_EQ(IsProtectedProfileFolder(path, profilesFolder, profiles, ProfileKnownFolders()),
                  expected)
            << testing::PrintToString(std::wstring(path));
    // Without a profiles folder only the listed profiles count.
    EXPECT_FALSE(IsProtectedProfileFolder(L"C:\\Users\\bob\\Documents", L"", profiles,
                                          ProfileKnownFolders()));
    EXPECT_TRUE(IsProtectedProfileFolder(L"C:\\Users\\ann\\Documents", L"", profiles,
                                         ProfileKnownFolders()));
    // A drive as the profiles folder makes only the listed profiles' folders protected.
    EXPECT_FALSE(
        IsProtectedProfileFolder(L"E:\\Apps", L"E:\\", {L"E:\\eve"}, ProfileKnownFolders()));
    EXPECT_TRUE(IsProtectedProfileFolder(L"E:\\eve\\Desktop", L"E:\\", {L"E:\\eve"},
                                         ProfileKnownFolders()));
    // The known folders passed in are the ones used.
    EXPECT_TRUE(IsProtectedProfileFolder(L"C:\\Users\\bob\\Eigene Dateien", profilesFolder,
                                         profiles, {L"Eigene Dateien"}));
    EXPECT_FALSE(IsProtectedProfileFolder(L"C:\\Users\\bob\\Documents", profilesFolder, profiles,
                                          {L"Eigene Dateien"}));
}

// A second account's profile made beside this user's in the profiles folder, as the signed-in
// user's is when another account elevates the program.
TEST(ProtectedFoldersTest, AnotherUsersProfileIsProtectedLikeThisUsers) {
    const TUserProfiles users = SystemUserProfiles();
    ASSERT_FALSE(users.folder.empty());
    const std::wstring own = CanonicalFolder(GetSpecialFolder(CSIDL_PROFILE));
    EXPECT_TRUE(std::any_of(users.profiles.begin(), users.profiles.end(),
                            [&](const std::wstring& p) { return SameFolder(p, own); }))
        << "this user's profile is not in the system's list";

    const std::wstring other =
        users.folder + L"\\OtherAccount" + std::to_wstring(GetCurrentProcessId());
    struct TRemoved {
        std::wstring path;
        ~TRemoved() { systest::RemoveTree(path); }
    } const removed{other};
    const wchar_t* const known[] = {
        L"Desktop",
        L"Documents",
        L"Downloads",
        L"Saved Games",
        L"AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs",
        L"AppData\\Local",
        L"AppData\\LocalLow",
    };
    for (const wchar_t* folder : known)
        ASSERT_EQ(SHCreateDirectoryExW(nullptr, (other + L"\\" + folder).c_str(), nullptr),
                  ERROR_SUCCESS);
    ASSERT_EQ(
        SHCreateDirectoryExW(nullptr, (other + L"\\AppData\\Roaming\\Vendor").c_str(), nullptr),
        ERROR_SUCCESS);

    std::vector<std::wstring> refused = {other, other + L"\\AppData",
                                         other + L"\\AppData\\Roaming"};
    for (const wchar_t* folder : known)
        refused.push_back(other + L"\\" + folder);
    // The same folders in their "\\?\" and short (8.3) spellings.
    refused.push_back(L"\\\\?\\" + other + L"\\Documents");
    wchar_t shortForm[MAX_PATH + 1] = {};
    const DWORD shortLength =
        GetShortPathNameW((other + L"\\Saved Games").c_str(), shortForm, MAX_PATH + 1);
    ASSERT_TRUE(shortLength > 0 && shortLength <= MAX_PATH);
    refused.push_back(shortForm);
    for (const std::wstring& folder : refused) {
        SCOPED_TRACE(testing::PrintToString(folder));
        EXPECT_TRUE(IsProtectedSystemFolder(folder));
    }
    EXPECT_FALSE(IsProtectedSystemFolder(other + L"\\AppData\\Roaming\\Vendor"));
    EXPECT_FALSE(IsProtectedSystemFolder(other + L"\\Documents\\Product Data"));
}
