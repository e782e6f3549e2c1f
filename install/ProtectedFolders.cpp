#include "install/ProtectedFolders.h"

#include "sys/MyCommonFuns.h"
#include "sys/Win32Handle.h"

#include <knownfolders.h>
#include <shlobj.h>

#include <algorithm>
#include <iterator>

namespace {

bool IsSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

// Equal as Windows compares file names: ordinal, without regard to case.
bool EqualNoCase(const wchar_t* a, std::size_t aLength, const wchar_t* b, std::size_t bLength) {
    return CompareStringOrdinal(a, static_cast<int>(aLength), b, static_cast<int>(bLength), TRUE) ==
           CSTR_EQUAL;
}

bool StartsWith(const std::wstring& text, const wchar_t* prefix) {
    return text.compare(0, wcslen(prefix), prefix) == 0;
}

// "X:\", "X:/" or a path that starts with two separators (a share, or a "\\?\" path).
bool IsAbsolute(const std::wstring& path) {
    if (path.size() >= 3 && path[1] == L':' && IsSeparator(path[2]))
        return true;
    return path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1]);
}

// True when `folder` holds `inner` somewhere below it; both in compare form.
bool Contains(const std::wstring& folder, const std::wstring& inner) {
    return inner.size() > folder.size() && inner[folder.size()] == L'\\' &&
           EqualNoCase(folder.c_str(), folder.size(), inner.c_str(), folder.size());
}

std::wstring FromBuffer(const wchar_t* buffer) {
    return buffer ? std::wstring(buffer) : std::wstring();
}

std::wstring KnownFolder(REFKNOWNFOLDERID id) {
    PWSTR path = nullptr;
    std::wstring result;
    if (SUCCEEDED(SHGetKnownFolderPath(id, 0, nullptr, &path)))
        result = FromBuffer(path);
    CoTaskMemFree(path);
    return result;
}

// The string value `name` of `key`, environment variables expanded; "" when it is missing or
// not a string.
std::wstring ExpandedValue(HKEY key, const wchar_t* name) {
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return {};
    // Room for a terminator the stored data may lack.
    std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
    DWORD read = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &read) !=
            ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return {};
    text.resize(std::min<std::size_t>(read / sizeof(wchar_t), text.size()));
    text.resize(wcsnlen(text.c_str(), text.size()));
    return type == REG_EXPAND_SZ ? ExpandEnvironmentText(text) : text;
}

// The profile list in the native registry view: a 32-bit process on 64-bit Windows reads the
// same list as the system.
constexpr wchar_t kProfileListKey[] =
    L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
constexpr REGSAM kProfileListAccess = KEY_READ | KEY_WOW64_64KEY;

// "C:\..." for "\\?\C:\..." and "\\.\C:\...", "\\server\share..." for
// "\\?\UNC\server\share...": the same file in the form the protected folders have. Other
// paths, such as a volume's "\\?\Volume{...}", are returned as they are.
std::wstring WithoutDevicePrefix(const std::wstring& path) {
    if (path.size() < 4 || !IsSeparator(path[0]) || !IsSeparator(path[1]) ||
        (path[2] != L'?' && path[2] != L'.') || !IsSeparator(path[3]))
        return path;
    const std::wstring rest = path.substr(4);
    if (rest.size() >= 2 && rest[1] == L':' &&
        ((rest[0] >= L'A' && rest[0] <= L'Z') || (rest[0] >= L'a' && rest[0] <= L'z')))
        return rest;
    if (rest.size() > 4 && EqualNoCase(rest.c_str(), 3, L"UNC", 3) && IsSeparator(rest[3]))
        return L"\\\\" + rest.substr(4);
    return path;
}

template <typename F> std::wstring SystemFolder(F query) {
    wchar_t buffer[MAX_PATH + 1] = {};
    const UINT length = query(buffer, MAX_PATH + 1);
    return length > 0 && length <= MAX_PATH ? FromBuffer(buffer) : std::wstring();
}

} // namespace

std::wstring FolderCompareForm(const std::wstring& path) {
    std::wstring form = path;
    for (wchar_t& c : form)
        if (c == L'/')
            c = L'\\';
    if (!form.empty() && form.back() == L'\\')
        form.pop_back();
    return form;
}

bool SameFolder(const std::wstring& a, const std::wstring& b) {
    const std::wstring x = FolderCompareForm(a), y = FolderCompareForm(b);
    return EqualNoCase(x.c_str(), x.size(), y.c_str(), y.size());
}

