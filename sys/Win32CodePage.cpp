#include "sys/Win32CodePage.h"
#include "sys/PlatformCodePage.h"

#include "sys/Error.h"

#include <climits>

namespace {

int CheckedLength(std::size_t size) {
    if (size > static_cast<std::size_t>(INT_MAX))
        throw EInstallerError(L"Text too large to convert");
    return static_cast<int>(size);
}

} // namespace

std::wstring TWin32CodePage::ToWide(std::string_view bytes) const {
    if (bytes.empty())
        return {};
    const int inLength = CheckedLength(bytes.size());
    // Flags 0: invalid and unmapped bytes become substitute characters instead of failing.
    const int outLength = MultiByteToWideChar(codePage_, 0, bytes.data(), inLength, nullptr, 0);
    if (outLength <= 0)
        return {};
    std::wstring text(static_cast<std::size_t>(outLength), L'\0');
    const int written =
        MultiByteToWideChar(codePage_, 0, bytes.data(), inLength, text.data(), outLength);
    text.resize(written > 0 ? static_cast<std::size_t>(written) : 0);
    return text;
}

std::string TWin32CodePage::FromWide(std::wstring_view text) const {
    if (text.empty())
        return {};
    const int inLength = CheckedLength(text.size());
    // No default character given: the code page's own substitute (usually "?") is used.
    const int outLength =
        WideCharToMultiByte(codePage_, 0, text.data(), inLength, nullptr, 0, nullptr, nullptr);
    if (outLength <= 0)
        return {};
    std::string bytes(static_cast<std::size_t>(outLength), '\0');
    const int written = WideCharToMultiByte(codePage_, 0, text.data(), inLength, bytes.data(),
                                            outLength, nullptr, nullptr);
    bytes.resize(written > 0 ? static_cast<std::size_t>(written) : 0);
    return bytes;
}

const ICodePage& AnsiCodePage() {
    static const TWin32CodePage ansi(CP_ACP);
    return ansi;
}

const ICodePage& OemCodePage() {
    static const TWin32CodePage oem(CP_OEMCP);
    return oem;
}

std::unique_ptr<ICodePage> MakeCodePage(unsigned number) {
    return std::make_unique<TWin32CodePage>(number);
}
