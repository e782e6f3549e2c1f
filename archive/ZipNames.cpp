#include "archive/ZipNames.h"

#include "archive/ZipFormat.h"

#include <algorithm>
#include <array>

namespace {

bool IsAscii(std::string_view bytes) {
    return std::all_of(bytes.begin(), bytes.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

char AsciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return AsciiLower(x) == AsciiLower(y);
           });
}

bool IsSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

wchar_t WideUpper(wchar_t c) {
    return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - 32) : c;
}

// Windows opens a device for these names in any folder, with or without an extension.
bool IsDeviceName(std::wstring_view component) {
    std::wstring base(component.substr(0, component.find(L'.')));
    while (!base.empty() && base.back() == L' ')
        base.pop_back();
    std::transform(base.begin(), base.end(), base.begin(), WideUpper);
    static const std::array<std::wstring_view, 6> fixed = {L"CON", L"PRN",    L"AUX",
                                                           L"NUL", L"CONIN$", L"CONOUT$"};
    if (std::find(fixed.begin(), fixed.end(), base) != fixed.end())
        return true;
    // The ports take a digit from 1 to 9 or a superscript 1, 2 or 3 (U+00B9, U+00B2, U+00B3).
    return base.size() == 4 && (base.starts_with(L"COM") || base.starts_with(L"LPT")) &&
           ((base[3] >= L'1' && base[3] <= L'9') || base[3] == L'\u00B9' || base[3] == L'\u00B2' ||
            base[3] == L'\u00B3');
}

bool IsUnsafeComponent(std::wstring_view component) {
    if (component.empty() || component == L".")
        return false;
    // "..", "...", ". ." and the like all end up as a step upwards or a trimmed name.
    if (component.find_first_not_of(L". ") == std::wstring_view::npos)
        return true;
    return IsDeviceName(component);
}

} // namespace

std::wstring DecodeEntryName(std::string_view raw, std::uint16_t flags, std::uint16_t versionMadeBy,
                             bool flexibleOem, const ICodePage& oem, const ICodePage& ansi) {
    // ASCII reads the same in every system code page and in UTF-8.
    if (IsAscii(raw))
        return std::wstring(raw.begin(), raw.end());
    if ((flags & zipformat::kFlagUtf8) == 0 && flexibleOem && (versionMadeBy & 0x0B00) != 0x0B00) {
        const std::string asAnsi = ansi.FromWide(oem.ToWide(raw));
        const std::string backToOem = oem.FromWide(ansi.ToWide(asAnsi));
        if (EqualIgnoringAsciiCase(backToOem, raw))
            return ansi.ToWide(asAnsi);
    }
    return DecodeUtf8Lenient(raw);
}

std::wstring DecodeUnicodePathName(std::string_view utf8) {
    std::string bytes(utf8);
    std::replace(bytes.begin(), bytes.end(), '/', '\\');
    return DecodeUtf8Lenient(bytes);
}

void SplitEntryName(const std::wstring& name, std::wstring& directory, std::wstring& fileName) {
    const std::size_t cut = name.find_last_of(L"\\:");
    if (cut == std::wstring::npos) {
        directory.clear();
        fileName = name;
    } else {
        directory = name.substr(0, cut + 1);
        fileName = name.substr(cut + 1);
    }
}

bool IsSafeEntryName(const std::wstring& directory, const std::wstring& fileName) {
    const std::wstring name = directory + fileName;
    if (name.empty() || IsSeparator(name.front()))
        return false;
    for (const wchar_t c : name)
        if (c == L':' || static_cast<std::uint32_t>(c) < 0x20)
            return false;
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = start;
        while (end < name.size() && !IsSeparator(name[end]))
            ++end;
        if (IsUnsafeComponent(std::wstring_view(name).substr(start, end - start)))
            return false;
        start = end + 1;
    }
    return true;
}
