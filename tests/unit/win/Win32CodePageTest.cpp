#include "sys/Win32CodePage.h"

#include <gtest/gtest.h>

TEST(Win32CodePageTest, FixedCodePagesConvertBothWays) {
    const std::string gbk = "\xB1\xEA\xCC\xE2=\xB0\xB2\xD7\xB0\xB3\xCC\xD0\xF2";
    const std::wstring chinese = L"\u6807\u9898=\u5B89\u88C5\u7A0B\u5E8F";
    const TWin32CodePage cp936(936), cp1252(1252), cp437(437);
    EXPECT_EQ(cp936.ToWide(gbk), chinese);
    EXPECT_EQ(cp936.FromWide(chinese), gbk);
    EXPECT_EQ(cp1252.ToWide("\x80\xE9"), L"\u20AC\u00E9");
    EXPECT_EQ(cp1252.FromWide(L"\u4E2D\u20AC"), "?\x80");
    EXPECT_EQ(cp437.ToWide("\x81\xE1"), L"\u00FC\u00DF");
    EXPECT_EQ(cp437.FromWide(L"\u00FC\u4E2D"), "\x81?");
    EXPECT_EQ(cp936.ToWide(""), L"");
    EXPECT_EQ(cp936.FromWide(L""), "");
}

// Run once more under LC_ALL=zh_CN.UTF-8, where Wine's ANSI and OEM code pages are 936.
TEST(Win32CodePageTest, SystemCodePagesFollowTheLocale) {
    const UINT ansi = GetACP(), oem = GetOEMCP();
    if (ansi == 936 && oem == 936) {
        EXPECT_EQ(AnsiCodePage().ToWide("\xD6\xD0"), L"\u4E2D");
        EXPECT_EQ(OemCodePage().ToWide("\xD6\xD0"), L"\u4E2D");
        EXPECT_EQ(OemCodePage().FromWide(L"\u4E2D"), "\xD6\xD0");
    } else if (ansi == 1252 && oem == 437) {
        EXPECT_EQ(AnsiCodePage().ToWide("\x80\xE1"), L"\u20AC\u00E1");
        EXPECT_EQ(OemCodePage().ToWide("\xE1"), L"\u00DF");
        EXPECT_EQ(OemCodePage().FromWide(L"\u00FC"), "\x81");
    } else {
        GTEST_SKIP() << "no expectation for code pages " << ansi << "/" << oem;
    }
}
