#include "sys/MessageBoxes.h"

#include "sys/MyCommonFuns.h"
#include "sys/RunLog.h"

namespace {

std::wstring title;
bool boxesSuppressed = false;

} // namespace

void SetMessageTitle(const std::wstring& text) {
    title = text;
}

std::wstring MessageTitle() {
    return title.empty() ? DefaultMessageTitle(GetExeFileName()) : title;
}

void SetMessageBoxesSuppressed(bool suppressed) {
    boxesSuppressed = suppressed;
}

bool MessageBoxesSuppressed() {
    return boxesSuppressed;
}

int ShowMessageBox(HWND owner, const std::wstring& text, UINT flags) {
    if (RunLogOpen())
        LogLine(L"message" + std::wstring(boxesSuppressed ? L" (not shown): " : L": ") + text);
    if (boxesSuppressed)
        return IDOK;
    return MessageBoxW(owner, text.c_str(), MessageTitle().c_str(), flags);
}

std::wstring DefaultMessageTitle(const std::wstring& modulePath) {
    const std::size_t delimiter = modulePath.find_last_of(L"\\:/");
    std::wstring name = modulePath.substr(delimiter == std::wstring::npos ? 0 : delimiter + 1);
    name = name.substr(0, name.find(L'.'));
    if (name.size() > 1)
        CharLowerBuffW(name.data() + 1, static_cast<DWORD>(name.size() - 1));
    return name;
}
