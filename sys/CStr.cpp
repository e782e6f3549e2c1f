#include "sys/CStr.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <cwctype>
#endif

std::wstring UpperCaseUserLocale(const std::wstring& text) {
    std::wstring upper = text;
#ifdef _WIN32
    // CharUpperBuffW maps in place under the user's locale and keeps the length, so positions
    // found in the upper-case copy are positions in the original.
    if (!upper.empty())
        CharUpperBuffW(upper.data(), static_cast<DWORD>(upper.size()));
#else
    for (wchar_t& c : upper)
        c = static_cast<wchar_t>(std::towupper(static_cast<std::wint_t>(c)));
#endif
    return upper;
}

std::wstring StrReplaceAll(const std::wstring& text, const std::wstring& oldPattern,
                           const std::wstring& newPattern, bool caseSensitive) {
    if (oldPattern.empty())
        return text;
    const std::wstring haystack = caseSensitive ? text : UpperCaseUserLocale(text);
    const std::wstring needle = caseSensitive ? oldPattern : UpperCaseUserLocale(oldPattern);

    std::wstring result;
    result.reserve(text.size());
    std::size_t from = 0;
    for (std::size_t at = haystack.find(needle); at != std::wstring::npos;
         at = haystack.find(needle, from)) {
        result.append(text, from, at - from);
        result += newPattern;
        from = at + needle.size();
    }
    result.append(text, from, std::wstring::npos);
    return result;
}

std::wstring LastChar(const std::wstring& text) {
    return text.empty() ? std::wstring() : std::wstring(1, text.back());
}
