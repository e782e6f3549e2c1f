// The layout's faces always draw Chinese captions: a face that is not installed is replaced
// by an installed one that holds the characters, and an installed face is kept.
#include "ui/Font.h"
#include "ui/FontFallback.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// How many characters of `text` the font has no glyph for.
int MissingGlyphs(HFONT font, const std::wstring& text) {
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font);
    std::vector<WORD> glyphs(text.size());
    GetGlyphIndicesW(dc, text.c_str(), static_cast<int>(text.size()), glyphs.data(),
                     GGI_MARK_NONEXISTING_GLYPHS);
    SelectObject(dc, old);
    DeleteDC(dc);
    int missing = 0;
    for (WORD glyph : glyphs)
        missing += glyph == 0xFFFF;
    return missing;
}

const std::wstring kCaption = L"安装路径自定义安装";

TEST(FontFallbackTest, AMissingFaceIsReplacedByAnInstalledOneWithTheCharacters) {
    const std::wstring missing = L"No Such Face 7f3a";
    ASSERT_FALSE(IsFaceInstalled(missing));
    const std::wstring chosen = InstalledFaceFor(missing);
    EXPECT_NE(missing, chosen);
    EXPECT_TRUE(IsFaceInstalled(chosen)) << std::string(chosen.begin(), chosen.end());
    const TFont font(missing, 12);
    EXPECT_EQ(0, MissingGlyphs(font.Handle(), kCaption));
}

// Font enumeration callback: stores the first face listed into the std::wstring at `out`.
int CALLBACK KeepFirstFace(const LOGFONTW* font, const TEXTMETRICW*, DWORD, LPARAM out) {
    *reinterpret_cast<std::wstring*>(out) = font->lfFaceName;
    return 0;
}

TEST(FontFallbackTest, AnInstalledFaceIsKept) {
    // Whatever face the system lists first under the Chinese character set.
    LOGFONTW wanted{};
    wanted.lfCharSet = GB2312_CHARSET;
    std::wstring listed;
    HDC dc = GetDC(nullptr);
    EnumFontFamiliesExW(dc, &wanted, KeepFirstFace, reinterpret_cast<LPARAM>(&listed), 0);
    ReleaseDC(nullptr, dc);
    ASSERT_FALSE(listed.empty()) << "no face with Chinese characters is installed";
    EXPECT_TRUE(IsFaceInstalled(listed));
    EXPECT_EQ(listed, InstalledFaceFor(listed));
}

TEST(FontFallbackTest, EveryFaceOfTheLayoutDrawsTheCaptions) {
    const std::pair<const wchar_t*, const char*> faces[] = {
        {L"Microsoft YaHei UI", "Microsoft YaHei UI"},
        {L"微软雅黑", "YaHei (Chinese name)"},
        {L"宋体", "SimSun (Chinese name)"}};
    for (const auto& [face, label] : faces) {
        SCOPED_TRACE(label);
        const TFont font(face, 12);
        EXPECT_EQ(0, MissingGlyphs(font.Handle(), kCaption));
        EXPECT_TRUE(IsFaceInstalled(InstalledFaceFor(face)));
    }
}

} // namespace
