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

// ---- The running system's folders (Windows) -------------------------------------------------

// `path` made absolute and normalised for comparison: GetFullPathNameW ("/" becomes "\", "."
// and ".." and doubled separators resolved), then the long form of each existing component.
// Returns `path` unchanged when it is empty or not absolute.
std::wstring CanonicalFolder(const std::wstring& path);

// True when the two paths name the same file or folder once both are canonical.
bool SamePath(const std::wstring& a, const std::wstring& b);

// The protected folders of this system and user, canonical: the Windows and system folders,
// the Program Files roots (native, 32-bit, and their Common Files), the profile, Desktop,
// Documents, Downloads, Pictures, Music, Videos, the roaming and local application data roots,
// the Start menu and its Programs folder (the user's and the common ones), the public folders,
// ProgramData and the temporary directory. Folders the system cannot resolve are left out.
std::vector<std::wstring> SystemProtectedFolders();

// IsProtectedFolder for `path` against SystemProtectedFolders, both canonical.
bool IsProtectedSystemFolder(const std::wstring& path);