bool IsRootFolder(const std::wstring& path) {
    std::wstring form = FolderCompareForm(path);
    if (StartsWith(form, L"\\\\?\\") || StartsWith(form, L"\\\\.\\")) {
        form.erase(0, 4);
        if (form.size() >= 4 && EqualNoCase(form.c_str(), 4, L"UNC\\", 4))
            form = L"\\\\" + form.substr(4);
        else // "C:", "Volume{...}": a volume when nothing follows it
            return form.find(L'\\') == std::wstring::npos;
    }
    if (form.size() == 2 && form[1] == L':')
        return true;
    if (StartsWith(form, L"\\\\")) {
        // "\\server" or "\\server\share": no separator after the share's name.
        const std::size_t server = form.find(L'\\', 2);
        return server == std::wstring::npos || form.find(L'\\', server + 1) == std::wstring::npos;
    }
    return false;
}

bool IsProtectedFolder(const std::wstring& path,
                       const std::vector<std::wstring>& protectedFolders) {
    if (path.empty() || !IsAbsolute(path) || IsRootFolder(path))
        return true;
    const std::wstring candidate = FolderCompareForm(path);
    for (const std::wstring& folder : protectedFolders) {
        if (folder.empty())
            continue;
        const std::wstring form = FolderCompareForm(folder);
        if (SameFolder(candidate, form) || Contains(candidate, form))
            return true;
    }
    return false;
}

const std::vector<std::wstring>& ProfileKnownFolders() {
    static const std::vector<std::wstring> folders = {
        // Windows Vista and later.
        L"Desktop",
        L"Documents",
        L"Downloads",
        L"Pictures",
        L"Music",
        L"Videos",
        L"Favorites",
        L"Links",
        L"Contacts",
        L"Searches",
        L"Saved Games",
        L"3D Objects",
        L"OneDrive",
        L"AppData\\Roaming",
        L"AppData\\Local",
        L"AppData\\LocalLow",
        L"AppData\\Local\\Temp",
        L"AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup",
        L"AppData\\Roaming\\Microsoft\\Windows\\Templates",
        L"AppData\\Roaming\\Microsoft\\Windows\\SendTo",
        // Windows XP.
        L"My Documents",
        L"Application Data",
        L"Local Settings\\Application Data",
        L"Local Settings\\Temp",
        L"Start Menu\\Programs\\Startup",
        L"Templates",
        L"SendTo",
    };
    return folders;
}

bool IsProtectedProfileFolder(const std::wstring& path, const std::wstring& profilesFolder,
                              const std::vector<std::wstring>& profiles,
                              const std::vector<std::wstring>& knownFolders) {
    const std::wstring candidate = FolderCompareForm(path);
    std::vector<std::wstring> roots;
    for (const std::wstring& profile : profiles)
        if (!profile.empty())
            roots.push_back(FolderCompareForm(profile));
    std::vector<std::wstring> protectedFolders;
    const std::wstring folder = FolderCompareForm(profilesFolder);
    if (!folder.empty()) {
        protectedFolders.push_back(folder);
        // Any folder directly in the profiles folder is a profile, listed or not; the one the
        // path lies in is the only one that can matter. Not so for a drive made the profiles
        // folder, whose top-level folders are not all profiles.
        if (!IsRootFolder(folder) && Contains(folder, candidate))
            roots.push_back(candidate.substr(0, candidate.find(L'\\', folder.size() + 1)));
    }
    for (const std::wstring& root : roots) {
        protectedFolders.push_back(root);
        for (const std::wstring& known : knownFolders)
            if (!known.empty())
                protectedFolders.push_back(root + L"\\" + FolderCompareForm(known));
    }
    return IsProtectedFolder(candidate, protectedFolders);
}

