#pragma once
// The moves and deletions the system carries out at the next restart, as MoveFileExW with
// MOVEFILE_DELAY_UNTIL_REBOOT records them (Windows and Wine alike): pairs of names in the
// value PendingFileRenameOperations, the source as "\??\<path>", the target as "\??\<path>"
// ("!" first when it may be replaced) or empty for a deletion. The tests read what they
// caused and take it out again, leaving the pairs of others alone.

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

namespace systest {

using TPendingRename = std::pair<std::wstring, std::wstring>; // source, target ("" = delete)

inline constexpr const wchar_t* kSessionManagerKey =
    L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
inline constexpr const wchar_t* kPendingRenamesValue = L"PendingFileRenameOperations";

// Every pair recorded, as stored.
inline std::vector<TPendingRename> PendingRenames() {
    std::vector<TPendingRename> pairs;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManagerKey, 0, KEY_QUERY_VALUE, &key) !=
        ERROR_SUCCESS)
        return pairs;
    DWORD type = 0, bytes = 0;
    std::wstring data;
    if (RegQueryValueExW(key, kPendingRenamesValue, nullptr, &type, nullptr, &bytes) ==
            ERROR_SUCCESS &&
        type == REG_MULTI_SZ) {
        data.resize(bytes / sizeof(wchar_t) + 1);
        RegQueryValueExW(key, kPendingRenamesValue, nullptr, &type,
                         reinterpret_cast<BYTE*>(data.data()), &bytes);
        data.resize(bytes / sizeof(wchar_t));
    }
    RegCloseKey(key);
    std::vector<std::wstring> strings;
    std::size_t start = 0;
    while (start < data.size()) {
        const std::size_t end = data.find(L'\0', start);
        const std::size_t stop = end == std::wstring::npos ? data.size() : end;
        strings.push_back(data.substr(start, stop - start));
        start = stop + 1;
    }
    // A value ends with an empty string after the last pair.
    if (strings.size() % 2 == 1 && strings.back().empty())
        strings.pop_back();
    for (std::size_t i = 0; i + 1 < strings.size(); i += 2)
        pairs.emplace_back(strings[i], strings[i + 1]);
    return pairs;
}

// The pairs whose source lies in the folder `folder`, at any depth.
inline std::vector<TPendingRename> PendingRenamesUnder(const std::wstring& folder) {
    const std::wstring prefix = L"\\??\\" + folder + L"\\";
    std::vector<TPendingRename> found;
    for (TPendingRename& pair : PendingRenames())
        if (CompareStringOrdinal(pair.first.c_str(), static_cast<int>(prefix.size()),
                                 prefix.c_str(), -1, TRUE) == CSTR_EQUAL)
            found.push_back(std::move(pair));
    return found;
}

// Takes out every pair whose source lies in `folder`, so that a later restart of the prefix
// does not carry them out; the value goes when nothing else is left in it.
inline void ForgetPendingRenamesUnder(const std::wstring& folder) {
    const std::wstring prefix = L"\\??\\" + folder + L"\\";
    std::wstring kept;
    for (const TPendingRename& pair : PendingRenames()) {
        if (CompareStringOrdinal(pair.first.c_str(), static_cast<int>(prefix.size()),
                                 prefix.c_str(), -1, TRUE) == CSTR_EQUAL)
            continue;
        kept += pair.first;
        kept += L'\0';
        kept += pair.second;
        kept += L'\0';
    }
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManagerKey, 0, KEY_SET_VALUE, &key) !=
        ERROR_SUCCESS)
        return;
    if (kept.empty()) {
        RegDeleteValueW(key, kPendingRenamesValue);
    } else {
        kept += L'\0';
        RegSetValueExW(key, kPendingRenamesValue, 0, REG_MULTI_SZ,
                       reinterpret_cast<const BYTE*>(kept.data()),
                       static_cast<DWORD>(kept.size() * sizeof(wchar_t)));
    }
    RegCloseKey(key);
}

// Forgets, when the test ends however it ends, what it scheduled in `folder`.
class TPendingRenamesCleanup {
public:
    explicit TPendingRenamesCleanup(std::wstring folder) : folder_(std::move(folder)) {}
    ~TPendingRenamesCleanup() { ForgetPendingRenamesUnder(folder_); }
    TPendingRenamesCleanup(const TPendingRenamesCleanup&) = delete;
    TPendingRenamesCleanup& operator=(const TPendingRenamesCleanup&) = delete;

private:
    std::wstring folder_;
};

} // namespace systest
