#include "sys/MyCommonFuns.h"

#include "sys/Error.h"
#include "sys/Win32Handle.h"
#include "SysTestSupport.h"

#include <gtest/gtest.h>

using namespace std::string_literals;
using systest::TScratchFolder;

TEST(TextFilesTest, ReadDecodesAndNormalises) {
    struct Case {
        std::string bytes;
        bool asUtf8;
        std::wstring text;
    };
    const Case cases[] = {
        {"a\nb", false, L"a\r\nb\r\n"},
        {"a\nb", true, L"a\r\nb\r\n"},
        {"x\r\n\r\ny\r", true, L"x\r\n\r\ny\r\n"},
        {"", false, L""},
        {"", true, L""},
        {"\xEF\xBB\xBFx\xC3\xA4", true, L"x\u00E4\r\n"},
        {"\xEF\xBB\xBFx\xC3\xA4", false, L"x\u00E4\r\n"},
        {"x\xE4\xB8\xAD", true, L"x\u4E2D\r\n"},
        // One invalid byte empties the whole text.
        {"line one\r\nbad \xFF here\r\n", true, L""},
        {"\xFF\xFEh\0i\0\n\0"s, false, L"hi\r\n"},
        {"\xFF\xFEh\0i\0"s, true, L""},
        {"\xFE\xFF\0h\0\r\0\r"s, false, L"h\r\n\r\n"},
        // A NUL ends the text.
        {"before\0after\nmore"s, false, L"before\r\n"},
        {"before\0after"s, true, L"before\r\n"},
    };
    TScratchFolder scratch;
    int n = 0;
    for (const Case& c : cases) {
        const std::wstring path = scratch / (L"case" + std::to_wstring(++n) + L".txt");
        systest::WriteBytes(path, c.bytes);
        EXPECT_EQ(ReadTextFile(path, c.asUtf8), c.text) << "case " << n;
    }
}

TEST(TextFilesTest, ReadOfMissingFileOrFolderIsEmpty) {
    TScratchFolder scratch;
    EXPECT_EQ(ReadTextFile(scratch / L"missing.txt", true), L"");
    EXPECT_EQ(ReadTextFile(scratch / L"missing\\deeper.txt", false), L"");
    EXPECT_EQ(ReadTextFile(scratch.Path(), false), L"");
}

TEST(TextFilesTest, ReadOfLockedFileFailsWithTheSystemMessage) {
    TScratchFolder scratch;
    const std::wstring path = scratch / L"config.dat";
    systest::WriteBytes(path, "{}");
    // Held open without sharing, as a running program holds its own files.
    const THandle lock(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                   OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(lock);
    try {
        ReadTextFile(path, true);
        FAIL() << "a locked file was read";
    } catch (const EInstallerError& e) {
        const std::wstring prefix = L"Cannot open file \"" + path + L"\". ";
        ASSERT_EQ(e.Message().substr(0, prefix.size()), prefix) << e.Message();
        const std::wstring system = e.Message().substr(prefix.size());
        EXPECT_FALSE(system.empty());
        EXPECT_EQ(system.find_first_of(L"\r\n"), std::wstring::npos) << system;
    }
}

TEST(TextFilesTest, WriteProducesExactBytes) {
    struct Case {
        std::wstring text;
        bool asUtf8;
        std::string bytes;
    };
    const Case cases[] = {
        {L"x", false, "x\r\n"},
        {L"x", true, "\xEF\xBB\xBFx\r\n"},
        {L"", false, ""},
        {L"", true, "\xEF\xBB\xBF"},
        {L"a\nb\rc\r\n", false, "a\r\nb\r\nc\r\n"},
        {L"a\n\nb", true,
         "\xEF\xBB\xBF"
         "a\r\n\r\nb\r\n"},
        {L"\u4E2D\u00E4 \U0001F600", true, "\xEF\xBB\xBF\xE4\xB8\xAD\xC3\xA4 \xF0\x9F\x98\x80\r\n"},
        {L"kept\0dropped"s, true, "\xEF\xBB\xBFkept\r\n"},
    };
    TScratchFolder scratch;
    const std::wstring path = scratch / L"webset.dat";
    for (const Case& c : cases) {
        // Each write replaces a longer file: nothing of the old contents may survive.
        systest::WriteBytes(path, std::string(64, '#'));
        EXPECT_TRUE(WriteTextFile(path, c.text, c.asUtf8));
        EXPECT_EQ(systest::ReadBytes(path), c.bytes);
    }
}

TEST(TextFilesTest, WriteFailuresReturnFalse) {
    TScratchFolder scratch;
    EXPECT_FALSE(WriteTextFile(scratch / L"missing\\webset.dat", L"x", false));
    EXPECT_FALSE(WriteTextFile(scratch.Path(), L"x", true));
    // A file held open by another can neither be deleted nor replaced; it keeps its contents.
    const std::wstring busy = scratch / L"busy.dat";
    systest::WriteBytes(busy, "old");
    {
        const THandle lock(
            CreateFileW(busy.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(lock);
        EXPECT_FALSE(WriteTextFile(busy, L"new", false));
    }
    EXPECT_EQ(systest::ReadBytes(busy), "old");
}

// Run once more under LC_ALL=zh_CN.UTF-8, where Wine's ANSI code page is 936.
TEST(TextFilesCodePageTest, AnsiTextFollowsTheAnsiCodePage) {
    TScratchFolder scratch;
    const std::wstring path = scratch / L"ansi.txt";
    // U+0E01 (Thai) exists in neither code page.
    ASSERT_TRUE(WriteTextFile(path, L"\u4E2D\u6587 \u00E9 \u0E01", false));
    const std::wstring back = ReadTextFile(path, false);
    if (GetACP() == 936) {
        EXPECT_EQ(systest::ReadBytes(path), "\xD6\xD0\xCE\xC4 \xA8\xA6 ?\r\n");
        EXPECT_EQ(back, L"\u4E2D\u6587 \u00E9 ?\r\n");
    } else if (GetACP() == 1252) {
        EXPECT_EQ(systest::ReadBytes(path), "?? \xE9 ?\r\n");
        EXPECT_EQ(back, L"?? \u00E9 ?\r\n");
    } else {
        GTEST_SKIP() << "no expectation for code page " << GetACP();
    }
    // The same file read as UTF-8: its bytes are not valid UTF-8 either way.
    EXPECT_EQ(ReadTextFile(path, true), L"");
}
