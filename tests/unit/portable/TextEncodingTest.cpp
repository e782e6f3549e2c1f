#include "sys/TextEncoding.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace std::string_literals;

namespace {

// A stand-in for the ANSI code page that is the same on every machine: each byte is the
// character of that number, and characters above 0xFF become "?".
class TLatin1CodePage final : public ICodePage {
public:
    std::wstring ToWide(std::string_view bytes) const override {
        std::wstring text;
        for (const char b : bytes)
            text += static_cast<wchar_t>(static_cast<unsigned char>(b));
        return text;
    }
    std::string FromWide(std::wstring_view text) const override {
        std::string bytes;
        for (const wchar_t c : text)
            bytes += static_cast<unsigned>(c) <= 0xFF ? static_cast<char>(c) : '?';
        return bytes;
    }
};

const TLatin1CodePage kLatin1;

// U+1F600 as this platform's wchar_t holds it: a surrogate pair on Windows, one unit natively.
const std::wstring kGrinning = L"\U0001F600";

} // namespace

TEST(TextEncodingTest, ByteOrderMarksAreTestedInOrder) {
    struct Case {
        std::string bytes;
        TByteOrderMark mark;
    };
    const Case cases[] = {
        {"\xFF\xFE", TByteOrderMark::Utf16LE},
        // FF FE 00 00 would be UTF-32 elsewhere; here FF FE is tested first and wins.
        {std::string("\xFF\xFE\x00\x00", 4), TByteOrderMark::Utf16LE},
        {"\xFE\xFFx", TByteOrderMark::Utf16BE},
        {"\xEF\xBB\xBFx", TByteOrderMark::Utf8},
        {"\xEF\xBB", TByteOrderMark::None},
        {"\xFF", TByteOrderMark::None},
        {"", TByteOrderMark::None},
        {"abc", TByteOrderMark::None},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DetectByteOrderMark(c.bytes), c.mark) << "bytes of length " << c.bytes.size();
    }
    EXPECT_EQ(ByteOrderMarkLength(TByteOrderMark::Utf16BE), 2u);
    EXPECT_EQ(ByteOrderMarkLength(TByteOrderMark::Utf8), 3u);
    EXPECT_EQ(ByteOrderMarkLength(TByteOrderMark::None), 0u);
}

TEST(TextEncodingTest, Utf16DecodesBothByteOrders) {
    // "Aä中" and U+1F600 (D83D DE00), then a trailing odd byte that is dropped.
    const std::string le("A\0\xE4\0\x2D\x4E\x3D\xD8\x00\xDE!", 11);
    const std::string be("\0A\0\xE4\x4E\x2D\xD8\x3D\xDE\x00!", 11);
    const std::wstring expected = L"A\u00E4\u4E2D" + kGrinning;
    EXPECT_EQ(DecodeUtf16LE(le), expected);
    EXPECT_EQ(DecodeUtf16BE(be), expected);
    EXPECT_EQ(DecodeUtf16LE(""), L"");
    // An unpaired surrogate is kept rather than dropped or replaced.
    const std::wstring lone = DecodeUtf16LE(std::string("\x00\xD8x\0", 4));
    ASSERT_EQ(lone.size(), 2u);
    EXPECT_EQ(static_cast<unsigned>(lone[0]), 0xD800u);
    EXPECT_EQ(lone[1], L'x');
}

TEST(TextEncodingTest, StrictUtf8AcceptsWellFormedText) {
    struct Case {
        std::string bytes;
        std::wstring text;
    };
    const Case cases[] = {
        {"", L""},
        {"plain", L"plain"},
        {std::string("a\0b", 3), std::wstring(L"a\0b", 3)},
        {"\xC2\x80\xDF\xBF", L"\u0080\u07FF"},
        {"\xE0\xA0\x80\xED\x9F\xBF\xEE\x80\x80\xEF\xBF\xBF", L"\u0800\uD7FF\uE000\uFFFF"},
        {"\xE4\xB8\xAD\xE6\x96\x87", L"\u4E2D\u6587"},
        {"\xF0\x9F\x98\x80", kGrinning},
        {"\xF0\x90\x80\x80", L"\U00010000"},
        {"\xF4\x8F\xBF\xBF", L"\U0010FFFF"},
    };
    for (const Case& c : cases) {
        const auto decoded = DecodeUtf8Strict(c.bytes);
        ASSERT_TRUE(decoded.has_value()) << "rejected: " << c.bytes;
        EXPECT_EQ(*decoded, c.text);
        EXPECT_EQ(EncodeUtf8(c.text), c.bytes) << "round trip of " << c.bytes;
    }
}

TEST(TextEncodingTest, StrictUtf8RejectsEveryMalformedSequence) {
    const std::string invalid[] = {
        "\x80",             // stray continuation byte
        "ab\xBF",           // stray continuation byte after text
        "\xC0\x80",         // overlong NUL
        "\xC1\xBF",         // overlong 2-byte form
        "\xE0\x9F\xBF",     // overlong 3-byte form
        "\xF0\x8F\xBF\xBF", // overlong 4-byte form
        "\xED\xA0\x80",     // high surrogate U+D800
        "\xED\xBF\xBF",     // low surrogate U+DFFF
        "\xF4\x90\x80\x80", // U+110000
        "\xF5\x80\x80\x80", // lead byte beyond the range
        "\xFF",             // never a UTF-8 byte
        "\xE4\xB8",         // truncated at the end
        "\xE4\xB8x",        // truncated before text
        "\xF0\x9F\x98",     // truncated 4-byte form
        "x\xC3",            // truncated 2-byte form
    };
    for (const std::string& bytes : invalid) {
        EXPECT_FALSE(DecodeUtf8Strict("ok " + bytes + " ok").has_value()) << "accepted: " << bytes;
    }
}