std::wstring CanonicalFolder(const std::wstring& path) {
    if (path.empty() || !IsAbsolute(path))
        return path;
    const std::wstring plain = WithoutDevicePrefix(path);
    std::wstring full(MAX_PATH, L'\0');
    DWORD length =
        GetFullPathNameW(plain.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length >= full.size()) {
        full.resize(length);
        length =
            GetFullPathNameW(plain.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    }
    if (length == 0 || length >= full.size())
        return plain;
    full.resize(length);
    // The long form of "C:\PROGRA~1": only for a path that exists; otherwise it stays as it is.
    std::wstring longForm(MAX_PATH, L'\0');
    length = GetLongPathNameW(full.c_str(), longForm.data(), static_cast<DWORD>(longForm.size()));
    if (length >= longForm.size()) {
        longForm.resize(length);
        length =
            GetLongPathNameW(full.c_str(), longForm.data(), static_cast<DWORD>(longForm.size()));
    }
    if (length == 0 || length >= longForm.size())
        return full;
    longForm.resize(length);
    return longForm;
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
    return SameFolder(CanonicalFolder(a), CanonicalFolder(b));
}

std::vector<std::wstring> SystemProtectedFolders() {
    std::vector<std::wstring> folders = {
        SystemFolder(GetWindowsDirectoryW),
        SystemFolder(GetSystemWindowsDirectoryW),
        SystemFolder(GetSystemDirectoryW),
        SystemFolder(GetSystemWow64DirectoryW),
        GetProgramFilesDir(),
        GetProgramFilesDir() + L"\\Common Files",
        GetTempDir(),
        KnownFolder(FOLDERID_Downloads),
        KnownFolder(FOLDERID_PublicDownloads),
        KnownFolder(FOLDERID_Public),
        KnownFolder(FOLDERID_SavedGames),
        KnownFolder(FOLDERID_LocalAppDataLow),
    };
    static const int kShellFolders[] = {
        CSIDL_PROGRAM_FILES,
        CSIDL_PROGRAM_FILESX86,
        CSIDL_PROGRAM_FILES_COMMON,
        CSIDL_PROGRAM_FILES_COMMONX86,
        CSIDL_PROFILE,
        CSIDL_DESKTOPDIRECTORY,
        CSIDL_PERSONAL,
        CSIDL_MYPICTURES,
        CSIDL_MYMUSIC,
        CSIDL_MYVIDEO,
        CSIDL_APPDATA,
        CSIDL_LOCAL_APPDATA,
        CSIDL_STARTMENU,
        CSIDL_PROGRAMS,
        CSIDL_STARTUP,
        CSIDL_FAVORITES,
        CSIDL_TEMPLATES,
        CSIDL_COMMON_APPDATA,
        CSIDL_COMMON_DESKTOPDIRECTORY,
        CSIDL_COMMON_DOCUMENTS,
        CSIDL_COMMON_STARTMENU,
        CSIDL_COMMON_PROGRAMS,
        CSIDL_COMMON_STARTUP,
        CSIDL_WINDOWS,
        CSIDL_SYSTEM,
        CSIDL_SYSTEMX86,
    };
    for (const int csidl : kShellFolders)
        folders.push_back(GetSpecialFolder(csidl));
    std::vector<std::wstring> canonical;
    for (const std::wstring& folder : folders)
        if (!folder.empty() && IsAbsolute(folder))
            canonical.push_back(CanonicalFolder(folder));
    return canonical;
}

TUserProfiles SystemUserProfiles() {
    TUserProfiles result;
    const auto add = [&result](const std::wstring& profile) {
        if (IsAbsolute(profile))
            result.profiles.push_back(CanonicalFolder(profile));
    };
    HKEY raw = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kProfileListKey, 0, kProfileListAccess, &raw) ==
        ERROR_SUCCESS) {
        const TRegKey list(raw);
        result.folder = ExpandedValue(list.Get(), L"ProfilesDirectory");
        add(ExpandedValue(list.Get(), L"Default"));
        add(ExpandedValue(list.Get(), L"Public"));
        for (DWORD index = 0;; ++index) {
            wchar_t name[256] = {};
            DWORD length = static_cast<DWORD>(std::size(name));
            const LONG status =
                RegEnumKeyExW(list.Get(), index, name, &length, nullptr, nullptr, nullptr, nullptr);
            if (status == ERROR_NO_MORE_ITEMS)
                break;
            if (status != ERROR_SUCCESS)
                continue;
            HKEY rawProfile = nullptr;
            if (RegOpenKeyExW(list.Get(), name, 0, kProfileListAccess, &rawProfile) !=
                ERROR_SUCCESS)
                continue;
            const TRegKey profile(rawProfile);
            add(ExpandedValue(profile.Get(), L"ProfileImagePath"));
        }
    }
    if (!IsAbsolute(result.folder))
        result.folder = KnownFolder(FOLDERID_UserProfiles);
    result.folder = IsAbsolute(result.folder) ? CanonicalFolder(result.folder) : std::wstring();
    return result;
}

bool IsProtectedSystemFolder(const std::wstring& path) {
    const std::wstring candidate = CanonicalFolder(path);
    const std::vector<std::wstring> own = SystemProtectedFolders();
    if (IsProtectedFolder(candidate, own))
        return true;
    // This user's known folders where they lie in the profile, as every profile's may lie.
    std::vector<std::wstring> knownFolders = ProfileKnownFolders();
    const std::wstring profile =
        FolderCompareForm(CanonicalFolder(GetSpecialFolder(CSIDL_PROFILE)));
    if (IsAbsolute(profile) && !IsRootFolder(profile))
        for (const std::wstring& folder : own) {
            const std::wstring form = FolderCompareForm(folder);
            if (Contains(profile, form))
                knownFolders.push_back(form.substr(profile.size() + 1));
        }
    const TUserProfiles users = SystemUserProfiles();
    return IsProtectedProfileFolder(candidate, users.folder, users.profiles, knownFolders);
}
