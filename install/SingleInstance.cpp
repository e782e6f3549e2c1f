#include "install/SingleInstance.h"

#include "sys/CStr.h"
#include "ui/Controls.h"

#include <windows.h>

std::wstring ProductMutexName(const std::wstring& entryName) {
    std::wstring key = UpperCaseUserLocale(entryName + L"_is1");
    // A backslash would name a namespace of its own.
    for (wchar_t& c : key)
        if (c == L'\\')
            c = L'_';
    return L"Global\\OneClickSetup.Uninstall." + key;
}

THandle TakeProductMutex(const std::wstring& name, bool& refused) {
    refused = false;
    THandle mutex(CreateMutexW(nullptr, TRUE, name.c_str()));
    if (!mutex) {
        refused = true; // e.g. another program made an object of that name, of another type
        return THandle();
    }
    if (GetLastError() == ERROR_ALREADY_EXISTS)
        return THandle(); // held by another run: the handle goes, the mutex stays theirs
    return mutex;
}

namespace {

struct TSearch {
    const std::wstring* title;
    HWND found;
};

BOOL CALLBACK FindOtherRun(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<TSearch*>(parameter);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == GetCurrentProcessId() || !IsWindowVisible(window))
        return TRUE;
    wchar_t className[64] = {};
    GetClassNameW(window, className, 64);
    if (std::wstring(className) != kToolkitWindowClass)
        return TRUE;
    const int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), length + 1)));
    if (text != *search->title)
        return TRUE;
    search->found = window;
    return FALSE;
}

} // namespace

bool BringOtherRunToFront(const std::wstring& title) {
    TSearch search{&title, nullptr};
    EnumWindows(FindOtherRun, reinterpret_cast<LPARAM>(&search));
    if (!search.found)
        return false;
    if (IsIconic(search.found))
        ShowWindow(search.found, SW_RESTORE);
    SetForegroundWindow(search.found);
    return true;
}
