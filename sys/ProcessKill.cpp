#include "sys/MyCommonFuns.h"

#include "sys/Win32Handle.h"

#include <tlhelp32.h>

#include <cwchar>
#include <vector>

namespace {

#ifndef _WIN64
// The record's size as the 32-bit system expects it.
static_assert(sizeof(PROCESSENTRY32W) == 556);
#endif

// Only a to z change: names with other letters match in exactly the same case only.
std::wstring AsciiUpper(std::wstring text) {
    for (wchar_t& c : text)
        if (c >= L'a' && c <= L'z')
            c = static_cast<wchar_t>(c - L'a' + L'A');
    return text;
}

// Blanks and control characters (code 32 and below) are dropped at both ends.
std::wstring Trim(const std::wstring& text) {
    std::size_t first = 0, last = text.size();
    while (first < last && text[first] <= L' ')
        ++first;
    while (last > first && text[last - 1] <= L' ')
        --last;
    return text.substr(first, last - first);
}

} // namespace

bool EnablePrivilege(HANDLE process, const std::wstring& privilegeName) {
    HANDLE rawToken = nullptr;
    if (!OpenProcessToken(process, TOKEN_ADJUST_PRIVILEGES, &rawToken))
        return false;
    const THandle token(rawToken);
    TOKEN_PRIVILEGES privileges{};
    if (!LookupPrivilegeValueW(nullptr, privilegeName.c_str(), &privileges.Privileges[0].Luid))
        return false;
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    return AdjustTokenPrivileges(token.Get(), FALSE, &privileges, 0, nullptr, nullptr) != FALSE;
}

namespace {

// Calls `visit(processId)` for every running process whose executable file name equals
// `exeFileName` (ASCII letters without regard to case, blanks trimmed); false when no process
// list could be taken.
template <typename Visit> bool ForEachProcessNamed(const std::wstring& exeFileName, Visit visit) {
    const THandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot)
        return false;
    const std::wstring wanted = AsciiUpper(exeFileName);
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more;
         more = Process32NextW(snapshot.Get(), &entry)) {
        const std::wstring name(entry.szExeFile, wcsnlen(entry.szExeFile, MAX_PATH));
        if (AsciiUpper(Trim(name)) == wanted)
            visit(entry.th32ProcessID);
    }
    return true;
}

} // namespace

bool KillProcessByName(const std::wstring& exeFileName) {
    bool result = true;
    ForEachProcessNamed(exeFileName, [&result](DWORD processId) {
        EnablePrivilege(GetCurrentProcess(), L"SeDebugPrivilege");
        const THandle process(OpenProcess(PROCESS_TERMINATE, FALSE, processId));
        if (!process || !TerminateProcess(process.Get(), 1))
            result = false;
    });
    return result;
}

void WaitForProcessesByName(const std::wstring& exeFileName, DWORD timeoutMs, const TPump& pump) {
    if (exeFileName.empty())
        return;
    std::vector<THandle> running;
    ForEachProcessNamed(exeFileName, [&running](DWORD processId) {
        THandle process(OpenProcess(SYNCHRONIZE, FALSE, processId));
        if (process)
            running.push_back(std::move(process));
    });
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (const THandle& process : running) {
        const ULONGLONG now = GetTickCount64();
        WaitPumping(process.Get(), now >= deadline ? 0 : static_cast<DWORD>(deadline - now), pump);
    }
}
