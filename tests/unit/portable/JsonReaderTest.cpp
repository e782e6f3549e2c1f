#include "settings/JsonReader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TJsonValue MustParse(const std::wstring& text) {
    TJsonValue value;
    TJsonError error;
    EXPECT_TRUE(ParseJson(text, value, error)) << text << L" -> " << error.Describe();
    return value;
}

TJsonError MustFail(const std::wstring& text) {
    TJsonValue value;
    value.Kind = TJsonKind::True; // a failed parse must leave it alone
    TJsonError error;
    EXPECT_FALSE(ParseJson(text, value, error)) << text;
    EXPECT_EQ(value.Kind, TJsonKind::True) << text;
    return error;
}

std::wstring TextOf(const std::wstring& document) {
    return ValueAsText(MustParse(document));
}

TEST(JsonReader, LenientFormsReadLikeTheirStrictForm) {
    struct Case {
        std::wstring lenient;
        std::wstring strict;
    };
    const std::vector<Case> cases = {
        {L"{'a': 'x', 'b': ['y']}", L"{\"a\":\"x\",\"b\":[\"y\"]}"},
        {L"{'it\"s': \"it's\"}", L"{\"it\\\"s\":\"it's\"}"},
        // Names without quotes run up to the colon, white space included.
        {L"{a: 1, Title : 2}", L"{\"a\":1,\"Title \":2}"},
        {L"{: 1}", L"{\"\":1}"},
        {L"{a b\r\n: 1}", L"{\"a b\\r\\n\":1}"},
        // Values without quotes run up to "," or the container's closing bracket.
        {L"{\"a\": hello world}", L"{\"a\":\"hello world\"}"},
        {L"{\"a\": x\r\n}", L"{\"a\":\"x\\r\\n\"}"},
        {L"[p, q r ,s]", L"[\"p\",\"q r \",\"s\"]"},
        {L"{u: http://host/p?q=1}", L"{\"u\":\"http://host/p?q=1\"}"},
        {L"{\"v\": 1.2.3, \"w\": 01, \"x\": -, \"y\": .5, \"z\": 1 2}",
         L"{\"v\":\"1.2.3\",\"w\":\"01\",\"x\":\"-\",\"y\":\".5\",\"z\":\"1 2\"}"},
        {L"[a}b, 'c']", L"[\"a}b\",\"c\"]"},
        // A forgotten comma after a number turns the rest of the member into text.
        {L"{\"a\": 1 \"b\": 2}", L"{\"a\":\"1 \\\"b\\\": 2\"}"},
        {L"{\"a\": x]y}", L"{\"a\":\"x]y\"}"},
        {L"{\"a\": \u4e2d\u6587}", L"{\"a\":\"\u4e2d\u6587\"}"},
        // Only lower-case words are literals; the rest are text.
        {L"[True, FALSE, Null, true, false, null]",
         L"[\"True\",\"FALSE\",\"Null\",true,false,null]"},
        {L"[truex, nullnull, true false]", L"[\"truex\",\"nullnull\",\"true false\"]"},
        // A literal followed by a comment is still the literal.
        {L"[true /* yes */, 1 // one\r\n]", L"[true,1]"},
        // A block comment that is never closed makes the whole run text.
        {L"[1 /* x, 2]", L"[\"1 /* x\",2]"},
        {L"/*c*/{/*c*/\"a\"/*c*/:/*c*/1/*c*/,//c\r\n\"b\"://c\r\n2//c\r\n}", L"{\"a\":1,\"b\":2}"},
        {L"{\"a\": [1, 2,], \"b\": {},}", L"{\"a\":[1,2],\"b\":{}}"},
        {L"\t\r\n {\"a\" :\r\n 1 }", L"{\"a\":1}"},
        // Only the first value counts.
        {L"{\"a\":1} trailing {", L"{\"a\":1}"},
        {L"[1]]]", L"[1]"},
        {L"true garbage", L"true"},
        {L"12 ", L"12"},
        {L"\"s\" tail", L"\"s\""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(MustParse(c.lenient), MustParse(c.strict)) << c.lenient;
        EXPECT_EQ(ValueToJson(MustParse(c.lenient)), ValueToJson(MustParse(c.strict))) << c.lenient;
    }
}

TEST(JsonReader, EscapesInStrings) {
    struct Case {
        std::wstring document;
        std::wstring expected;
    };
    const std::vector<Case> cases = {
        {L"\"\\b\\f\\n\\r\\t\"", L"\b\f\n\r\t"},
        {L"\"\\u0041\\u00E9\\u4e2d\"", L"A\u00e9\u4e2d"},
        {L"\"\\x41\\x7e\\xFF\"", L"A~\u00ff"},
        {L"\"\\q\\'\\\"\\\\\\/\"", L"q'\"\\/"},
        {L"'it\\'s'", L"it's"},
        {L"\"a'b\"", L"a'b"},
        {L"'a\"b'", L"a\"b"},
        {L"\"\u4e2d\u6587\"", L"\u4e2d\u6587"},
        {L"\"\\u0000x\"", std::wstring(L"\0x", 2)},
        {L"\"\"", L""},
    };
    for (const Case& c : cases) {
        const TJsonValue value = MustParse(c.document);
        EXPECT_EQ(value.Kind, TJsonKind::String) << c.document;
        EXPECT_EQ(value.Text, c.expected) << c.document;
    }
}

TEST(JsonReader, SurrogateEscapes) {
    const std::wstring pair = MustParse(L"\"\\ud83d\\ude00\"").Text;
    const std::wstring reversed = MustParse(L"\"\\ude00\\ud83d\"").Text;
    const std::wstring lone = MustParse(L"\"\\ud83dx\\ude00\"").Text;
    if constexpr (sizeof(wchar_t) == 2) {
        EXPECT_EQ(pair, (std::wstring{wchar_t(0xD83D), wchar_t(0xDE00)}));
    } else {
        EXPECT_EQ(pair, std::wstring(1, wchar_t(0x1F600)));
    }
    EXPECT_EQ(reversed, (std::wstring{wchar_t(0xDE00), wchar_t(0xD83D)}));
    EXPECT_EQ(lone, (std::wstring{wchar_t(0xD83D), L'x', wchar_t(0xDE00)}));
}

TEST(JsonReader, NumbersKeepTheirLiteral) {
    const TJsonValue value = MustParse(L"[0, -12, 3.5, 1E+2, -0.0e-1]");
    ASSERT_EQ(value.Items.size(), 5u);
    const bool integers[] = {true, true, false, false, false};
    const wchar_t* texts[] = {L"0", L"-12", L"3.5", L"1E+2", L"-0.0e-1"};
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(value.Items[i].Kind, TJsonKind::Number);
        EXPECT_EQ(value.Items[i].IsInteger, integers[i]) << texts[i];
        EXPECT_EQ(value.Items[i].Text, texts[i]);
    }
}

