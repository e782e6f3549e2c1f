// The settings document as products ship it: an embedded resource in GBK without a byte-order
// mark, LF line ends, four-space indentation. It reads correctly where GBK is the system's
// ANSI code page, and garbled (but complete) elsewhere.

#include "settings/InstallerSettings.h"
#include "sys/MyCommonFuns.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

TInstallerSettings ReadShippedDocument() {
    const std::wstring text = LoadResourceText(L"settingsgbk", L"file");
    TInstallerSettings settings;
    ReadInstallerSettings(
        text, settings,
        TSettingsFolders{[] { return std::wstring(L"A"); }, [] { return std::wstring(L"L"); }});
    return settings;
}

} // namespace

// Run once more under LC_ALL=zh_CN.UTF-8, where Wine's ANSI code page is 936.
TEST(SettingsResourceCodePageTest, GbkDocumentReadsInItsCodePage) {
    const TInstallerSettings s = ReadShippedDocument();
    // Values without non-ASCII characters read the same everywhere.
    EXPECT_EQ(s.FVersion, L"1.2.3");
    EXPECT_EQ(s.FMainProg, L"Demo.exe");
    EXPECT_EQ(s.FMainProgPath, L"bin\\");
    EXPECT_EQ(s.FOpenWebsiteAfterInstall, L"https://example.com/?v=[Version]");
    EXPECT_FALSE(s.FXPSupported);
    EXPECT_EQ(s.FConfigPathForUinstall, L"");
    EXPECT_EQ(s.FRegDllName, L"");
    if (GetACP() == 936) {
        EXPECT_EQ(s.FTitle, L"\u793A\u4F8B\u8F6F\u4EF6\u5B89\u88C5"); // 示例软件安装
        EXPECT_EQ(s.FProgramDirName, L"\u793A\u4F8B");                // 示例
    } else if (GetACP() == 1252) {
        // Every GBK byte decodes to one 1252 character: garbled, but nothing is lost.
        EXPECT_EQ(s.FTitle, L"\u00CA\u00BE\u00C0\u00FD\u00C8\u00ED\u00BC\u00FE\u00B0\u00B2"
                            L"\u00D7\u00B0");
        EXPECT_EQ(s.FProgramDirName, L"\u00CA\u00BE\u00C0\u00FD");
    } else {
        GTEST_SKIP() << "no expectation for code page " << GetACP();
    }
}

// The code-page run sets EXPECTED_ANSI_CODE_PAGE, so that a locale that did not take effect
// fails here instead of passing every test above through its 1252 branch.
TEST(CodePageEnvironmentTest, RunsUnderTheExpectedAnsiCodePage) {
    const char* expected = std::getenv("EXPECTED_ANSI_CODE_PAGE");
    if (!expected)
        GTEST_SKIP() << "no code page expected by this run";
    EXPECT_EQ(GetACP(), static_cast<UINT>(std::atoi(expected)));
}
