#include "sys/MyCommonFuns.h"

#include "sys/Error.h"
#include "sys/SysErrorMessage.h"
#include "sys/Win32Handle.h"

namespace {

std::wstring CurrentDirectory() {
    std::wstring path(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 4; ++attempt) {
        const DWORD length = GetCurrentDirectoryW(static_cast<DWORD>(path.size()), path.data());
        if (length == 0)
            break;
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(length);
    }
    const DWORD code = GetLastError();
    throw EInOutError(L"Cannot read the current directory. " + SysErrorMessage(code), code);
}

void ChangeDirectory(const std::wstring& path) {
    if (!SetCurrentDirectoryW(path.c_str())) {
        const DWORD code = GetLastError();
        throw EInOutError(L"Cannot change to directory \"" + path + L"\". " + SysErrorMessage(code),
                          code);
    }
}

bool IsDotOrDotDot(const wchar_t* name) {
    return name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0'));
}

bool IsDirectory(const WIN32_FIND_DATAW& entry) {
    return (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// A junction or directory symbolic link: its target lies outside the tree being deleted.
bool IsLink(const WIN32_FIND_DATAW& entry) {
    return (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

std::wstring JoinPath(const std::wstring& directory, const wchar_t* name) {
    if (!directory.empty() && directory.back() == L'\\')
        return directory + name;
    return directory + L"\\" + name;
}

} // namespace

bool DeleteDirTree(const std::wstring& path) {
    bool empty = true;
    const std::wstring remembered = CurrentDirectory();
    ChangeDirectory(path);
    {
        WIN32_FIND_DATAW entry;
        TFindHandle listing(FindFirstFileW(L"*.*", &entry));
        if (!listing) {
            ChangeDirectory(remembered);
            return false;
        }
        // Bare names resolve inside `path`: every nested walk restores the directory it found.
        do {
            if (IsDotOrDotDot(entry.cFileName))
                continue;
            empty = false;
            if (IsDirectory(entry)) {
                if (!IsLink(entry))
                    DeleteDirTree(JoinPath(path, entry.cFileName));
                RemoveDirectoryW(entry.cFileName);
            } else {
                ForceDeleteFile(entry.cFileName);
            }
        } while (FindNextFileW(listing.Get(), &entry));
    }
    if (empty) {
        // A directory cannot be removed while it is the current one.
        ChangeDirectory(L"..");
        RemoveDirectoryW(path.c_str());
    }
    ChangeDirectory(remembered);
    return true;
}

bool DeleteDirectory(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
        return false;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return RemoveDirectoryW(path.c_str()) != FALSE;
    const bool result = DeleteDirTree(path);
    RemoveDirectoryW(path.c_str());
    return result;
}

bool ClearDirectory(const std::wstring& path) {
    bool result = true;
    WIN32_FIND_DATAW entry;
    TFindHandle listing(FindFirstFileW((path + L"\\*").c_str(), &entry));
    if (!listing)
        return true;
    do {
        // Names beginning with "." are kept, not only "." and "..".
        if (entry.cFileName[0] == L'.')
            continue;
        const std::wstring full = path + L"\\" + entry.cFileName;
        SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_DIRECTORY);
        bool deleted;
        if (!IsDirectory(entry))
            deleted = ForceDeleteFile(full);
        else if (IsLink(entry))
            deleted = RemoveDirectoryW(full.c_str()) != FALSE;
        else
            deleted = DeleteDirectory(full);
        if (!deleted)
            result = false;
    } while (FindNextFileW(listing.Get(), &entry));
    return result;
}
