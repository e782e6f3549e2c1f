#include "sys/PrivateFolder.h"

#include "sys/Error.h"
#include "sys/SysErrorMessage.h"

#include <windows.h>

#include <sddl.h>

#include <cstdio>
#include <random>

namespace {

// Protected (P): nothing inherited from the temporary folder. Full access (FA) for the owner
// (OW, "owner rights"), SYSTEM (SY) and the Administrators (BA), passed on to what is created
// inside (OICI).
constexpr wchar_t kPrivateFolderSddl[] = L"D:P(A;OICI;FA;;;OW)(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";

std::wstring RandomName() {
    static std::mt19937_64 generator(std::random_device{}() ^
                                     (static_cast<unsigned long long>(GetTickCount64()) << 20) ^
                                     GetCurrentProcessId());
    wchar_t name[32];
    std::swprintf(name, 32, L"~setup-%016llx", static_cast<unsigned long long>(generator()));
    return name;
}

} // namespace

std::wstring ProtectedTempRoot() {
    using TGetTempPath2 = DWORD(WINAPI*)(DWORD, LPWSTR);
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    const auto getTempPath2 =
        kernel ? reinterpret_cast<TGetTempPath2>(GetProcAddress(kernel, "GetTempPath2W")) : nullptr;
    wchar_t buffer[MAX_PATH + 2] = {};
    const DWORD length =
        getTempPath2 ? getTempPath2(MAX_PATH + 2, buffer) : GetTempPathW(MAX_PATH + 2, buffer);
    return length > 0 && length <= MAX_PATH + 1 ? std::wstring(buffer, length) : std::wstring();
}

std::wstring CreatePrivateTempFolder() {
    const std::wstring root = ProtectedTempRoot();
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kPrivateFolderSddl, SDDL_REVISION_1,
                                                              &descriptor, nullptr)) {
        const DWORD code = GetLastError();
        throw EInOutError(L"Cannot create a temporary folder. " + SysErrorMessage(code), code);
    }
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    DWORD code = ERROR_PATH_NOT_FOUND;
    std::wstring path;
    // A name that exists already is never taken over: another is drawn.
    for (int attempt = 0; attempt < 100 && !root.empty(); ++attempt) {
        path = root + RandomName();
        if (CreateDirectoryW(path.c_str(), &attributes)) {
            LocalFree(descriptor);
            return path;
        }
        code = GetLastError();
        if (code != ERROR_ALREADY_EXISTS)
            break;
    }
    LocalFree(descriptor);
    throw EInOutError(L"Cannot create directory \"" + path + L"\". " + SysErrorMessage(code), code);
}