TEST(TextEncodingTest, LenientUtf8ReplacesEachMaximalInvalidSubpart) {
    // One replacement for a truncated sequence, one per byte that cannot start one.
    EXPECT_EQ(DecodeUtf8Lenient("a\xE4\xB8"
                                "b"),
              L"a\uFFFDb");
    EXPECT_EQ(DecodeUtf8Lenient("\xC0\x80"), L"\uFFFD\uFFFD");
    EXPECT_EQ(DecodeUtf8Lenient("\xED\xA0\x80x"), L"\uFFFD\uFFFD\uFFFDx");
    EXPECT_EQ(DecodeUtf8Lenient("\xF0\x9F\x98\x80\xFF"), kGrinning + L"\uFFFD");
}

TEST(TextEncodingTest, Utf8EncodingReplacesUnpairedSurrogates) {
    std::wstring text = L"a";
    text += static_cast<wchar_t>(0xDC00);
    text += L"b";
    text += static_cast<wchar_t>(0xD83D);
    EXPECT_EQ(EncodeUtf8(text), "a\xEF\xBF\xBD"
                                "b\xEF\xBF\xBD");
    // A pair held as two units is one character on either platform.
    std::wstring pair;
    pair += static_cast<wchar_t>(0xD83D);
    pair += static_cast<wchar_t>(0xDE00);
    EXPECT_EQ(EncodeUtf8(pair), "\xF0\x9F\x98\x80");
}

TEST(TextEncodingTest, LinesEndWithCrLfWhateverTheirBreaks) {
    struct Case {
        std::wstring text;
        std::wstring normalised;
        std::size_t lines;
    };
    const Case cases[] = {
        {L"", L"", 0},
        {L"x", L"x\r\n", 1},
        {L"a\nb", L"a\r\nb\r\n", 2},
        {L"a\r\nb\r\n", L"a\r\nb\r\n", 2},
        {L"a\rb", L"a\r\nb\r\n", 2},
        {L"a\n\rb", L"a\r\n\r\nb\r\n", 3}, // LF CR is two breaks, not one
        {L"a\r\r\nb", L"a\r\n\r\nb\r\n", 3},
        {L"\r\n", L"\r\n", 1},
        {L"\n\n", L"\r\n\r\n", 2},
        {L"a\r\n\r\n", L"a\r\n\r\n", 2},
        {std::wstring(L"ab\0cd\nef", 8), L"ab\r\n", 1}, // a NUL ends the text
        {std::wstring(L"\0x", 2), L"", 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(NormaliseLines(c.text), c.normalised);
        EXPECT_EQ(SplitLines(c.text).size(), c.lines);
    }
    EXPECT_EQ(SplitLines(L"one\r\ntwo\rthree\n"),
              (std::vector<std::wstring>{L"one", L"two", L"three"}));
}

TEST(TextEncodingTest, DecodeTextWithoutEncodingFollowsTheMark) {
    struct Case {
        std::string bytes;
        std::wstring text;
    };
    const Case cases[] = {
        {"\xFF\xFE"
         "a\0\xE4\0"s,
         L"a\u00E4"},
        {"\xFE\xFF\0a\0\xE4"s, L"a\u00E4"},
        {"\xEF\xBB\xBF"
         "a\xC3\xA4",
         L"a\u00E4"},
        {"\xEF\xBB\xBF"
         "a\xC3",
         L""},                           // marked UTF-8 is decoded strictly too
        {"a\xC3\xA4", L"a\u00C3\u00A4"}, // no mark: the ANSI code page
        {"\xEF\xBB", L"\u00EF\u00BB"},
        {"", L""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DecodeText(c.bytes, false, kLatin1), c.text);
    }
}

TEST(TextEncodingTest, DecodeTextAsUtf8SkipsOnlyItsOwnMark) {
    EXPECT_EQ(DecodeText("\xEF\xBB\xBFx\xE4\xB8\xAD", true, kLatin1), L"x\u4E2D");
    EXPECT_EQ(DecodeText("x\xE4\xB8\xAD", true, kLatin1), L"x\u4E2D");
    // Another mark is not looked for: FF is not UTF-8, so the text is empty.
    EXPECT_EQ(DecodeText("\xFF\xFEx\0"s, true, kLatin1), L"");
    // One bad byte anywhere empties the whole text.
    EXPECT_EQ(DecodeText("good line\r\nbad \xE9 byte\r\n", true, kLatin1), L"");
    // A second mark is text (U+FEFF), not skipped.
    EXPECT_EQ(DecodeText("\xEF\xBB\xBF\xEF\xBB\xBF", true, kLatin1), L"\uFEFF");
}

TEST(TextEncodingTest, EncodeTextChoosesMarkAndCodePage) {
    EXPECT_EQ(EncodeText(L"x\r\n", true, kLatin1), "\xEF\xBB\xBFx\r\n");
    EXPECT_EQ(EncodeText(L"", true, kLatin1), "\xEF\xBB\xBF");
    EXPECT_EQ(EncodeText(L"\u00E4\u4E2D\r\n", true, kLatin1),
              "\xEF\xBB\xBF\xC3\xA4\xE4\xB8\xAD\r\n");
    EXPECT_EQ(EncodeText(L"\u00E4\u4E2D\r\n", false, kLatin1), "\xE4?\r\n");
    EXPECT_EQ(EncodeText(L"", false, kLatin1), "");
}
