#include "install/WebSet.h"

namespace {

std::wstring JsonString(const std::wstring& text) {
    static const wchar_t kHex[] = L"0123456789abcdef";
    std::wstring out = L"\"";
    for (wchar_t c : text) {
        switch (c) {
        case L'"':
            out += L"\\\"";
            break;
        case L'\\':
            out += L"\\\\";
            break;
        case L'\b':
            out += L"\\b";
            break;
        case L'\f':
            out += L"\\f";
            break;
        case L'\n':
            out += L"\\n";
            break;
        case L'\r':
            out += L"\\r";
            break;
        case L'\t':
            out += L"\\t";
            break;
        default:
            if (static_cast<unsigned>(c) < 0x20) {
                out += L"\\u00";
                out += kHex[(c >> 4) & 0xF];
                out += kHex[c & 0xF];
            } else {
                out += c;
            }
        }
    }
    return out + L"\"";
}

} // namespace

std::wstring WebSetLine(const std::wstring& userName, const std::wstring& password) {
    return L"{\"username\":\t" + JsonString(userName) + L",\"password\":\t" +
           JsonString(password) + L"}";
}
