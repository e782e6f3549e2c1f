#include "sys/CStr.h"

#include <gtest/gtest.h>

TEST(CStrTest, StrReplaceAllCases) {
    struct Case {
        std::wstring text, oldPattern, newPattern;
        bool caseSensitive;
        std::wstring expected;
    };
    const Case cases[] = {
        {L"%APPDATA%\\x", L"%appdata%", L"C:\\u", false, L"C:\\u\\x"},
        {L"%APPDATA%\\x", L"%appdata%", L"C:\\u", true, L"%APPDATA%\\x"},
        {L"%appdata%\\x", L"%appdata%", L"C:\\u", true, L"C:\\u\\x"},
        // Matches do not overlap and the scan goes on after each one.
        {L"aaa", L"aa", L"b", true, L"ba"},
        {L"aaaa", L"aa", L"b", true, L"bb"},
        // Inserted text is never searched again.
        {L"ab", L"a", L"aa", false, L"aab"},
        {L"xAx", L"a", L"Aa", false, L"xAax"},
        {L"https://h/[version]/[Version]?v=[VERSION]", L"[Version]", L"1.2", false,
         L"https://h/1.2/1.2?v=1.2"},
        // The replacement may be empty; an empty pattern changes nothing.
        {L"a-b-c", L"-", L"", true, L"abc"},
        {L"abc", L"", L"x", false, L"abc"},
        {L"", L"a", L"b", false, L""},
        {L"abc", L"abcd", L"x", false, L"abc"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(StrReplaceAll(c.text, c.oldPattern, c.newPattern, c.caseSensitive), c.expected)
            << "case-sensitive " << c.caseSensitive;
    }
}

TEST(CStrTest, LastCharIsOneCharacterOrEmpty) {
    EXPECT_EQ(LastChar(L"C:\\Program Files\\"), L"\\");
    EXPECT_EQ(LastChar(L"D:"), L":");
    EXPECT_EQ(LastChar(L"x"), L"x");
    EXPECT_EQ(LastChar(L""), L"");
}
