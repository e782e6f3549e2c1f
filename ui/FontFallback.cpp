#include "ui/FontFallback.h"

#include <windows.h>

#include <map>

namespace {

// In order of preference: the faces the layout is drawn for, then faces found on Chinese
// systems and on Linux desktops that cover the same characters.
const wchar_t* const kChineseFaces[] = {L"Microsoft YaHei UI",
                                        L"Microsoft YaHei",
                                        L"微软雅黑",
                                        L"SimSun",
                                        L"宋体",
                                        L"NSimSun",
                                        L"SimHei",
                                        L"WenQuanYi Micro Hei",
                                        L"WenQuanYi Zen Hei",
                                        L"Noto Sans CJK SC",
                                        L"Source Han Sans SC"};

int CALLBACK FoundFamily(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
    *reinterpret_cast<bool*>(found) = true;
    return 0; // one is enough
}

} // namespace

bool IsFaceInstalled(const std::wstring& face) {
    if (face.empty() || face.size() >= LF_FACESIZE)
        return false;
    LOGFONTW wanted{};
    wanted.lfCharSet = DEFAULT_CHARSET;
    face.copy(wanted.lfFaceName, face.size());
    bool found = false;
    HDC dc = GetDC(nullptr);
    EnumFontFamiliesExW(dc, &wanted, FoundFamily, reinterpret_cast<LPARAM>(&found), 0);
    ReleaseDC(nullptr, dc);
    return found;
}

std::wstring InstalledFaceFor(const std::wstring& face) {
    // Asked for every font the window makes; the answer does not change while it runs.
    static std::map<std::wstring, std::wstring> answers;
    if (const auto known = answers.find(face); known != answers.end())
        return known->second;
    std::wstring chosen = face;
    if (!IsFaceInstalled(face)) {
        for (const wchar_t* candidate : kChineseFaces) {
            if (IsFaceInstalled(candidate)) {
                chosen = candidate;
                break;
            }
        }
    }
    answers.emplace(face, chosen);
    return chosen;
}