TEST(JsonReader, ValueAsText) {
    struct Case {
        std::wstring document;
        std::wstring expected;
    };
    const std::vector<Case> cases = {
        {L"\"abc\"", L"abc"},
        {L"null", L"null"},
        {L"true", L"true"},
        {L"false", L"false"},
        {L"42", L"42"},
        {L"-7", L"-7"},
        {L"-0", L"-0"},
        {L"123456789012345678901234567890", L"123456789012345678901234567890"},
        {L"3.5", L"3.5"},
        {L"1.0", L"1"},
        {L"100.250", L"100.25"},
        {L"1e2", L"100"},
        {L"2.5E-3", L"0.0025"},
        {L"0.0001", L"0.0001"},
        {L"1.5e-7", L"1.5e-07"},
        {L"1e20", L"1e+20"},
        {L"1e15", L"1e+15"},
        {L"1e14", L"100000000000000"},
        {L"0.1234567890123456789", L"0.123456789012346"},
        {L"123456789012345.6", L"123456789012346"},
        {L"9.99999999999999999", L"10"},
        {L"-2.50", L"-2.5"},
        {L"-0.0", L"-0"},
        {L"1e400", L"1e+400"},
        {L"0.5e-400", L"5e-401"},
        {L"{\"a\": [1, 'x\"y'], b: null, \"c\": {}}",
         L"{\"a\":[1,\"x\\\"y\"],\"b\":null,\"c\":{}}"},
        {L"['\\u0001\\t\\\\', 2.50, true]", L"[\"\\u0001\\t\\\\\",2.50,true]"},
        {L"[]", L"[]"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TextOf(c.document), c.expected) << c.document;
}

TEST(JsonReader, ValueAsBoolean) {
    struct Case {
        std::wstring document;
        bool expected;
    };
    const std::vector<Case> cases = {
        {L"null", false},     {L"false", false}, {L"true", true},    {L"0", false},
        {L"-0", false},       {L"0.0", false},   {L"0e10", false},   {L"1", true},
        {L"-3", true},        {L"0.001", true},  {L"1e-400", true},  {L"\"\"", false},
        {L"\"false\"", true}, {L"\"0\"", true},  {L"[False]", true}, {L"{}", true},
        {L"[]", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ValueAsBoolean(MustParse(c.document)), c.expected) << c.document;
}

TEST(JsonReader, MemberLookup) {
    const TJsonValue value = MustParse(L"{\"a\": 1, \"A\": 2, \"a\": 3, \"\u00e9\": 4}");
    ASSERT_EQ(value.Members.size(), 4u); // duplicates are kept in order
    ASSERT_NE(value.Find(L"a"), nullptr);
    EXPECT_EQ(value.Find(L"a")->Text, L"3"); // the later one counts
    ASSERT_NE(value.Find(L"A"), nullptr);
    EXPECT_EQ(value.Find(L"A")->Text, L"2");
    ASSERT_NE(value.Find(L"\u00e9"), nullptr);
    EXPECT_EQ(value.Find(L"\u00c9"), nullptr);
    EXPECT_EQ(value.Find(L"a "), nullptr);
    EXPECT_EQ(value.Find(L"b"), nullptr);
    EXPECT_EQ(MustParse(L"[\"a\"]").Find(L"a"), nullptr);
}

TEST(JsonReader, JsonTextReadsBackEqual) {
    const std::vector<std::wstring> documents = {
        L"{\"a\": 1, \"a\": [2.5e3, -0, {}], 'q\"\\\\': '\\u0000\\u001f\\x7f\\b'}",
        L"[\"\\ud800\", \"\\udfff\\ud800\", \"\\ud83d\\ude00\", \"\u4e2d\"]",
        L"{x: [true, false, null, [[[]]]], y: bare text\r\n}",
    };
    for (const std::wstring& document : documents) {
        const TJsonValue value = MustParse(document);
        EXPECT_EQ(MustParse(ValueToJson(value)), value) << document;
    }
}

TEST(JsonReader, ErrorsSayWhatAndWhere) {
    struct Case {
        std::wstring document;
        std::size_t line;
        std::size_t column;
        std::wstring reason;
    };
    const std::vector<Case> cases = {
        {L"", 1, 1, L"the text holds no value"},
        {L"  // only a comment", 1, 20, L"the text holds no value"},
        {L" /* never closed", 1, 2, L"the comment that starts here is never closed"},
        {L"{\"a\": \"x", 1, 7, L"the string that starts here is never closed"},
        {L"{\"a\": 'x\\", 1, 7, L"the string that starts here is never closed"},
        {L"{\"a\" 1}", 1, 6, L"expected ':' after the member name"},
        {L"{\"a\": \"1\" \"b\": 2}", 1, 11, L"expected ',' or '}' after the member's value"},
        {L"[1 2, \"x\" 3]", 1, 11, L"expected ',' or ']' after the array element"},
        {L"{\"a\":1,,}", 1, 8, L"expected a member name"},
        {L"{\"a\":}", 1, 6, L"expected a value"},
        {L"{\"a\":,}", 1, 6, L"expected a value"},
        {L"[1,,2]", 1, 4, L"expected a value"},
        {L"[,]", 1, 2, L"expected a value"},
        {L"{a}", 1, 2, L"the member name without quotes that starts here has no ':'"},
        {L"{\n\n  b 1\n}", 3, 3, L"the member name without quotes that starts here has no ':'"},
        {L"{\"a\":1", 1, 7, L"the text ends inside an object (missing '}')"},
        {L"{\"a\": x", 1, 8, L"the text ends inside an object (missing '}')"},
        {L"{\"a\": /* c */", 1, 14, L"the text ends inside an object (missing '}')"},
        {L"{\"a\"", 1, 5, L"the text ends inside an object (missing '}')"},
        {L"[1,\r\r  x", 3, 4, L"the text ends inside an array (missing ']')"},
        {L"{\r\n\"a\": [1,\r\n", 3, 1, L"the text ends inside an array (missing ']')"},
        {L"[\"\\u12\"]", 1, 3, L"\\u must be followed by four hexadecimal digits"},
        {L"\"\\u12", 1, 2, L"\\u must be followed by four hexadecimal digits"},
        {L"\"\\xZ1\"", 1, 2, L"\\x must be followed by two hexadecimal digits"},
        {L"{\r\n  \"a\": \"x\ty\"\r\n}", 2, 10,
         L"a control character in a string must be written as an escape"},
        {L"[1e9999999999999999999]", 1, 2, L"the exponent of this number is too large"},
    };
    for (const Case& c : cases) {
        const TJsonError error = MustFail(c.document);
        EXPECT_EQ(error.Reason, c.reason) << c.document;
        EXPECT_EQ(error.Line, c.line) << c.document;
        EXPECT_EQ(error.Column, c.column) << c.document;
    }
    EXPECT_EQ(MustFail(L"{\n\"a\" 1}").Describe(),
              L"line 2, column 5: expected ':' after the member name");
    // An exponent with leading zeros is still short.
    EXPECT_EQ(TextOf(L"1e0000000000000000000000002"), L"100");
}

TEST(JsonReader, NestingIsLimited) {
    auto nested = [](std::size_t depth, const std::wstring& open, const std::wstring& close) {
        std::wstring text;
        for (std::size_t i = 0; i < depth; ++i)
            text += open;
        text += L"1";
        for (std::size_t i = 0; i < depth; ++i)
            text += close;
        return text;
    };
    const std::wstring tooDeep = L"objects and arrays are nested more than 512 levels deep";

    EXPECT_EQ(MustParse(nested(kJsonMaxDepth, L"[", L"]")).Kind, TJsonKind::Array);
    EXPECT_EQ(MustParse(nested(kJsonMaxDepth, L"{a:", L"}")).Kind, TJsonKind::Object);
    const TJsonError arrays = MustFail(nested(kJsonMaxDepth + 1, L"[", L"]"));
    EXPECT_EQ(arrays.Reason, tooDeep);
    EXPECT_EQ(arrays.Column, kJsonMaxDepth + 1);
    EXPECT_EQ(MustFail(nested(kJsonMaxDepth + 1, L"{'a':", L"}")).Reason, tooDeep);
    // Far deeper input must fail the same way instead of exhausting the stack.
    EXPECT_EQ(MustFail(std::wstring(200000, L'[')).Reason, tooDeep);
    EXPECT_EQ(MustFail(nested(100000, L"[{a:", L"}]")).Reason, tooDeep);
}

TEST(JsonReader, EveryTruncationOfADocumentFails) {
    const std::wstring document =
        L"{\r\n    'Title': \"T\\u00e9\\x41\\\"\", // note\r\n    Version: 1.2.3,\r\n"
        L"    \"n\": [-1.5e+3, true, false, null, {}], /* block */\r\n    \"o\": {k: v,},\r\n}";
    ASSERT_EQ(MustParse(document).Kind, TJsonKind::Object);
    for (std::size_t length = 0; length < document.size(); ++length) {
        const std::wstring prefix = document.substr(0, length);
        const TJsonError error = MustFail(prefix);
        EXPECT_FALSE(error.Reason.empty());
        EXPECT_GE(error.Line, 1u);
        EXPECT_LE(error.Line, 6u);
        EXPECT_GE(error.Column, 1u);
    }
}

} // namespace
