#include "sys/MessageTitle.h"

#include "sys/MyCommonFuns.h"

namespace {

TMessageTitleSource titleSource = nullptr;
bool boxesSuppressed = false;

} // namespace

void SetMessageTitleSource(TMessageTitleSource source) {
    titleSource = source;
}

void SetMessageBoxesSuppressed(bool suppressed) { boxesSuppressed = suppressed; }

bool MessageBoxesSuppressed() { return boxesSuppressed; }

std::wstring MessageTitle() {
    if (titleSource)
        return titleSource();
    return DefaultMessageTitle(GetExeFileName());
}

std::wstring DefaultMessageTitle(const std::wstring& modulePath) {
    const std::size_t delimiter = modulePath.find_last_of(L"\\:/");
    std::wstring name = modulePath.substr(delimiter == std::wstring::npos ? 0 : delimiter + 1);
    name = name.substr(0, name.find(L'.'));
    if (name.size() > 1)
        CharLowerBuffW(name.data() + 1, static_cast<DWORD>(name.size() - 1));
    return name;
}
