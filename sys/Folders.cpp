#include "sys/MyCommonFuns.h"

#include "sys/Error.h"
#include "sys/FileIo.h"
#include "sys/Win32Handle.h"

#include <shlobj.h>

#include <climits>
#include <memory>

namespace {

// Everything up to and including the last "\" or ":" of a path is its directory part.
std::size_t FileNameStart(const std::wstring& path) {
    const std::size_t delimiter = path.find_last_of(L"\\:");
    return delimiter == std::wstring::npos ? 0 : delimiter + 1;
}

std::wstring CurrentShellFolder(int csidl) {
    wchar_t buffer[MAX_PATH + 1] = {};
    // The buffer stays empty when the call fails, which is reported like an empty path.
    SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buffer);
    std::wstring path(buffer);
    if (path.empty())
        throw EInstallerError(L"Error get getSysAppDataDir");
    return path;
}

struct TCoTaskMemFree {
    void operator()(ITEMIDLIST* p) const noexcept { CoTaskMemFree(p); }
};

} // namespace

bool CreateDirectoryTree(const std::wstring& path) {
    SHCreateDirectoryExW(nullptr, path.c_str(), nullptr);
    return DirectoryExists(path);
}

std::wstring WithoutTrailingSeparators(std::wstring path) {
    while (!path.empty() && (path.back() == L'\\' || path.back() == L'/'))
        path.pop_back();
    return path;
}

std::wstring ExpandEnvironmentText(const std::wstring& text) {
    std::wstring expanded(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 4; ++attempt) {
        const DWORD needed = ExpandEnvironmentStringsW(text.c_str(), expanded.data(),
                                                       static_cast<DWORD>(expanded.size()));
        if (needed == 0)
            return {};
        if (needed <= expanded.size()) {
            expanded.resize(needed - 1);
            return expanded;
        }
        expanded.resize(needed);
    }
    return {};
}

std::wstring ModuleFileName(HMODULE module) {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0)
            return {};
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        // Truncated: the module lies on a long path.
        if (path.size() >= 32768)
            return {};
        path.resize(path.size() * 2);
    }
}

std::wstring GetExeDir() {
    const std::wstring path = ModuleFileName();
    return path.substr(0, FileNameStart(path));
}

std::wstring GetExeFileName() {
    const std::wstring path = ModuleFileName();
    return path.substr(FileNameStart(path));
}

std::wstring GetTempDir() {
    // A path too long for the usual buffer is asked for again in full rather than cut off.
    std::wstring path(255, L'\0');
    for (int attempt = 0; attempt < 4; ++attempt) {
        const DWORD length = GetTempPathW(static_cast<DWORD>(path.size()), path.data());
        if (length == 0)
            return {};
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(length + 1);
    }
    return {};
}

std::wstring GetAppDataDir() {
    return CurrentShellFolder(CSIDL_APPDATA | CSIDL_FLAG_CREATE);
}

std::wstring GetLocalAppDataDir() {
    return CurrentShellFolder(CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE);
}

std::wstring GetSpecialFolder(int csidl) {
    ITEMIDLIST* raw = nullptr;
    if (FAILED(SHGetSpecialFolderLocation(nullptr, csidl, &raw)) || !raw)
        return {};
    const std::unique_ptr<ITEMIDLIST, TCoTaskMemFree> items(raw);
    wchar_t buffer[MAX_PATH + 1] = {};
    if (!SHGetPathFromIDListW(items.get(), buffer))
        return {};
    return buffer;
}

std::wstring GetProgramFilesDir() {
    std::wstring result;
    if (Is64BitWindows())
        result = ExpandEnvironmentText(L"%ProgramW6432%");
    if (result.empty())
        result = GetSpecialFolder(CSIDL_PROGRAM_FILES);
    return result;
}

bool Is64BitWindows() {
#ifdef _WIN64
    return true; // a 64-bit build (the tests' on some machines) runs on 64-bit Windows only
#else
    return RunsUnderWow64OnX64();
#endif
}

bool RunsUnderWow64OnX64() {
    try {
        using TIsWow64Process = BOOL(WINAPI*)(HANDLE, PBOOL);
        using TGetNativeSystemInfo = void(WINAPI*)(LPSYSTEM_INFO);

        TLibrary loaded;
        HMODULE kernel = GetModuleHandleW(L"KERNEL32.DLL");
        if (!kernel) {
            loaded.Reset(LoadLibraryExW(L"KERNEL32.DLL", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
            kernel = loaded.Get();
        }
        if (!kernel)
            return false;
        // Looked up by name: both entry points are missing on the oldest systems.
        const auto isWow64Process =
            reinterpret_cast<TIsWow64Process>(GetProcAddress(kernel, "IsWow64Process"));
        const auto getNativeSystemInfo =
            reinterpret_cast<TGetNativeSystemInfo>(GetProcAddress(kernel, "GetNativeSystemInfo"));
        if (!isWow64Process)
            return false;
        BOOL wow64 = FALSE;
        if (!isWow64Process(GetCurrentProcess(), &wow64) || !wow64 || !getNativeSystemInfo)
            return false;
        SYSTEM_INFO info{};
        getNativeSystemInfo(&info);
        return info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64 ||
               info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_IA64;
    } catch (...) {
        return false;
    }
}

bool IsVistaOrLater() {
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof version;
    // Without a compatibility manifest newer systems report 6.2; that is still above 5.
    if (!GetVersionExW(&version))
        return false;
    return version.dwMajorVersion > 5;
}

int BytesToWholeMB(unsigned long long bytes) {
    const unsigned long long megabytes = bytes / (1024ull * 1024ull);
    return megabytes > static_cast<unsigned long long>(INT_MAX) ? INT_MAX
                                                                : static_cast<int>(megabytes);
}

bool GetDiskFreeMB(const std::wstring& directory, int& megabytes) {
    ULARGE_INTEGER availableToCaller{}, total{}, totalFree{};
    // The figure available to this user honours disk quotas; the volume's total free does not.
    if (!GetDiskFreeSpaceExW(directory.c_str(), &availableToCaller, &total, &totalFree))
        return false;
    megabytes = BytesToWholeMB(availableToCaller.QuadPart);
    return true;
}
