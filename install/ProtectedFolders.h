#pragma once
// The folders that the uninstallation never empties: drive roots, the Windows folder, the
// Program Files roots, the user's profile and known folders, and every folder that holds one of
// them. An uninstaller copied into Downloads, or a ConfigPathForUinstall of just "%appdata%",
// must not wipe a user's files.

#include <string>
#include <vector>

// `path` as it is compared: one trailing "\" or "/" removed. Nothing else is changed.
std::wstring FolderCompareForm(const std::wstring& path);

// True when the two paths name the same folder by the comparison rule: one trailing separator
// removed from each, then compared case-insensitively as Windows compares file names.
bool SameFolder(const std::wstring& a, const std::wstring& b);

// True when `path` (compared as above) is a drive ("C:", "C:\") or the root of a share
// ("\\server\share"), also in their "\\?\" forms.
bool IsRootFolder(const std::wstring& path);

// True when `path` must not be emptied: it is empty, not absolute, a root, one of
// `protectedFolders`, or a folder that contains one of them (such as "C:\Users" or the profile's
// "AppData"). Folders inside a protected folder are not protected: "C:\Program Files\Product" is
// what an uninstaller empties. Paths are compared as they are given; see CanonicalFolder.
bool IsProtectedFolder(const std::wstring& path, const std::vector<std::wstring>& protectedFolders);

// The folders that every user profile holds, relative to the profile (Desktop, Documents,
// Downloads, the application data roots, the Start menu, ...), in the layouts of Windows XP
// and of Windows Vista and later.
const std::vector<std::wstring>& ProfileKnownFolders();

// The profile folders of every user, protected as the running user's are: IsProtectedFolder
// for `path` against the profiles folder `profilesFolder`, each folder directly in it (a
// profile, listed in `profiles` or not), each of `profiles` (which may lie elsewhere), and each
// of these profiles joined with each of `knownFolders`. So "C:\Users\bob\AppData" is
// protected and "C:\Users\bob\AppData\Roaming\Vendor" is not. An empty `profilesFolder`
// stands for none. Paths are compared as they are given; see CanonicalFolder.
bool IsProtectedProfileFolder(const std::wstring& path, const std::wstring& profilesFolder,
                              const std::vector<std::wstring>& profiles,
                              const std::vector<std::wstring>& knownFolders);

// ---- The running system's folders (Windows) -------------------------------------------------

// `path` made absolute and normalised for comparison: a "\\?\" or "\\.\" prefix before a drive
// removed ("\\?\UNC\server\share" becomes "\\server\share"), GetFullPathNameW ("/" becomes
// "\", "." and ".." and doubled separators resolved), then the long form of each existing
// component (8.3 short names resolved). Returns `path` unchanged when it is empty or not
// absolute.
std::wstring CanonicalFolder(const std::wstring& path);

// True when the two paths name the same file or folder once both are canonical.
bool SamePath(const std::wstring& a, const std::wstring& b);

// The protected folders of this system and user, canonical: the Windows and system folders,
// the Program Files roots (native, 32-bit, and their Common Files), the profile, Desktop,
// Documents, Downloads, Pictures, Music, Videos, the roaming and local application data roots,
// the Start menu and its Programs folder (the user's and the common ones), the public folders,
// ProgramData and the temporary directory. Folders the system cannot resolve are left out.
std::vector<std::wstring> SystemProtectedFolders();

// The profiles folder and every user's profile folder of this system, canonical, from the
// registry's profile list (ProfilesDirectory, Default, Public and each profile's
// ProfileImagePath, expanded); the shell's profiles folder when the list names none. Entries
// the system cannot resolve, or that are not absolute, are left out.
struct TUserProfiles {
    std::wstring folder;
    std::vector<std::wstring> profiles;
};
TUserProfiles SystemUserProfiles();

// True when `path`, canonical, is protected by IsProtectedFolder against
// SystemProtectedFolders, or by IsProtectedProfileFolder for SystemUserProfiles with
// ProfileKnownFolders and the places of this user's own known folders in their profile: the
// folders of the user who signed in are protected even when another account runs the program.
bool IsProtectedSystemFolder(const std::wstring& path);
