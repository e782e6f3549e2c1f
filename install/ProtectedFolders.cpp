#include "install/ProtectedFolders.h"

#include "sys/MyCommonFuns.h"

#include <knownfolders.h>
#include <shlobj.h>

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

std::wstring CanonicalFolder(const std::wstring& path) {
    if (path.empty() || !IsAbsolute(path))
        return path;
    std::wstring full(MAX_PATH, L'\0');
    DWORD length =
        GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length >= full.size()) {
        full.resize(length);
        length =
            GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    }
    if (length == 0 || length >= full.size())
        return path;
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

bool IsProtectedSystemFolder(const std::wstring& path) {
    return IsProtectedFolder(CanonicalFolder(path), SystemProtectedFolders());
}
