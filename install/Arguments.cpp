#include "install/Arguments.h"

#include <cwctype>

namespace {

// True when `argument` starts with `name` ("/dir=") in any case; then `value` is the rest.
bool TakeOption(const std::wstring& argument, const wchar_t* name, std::wstring& value) {
    std::size_t i = 0;
    for (; name[i] != L'\0'; ++i)
        if (i >= argument.size() || static_cast<wchar_t>(std::towlower(argument[i])) != name[i])
            return false;
    value = argument.substr(i);
    return true;
}

bool IsSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

} // namespace

TArguments ParseArguments(const std::vector<std::wstring>& arguments) {
    TArguments result;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::wstring value;
        if (i == 0 && arguments[i] == L"/silent")
            result.Silent = true;
        else if (TakeOption(arguments[i], L"/dir=", value))
            result.Dir = value;
        else if (TakeOption(arguments[i], L"/log=", value))
            result.Log = value;
        else
            result.Ignored.push_back(arguments[i]);
    }
    return result;
}

bool IsUsableDirArgument(const std::wstring& path) {
    std::size_t rest;
    const bool drive =
        path.size() >= 3 && std::iswalpha(path[0]) && path[1] == L':' && IsSeparator(path[2]);
    if (drive) {
        rest = 3;
    } else if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
        // "\\server\share": both named; "\\?\" and "\\.\" forms are not taken here.
        rest = 2;
        if (path.size() > 2 && (path[2] == L'?' || path[2] == L'.'))
            return false;
    } else {
        return false;
    }
    std::wstring component;
    std::size_t components = 0;
    for (std::size_t i = rest; i <= path.size(); ++i) {
        if (i == path.size() || IsSeparator(path[i])) {
            if (component == L"." || component == L"..")
                return false;
            if (!component.empty())
                ++components;
            else if (i < path.size() && !drive && components < 2)
                return false; // "\\\share" or "\\server\\share"
            component.clear();
            continue;
        }
        const wchar_t c = path[i];
        if (c < 32 || c == L'<' || c == L'>' || c == L':' || c == L'"' || c == L'|' || c == L'?' ||
            c == L'*')
            return false;
        component += c;
    }
    // A share needs its server and share names; the folder itself is checked by the caller.
    return drive ? components >= 1 : components >= 3;
}
