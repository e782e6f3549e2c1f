#include "sys/MyCommonFuns.h"
#include "sys/RunLog.h"

#include "sys/Error.h"
#include "sys/MessageBoxes.h"
#include "sys/Win32Handle.h"

#include <shellapi.h>

#include <cwchar>
#include <memory>

namespace {

#ifndef _WIN64
// The record's size as the 32-bit system expects it.
static_assert(sizeof(STARTUPINFOW) == 68);
#endif

// The low mandatory level.
constexpr wchar_t kLowIntegritySid[] = L"S-1-16-4096";

// Loads a DLL from the system folder only: an installer runs beside whatever was downloaded
// with it. Systems without the search flag get the full path instead.
TLibrary LoadSystemLibrary(const wchar_t* fileName) {
    TLibrary library(LoadLibraryExW(fileName, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
    if (!library && GetLastError() == ERROR_INVALID_PARAMETER) {
        wchar_t folder[MAX_PATH + 1] = {};
        const UINT length = GetSystemDirectoryW(folder, MAX_PATH + 1);
        if (length > 0 && length <= MAX_PATH)
            library.Reset(LoadLibraryW((std::wstring(folder) + L"\\" + fileName).c_str()));
    }
    return library;
}

// Looks up `entry` in advapi32 and calls it; 0 when either cannot be had. The library is
// freed on every path, exceptions included.
template <typename Function, typename... Args>
BOOL CallAdvapi32(const char* entry, const wchar_t* xpMessage, Args... args) {
    if (!IsVistaOrLater())
        throw EInstallerError(xpMessage);
    const TLibrary advapi = LoadSystemLibrary(L"advapi32.dll");
    if (!advapi)
        return FALSE;
    const auto function = reinterpret_cast<Function>(GetProcAddress(advapi.Get(), entry));
    if (!function)
        return FALSE;
    return function(args...);
}

// The text before the path's last separator; a drive's root keeps its backslash.
std::wstring DirectoryOf(const std::wstring& path) {
    const std::size_t delimiter = path.find_last_of(L"\\:");
    if (delimiter == std::wstring::npos)
        return {};
    if (path[delimiter] == L':' || (delimiter > 0 && path[delimiter - 1] == L':'))
        return path.substr(0, delimiter + 1);
    return path.substr(0, delimiter);
}

DWORD HandleValue(HANDLE handle) {
    return static_cast<DWORD>(reinterpret_cast<UINT_PTR>(handle));
}

} // namespace

void ShellOpenFile(const std::wstring& path) {
    if (RunLogOpen())
        LogLine(L"opened: " + path);
    try {
        const std::wstring directory = DirectoryOf(path);
        ShellExecuteW(nullptr, L"open", path.c_str(), nullptr,
                      directory.empty() ? nullptr : directory.c_str(), SW_SHOWNORMAL);
    } catch (...) {
        // The scripts it starts are optional extras of an installation.
    }
}

void OpenDocument(const std::wstring& pathOrAddress) {
    if (RunLogOpen())
        LogLine(L"opened: " + pathOrAddress);
    ShellExecuteW(nullptr, L"open", pathOrAddress.c_str(), nullptr, nullptr, SW_SHOWMAXIMIZED);
}

BOOL CallCreateProcessWithToken(HANDLE token, DWORD logonFlags, LPCWSTR applicationName,
                                LPWSTR commandLine, DWORD creationFlags, LPVOID environment,
                                LPCWSTR currentDirectory, LPSTARTUPINFOW startupInfo,
                                LPPROCESS_INFORMATION processInfo) {
    using TCreateProcessWithTokenW = BOOL(WINAPI*)(HANDLE, DWORD, LPCWSTR, LPWSTR, DWORD, LPVOID,
                                                   LPCWSTR, LPSTARTUPINFOW, LPPROCESS_INFORMATION);
    return CallAdvapi32<TCreateProcessWithTokenW>(
        "CreateProcessWithTokenW", L"CreateProcessWithToken Cannot be called in XP!", token,
        logonFlags, applicationName, commandLine, creationFlags, environment, currentDirectory,
        startupInfo, processInfo);
}

BOOL CallConvertStringSidToSid(LPCWSTR sidText, PSID* sid) {
    using TConvertStringSidToSidW = BOOL(WINAPI*)(LPCWSTR, PSID*);
    return CallAdvapi32<TConvertStringSidToSidW>(
        "ConvertStringSidToSidW", L"ConvertStringSidToSid Cannot be called in XP!", sidText, sid);
}

bool SetLowIntegrity(HANDLE token) {
    wchar_t sidText[22] = {};
    wcsncpy(sidText, kLowIntegritySid, 21);
    PSID sid = nullptr;
    if (!CallConvertStringSidToSid(sidText, &sid) || !sid)
        return false;
    const std::unique_ptr<void, decltype(&LocalFree)> owned(sid, &LocalFree);
    TOKEN_MANDATORY_LABEL label{};
    label.Label.Sid = sid;
    label.Label.Attributes = SE_GROUP_INTEGRITY;
    const DWORD size = static_cast<DWORD>(sizeof label) + GetLengthSid(sid);
    return SetTokenInformation(token, TokenIntegrityLevel, &label, size) != FALSE;
}

DWORD RunProcess(const std::wstring& commandLine, bool keepIntegrity, bool showWindow,
                 const std::wstring& workingDir, bool wait) {
    return RunProcessVia(IsVistaOrLater() ? TProcessStart::ThroughToken : TProcessStart::Direct,
                         commandLine, keepIntegrity, showWindow, workingDir, wait);
}

DWORD RunProcessVia(TProcessStart start, const std::wstring& commandLine, bool keepIntegrity,
                    bool showWindow, const std::wstring& workingDir, bool wait) {
    if (RunLogOpen())
        LogLine(L"started: " + commandLine);
    PROCESS_INFORMATION process{};
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(showWindow ? SW_SHOWNORMAL : SW_HIDE);
    startup.cbReserved2 = 0;
    startup.lpReserved2 = nullptr;
    const wchar_t* directory = workingDir.empty() ? nullptr : workingDir.c_str();
    // Both ways of starting may write into the command line.
    std::wstring writable = commandLine;

    if (start == TProcessStart::ThroughToken) {
        HANDLE rawToken = nullptr;
        OpenProcessToken(GetCurrentProcess(), MAXIMUM_ALLOWED, &rawToken);
        const THandle processToken(rawToken);
        HANDLE rawDuplicate = nullptr;
        if (!DuplicateTokenEx(processToken.Get(), MAXIMUM_ALLOWED, nullptr, SecurityImpersonation,
                              TokenPrimary, &rawDuplicate))
            return 0;
        const THandle token(rawDuplicate);
        if (!keepIntegrity)
            SetLowIntegrity(token.Get());
        if (!CallCreateProcessWithToken(token.Get(), 0, nullptr, writable.data(), 0, nullptr,
                                        directory, &startup, &process))
            process = PROCESS_INFORMATION{};
    } else {
        if (!CreateProcessW(nullptr, writable.data(), nullptr, nullptr, FALSE,
                            CREATE_DEFAULT_ERROR_MODE, nullptr, directory, &startup, &process))
            process = PROCESS_INFORMATION{};
    }

    const THandle thread(process.hThread);
    if (!process.hProcess)
        return 0;
    if (!wait)
        return HandleValue(process.hProcess);
    const THandle child(process.hProcess);
    WaitForSingleObject(child.Get(), INFINITE);
    DWORD exitCode = 0;
    GetExitCodeProcess(child.Get(), &exitCode);
    return exitCode;
}

void ShowErrorCode(int code) {
    // No owner, as with the application's hidden window: the main window stays usable.
    ShowMessageBox(nullptr, std::to_wstring(code), MB_OK | MB_ICONINFORMATION);
}
