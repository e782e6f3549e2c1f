#include "sys/SysErrorMessage.h"

#include <memory>

namespace {

struct TLocalFree {
    void operator()(wchar_t* p) const noexcept { ::LocalFree(p); }
};

} // namespace

std::wstring SysErrorMessage(DWORD code) {
    wchar_t* raw = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&raw), 0, nullptr);
    const std::unique_ptr<wchar_t, TLocalFree> owner(raw);
    std::wstring text = length != 0 && raw ? std::wstring(raw, length) : std::wstring();
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n'))
        text.pop_back();
    if (text.empty())
        text = L"System error " + std::to_wstring(code);
    return text;
}
