// The command line: /silent only as the first argument and exactly so; /dir= and /log= in any
// case, anywhere; everything else ignored and kept for the log; which folders /dir= may name.
#include "install/Arguments.h"

#include <gtest/gtest.h>

namespace {

TEST(ArgumentsTest, OptionsAreFoundWhereverTheyStandAndInAnyCase) {
    const TArguments a = ParseArguments(
        {L"/silent", L"/DIR=C:\\Apps\\My Product", L"/x", L"/Log=C:\\logs\\run.log", L"extra"});
    EXPECT_TRUE(a.Silent);
    EXPECT_EQ(a.Dir, std::optional<std::wstring>(L"C:\\Apps\\My Product"));
    EXPECT_EQ(a.Log, std::optional<std::wstring>(L"C:\\logs\\run.log"));
    EXPECT_EQ(a.Ignored, (std::vector<std::wstring>{L"/x", L"extra"}));

    const TArguments alone = ParseArguments({L"/dir=D:\\P", L"/dir=E:\\Q"});
    EXPECT_FALSE(alone.Silent);
    EXPECT_EQ(alone.Dir, std::optional<std::wstring>(L"E:\\Q")) << "the later one counts";
    EXPECT_FALSE(alone.Log.has_value());
}

TEST(ArgumentsTest, SilentOnlyAsTheFirstArgumentExactlySo) {
    EXPECT_FALSE(ParseArguments({L"/SILENT"}).Silent);
    EXPECT_FALSE(ParseArguments({L"x", L"/silent"}).Silent);
    EXPECT_FALSE(ParseArguments({L"/dir=C:\\A", L"/silent"}).Silent);
    EXPECT_FALSE(ParseArguments({}).Silent);
    EXPECT_EQ(ParseArguments({L"/dir="}).Dir, std::optional<std::wstring>(L""));
}

TEST(ArgumentsTest, DirMustBeAnAbsoluteFolderPath) {
    const std::pair<const wchar_t*, bool> cases[] = {
        {L"C:\\Apps\\My Product", true},
        {L"c:/apps/x", true},
        {L"C:\\Apps\\", true},
        {L"\\\\server\\share\\apps", true},
        {L"", false},
        {L"C:\\", false},              // a drive root
        {L"C:", false},                // the drive's current folder
        {L"C:Apps", false},            // relative to it
        {L"Apps\\Product", false},     // relative
        {L"\\Apps", false},            // the current drive's
        {L"\\\\server\\share", false}, // a share root
        {L"\\\\?\\C:\\Apps", false},
        {L"C:\\Apps\\..\\Windows", false},
        {L"C:\\Apps\\.\\X", false},
        {L"C:\\Apps\\a|b", false},
        {L"C:\\Apps\\a*", false},
        {L"C:\\Apps\\x:y", false},
    };
    for (const auto& [path, usable] : cases)
        EXPECT_EQ(usable, IsUsableDirArgument(path)) << testing::PrintToString(std::wstring(path));
}

} // namespace
