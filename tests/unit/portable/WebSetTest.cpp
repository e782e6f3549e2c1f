#include "settings/JsonReader.h"
#include "install/WebSet.h"

#include <gtest/gtest.h>

TEST(WebSetTest, LineHasTheFixedShape) {
    EXPECT_EQ(WebSetLine(L"user", L"pass"), L"{\"username\":\t\"user\",\"password\":\t\"pass\"}");
    // Empty user name and password: 31 characters.
    EXPECT_EQ(WebSetLine(L"", L"").size(), 31u);
}

TEST(WebSetTest, AnyTextGivesValidJsonThatReadsBack) {
    const std::wstring cases[] = {
        L"a\"b",     L"c:\\dir\\",    L"tab\there", L"line\r\nbreak", std::wstring(L"nul\0x", 5),
        L"\x01\x1f", L"\u4E2D-\u00E9"};
    for (const std::wstring& text : cases) {
        const std::wstring line = WebSetLine(text, text + L"!");
        TJsonValue value;
        TJsonError error;
        ASSERT_TRUE(ParseJson(line, value, error)) << error.Describe();
        const TJsonValue* user = value.Find(L"username");
        const TJsonValue* pass = value.Find(L"password");
        ASSERT_TRUE(user && pass);
        EXPECT_EQ(ValueAsText(*user), text);
        EXPECT_EQ(ValueAsText(*pass), text + L"!");
    }
}
