#include "sys/TextEncoding.h"

#include <cstdint>

namespace {

constexpr char32_t kReplacement = 0xFFFD;
constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

bool IsHighSurrogate(char32_t u) {
    return u >= 0xD800 && u <= 0xDBFF;
}
bool IsLowSurrogate(char32_t u) {
    return u >= 0xDC00 && u <= 0xDFFF;
}
bool IsSurrogate(char32_t u) {
    return u >= 0xD800 && u <= 0xDFFF;
}

std::uint8_t Byte(std::string_view s, std::size_t i) {
    return static_cast<std::uint8_t>(s[i]);
}

// The value of one wchar_t as an unsigned number (wchar_t is signed on Linux).
char32_t Unit(wchar_t c) {
    if constexpr (sizeof(wchar_t) == 2)
        return static_cast<std::uint16_t>(c);
    else
        return static_cast<std::uint32_t>(c);
}

void AppendCodePoint(std::wstring& out, char32_t cp) {
    if constexpr (sizeof(wchar_t) == 2) {
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<wchar_t>(0xD800 + (cp >> 10));
            out += static_cast<wchar_t>(0xDC00 + (cp & 0x3FF));
            return;
        }
    }
    out += static_cast<wchar_t>(cp);
}

// UTF-16 code units become wchar_t one for one where wchar_t is 16 bits; where it is 32 bits
// pairs are joined so that the text holds code points, as everywhere else natively.
template <bool BigEndian> std::wstring DecodeUtf16(std::string_view bytes) {
    std::wstring out;
    out.reserve(bytes.size() / 2);
    auto unitAt = [&](std::size_t i) -> char32_t {
        return BigEndian ? (Byte(bytes, i) << 8) | Byte(bytes, i + 1)
                         : Byte(bytes, i) | (Byte(bytes, i + 1) << 8);
    };
    const std::size_t units = bytes.size() / 2;
    for (std::size_t k = 0; k < units; ++k) {
        const char32_t u = unitAt(2 * k);
        if constexpr (sizeof(wchar_t) != 2) {
            if (IsHighSurrogate(u) && k + 1 < units && IsLowSurrogate(unitAt(2 * k + 2))) {
                const char32_t low = unitAt(2 * k + 2);
                out += static_cast<wchar_t>(0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
                ++k;
                continue;
            }
        }
        out += static_cast<wchar_t>(u);
    }
    return out;
}

struct TUtf8Step {
    char32_t codePoint; // valid only when `valid`
    std::size_t length; // bytes consumed: the sequence, or its maximal invalid prefix
    bool valid;
};

// Reads one sequence at `i` by the well-formed byte table of the Unicode standard, which
// rules out overlong forms, surrogates and values beyond U+10FFFF by the second byte's range.
TUtf8Step ReadUtf8(std::string_view s, std::size_t i) {
    const std::uint8_t b0 = Byte(s, i);
    if (b0 < 0x80)
        return {b0, 1, true};
    std::size_t trail;
    char32_t cp;
    std::uint8_t lo = 0x80, hi = 0xBF;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        trail = 1;
        cp = b0 & 0x1F;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        trail = 2;
        cp = b0 & 0x0F;
        if (b0 == 0xE0)
            lo = 0xA0;
        else if (b0 == 0xED)
            hi = 0x9F;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        trail = 3;
        cp = b0 & 0x07;
        if (b0 == 0xF0)
            lo = 0x90;
        else if (b0 == 0xF4)
            hi = 0x8F;
    } else {
        return {0, 1, false};
    }
    for (std::size_t k = 1; k <= trail; ++k) {
        if (i + k >= s.size())
            return {0, k, false};
        const std::uint8_t b = Byte(s, i + k);
        if (b < lo || b > hi)
            return {0, k, false};
        lo = 0x80;
        hi = 0xBF;
        cp = (cp << 6) | (b & 0x3F);
    }
    return {cp, trail + 1, true};
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Calls onLine(start, length) for each line of `text`, by the rules of SplitLines.
template <typename OnLine> void ForEachLine(std::wstring_view text, OnLine onLine) {
    const std::size_t nul = text.find(L'\0');
    if (nul != std::wstring_view::npos)
        text = text.substr(0, nul);
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t start = pos;
        while (pos < text.size() && text[pos] != L'\r' && text[pos] != L'\n')
            ++pos;
        onLine(text.substr(start, pos - start));
        if (pos == text.size())
            break;
        const bool cr = text[pos] == L'\r';
        ++pos;
        if (cr && pos < text.size() && text[pos] == L'\n')
            ++pos;
    }
}

} // namespace

TByteOrderMark DetectByteOrderMark(std::string_view bytes) {
    if (bytes.size() >= 2 && Byte(bytes, 0) == 0xFF && Byte(bytes, 1) == 0xFE)
        return TByteOrderMark::Utf16LE;
    if (bytes.size() >= 2 && Byte(bytes, 0) == 0xFE && Byte(bytes, 1) == 0xFF)
        return TByteOrderMark::Utf16BE;
    if (bytes.substr(0, 3) == kUtf8Mark)
        return TByteOrderMark::Utf8;
    return TByteOrderMark::None;
}

std::size_t ByteOrderMarkLength(TByteOrderMark mark) {
    switch (mark) {
    case TByteOrderMark::Utf16LE:
    case TByteOrderMark::Utf16BE:
        return 2;
    case TByteOrderMark::Utf8:
        return 3;
    case TByteOrderMark::None:
        break;
    }
    return 0;
}

std::wstring DecodeUtf16LE(std::string_view bytes) {
    return DecodeUtf16<false>(bytes);
}

std::wstring DecodeUtf16BE(std::string_view bytes) {
    return DecodeUtf16<true>(bytes);
}

std::optional<std::wstring> DecodeUtf8Strict(std::string_view bytes) {
    std::wstring out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) {
        const TUtf8Step step = ReadUtf8(bytes, i);
        if (!step.valid)
            return std::nullopt;
        AppendCodePoint(out, step.codePoint);
        i += step.length;
    }
    return out;
}

std::wstring DecodeUtf8Lenient(std::string_view bytes) {
    std::wstring out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) {
        const TUtf8Step step = ReadUtf8(bytes, i);
        AppendCodePoint(out, step.valid ? step.codePoint : kReplacement);
        i += step.length;
    }
    return out;
}

std::string EncodeUtf8(std::wstring_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t cp = Unit(text[i]);
        // Pairs are joined on both platforms: natively a text may still hold UTF-16 units.
        if (IsHighSurrogate(cp) && i + 1 < text.size() && IsLowSurrogate(Unit(text[i + 1]))) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (Unit(text[i + 1]) - 0xDC00);
            ++i;
        } else if (IsSurrogate(cp) || cp > 0x10FFFF) {
            cp = kReplacement;
        }
        AppendUtf8(out, cp);
    }
    return out;
}

std::vector<std::wstring> SplitLines(std::wstring_view text) {
    std::vector<std::wstring> lines;
    ForEachLine(text, [&](std::wstring_view line) { lines.emplace_back(line); });
    return lines;
}

std::wstring NormaliseLines(std::wstring_view text) {
    std::wstring out;
    out.reserve(text.size() + 2);
    ForEachLine(text, [&](std::wstring_view line) {
        out += line;
        out += L"\r\n";
    });
    return out;
}

std::wstring DecodeText(std::string_view bytes, bool asUtf8, const ICodePage& ansi) {
    if (asUtf8) {
        if (bytes.substr(0, 3) == kUtf8Mark)
            bytes.remove_prefix(3);
        return DecodeUtf8Strict(bytes).value_or(std::wstring());
    }
    const TByteOrderMark mark = DetectByteOrderMark(bytes);
    const std::string_view body = bytes.substr(ByteOrderMarkLength(mark));
    switch (mark) {
    case TByteOrderMark::Utf16LE:
        return DecodeUtf16LE(body);
    case TByteOrderMark::Utf16BE:
        return DecodeUtf16BE(body);
    case TByteOrderMark::Utf8:
        return DecodeUtf8Strict(body).value_or(std::wstring());
    case TByteOrderMark::None:
        break;
    }
    return ansi.ToWide(body);
}

std::string EncodeText(std::wstring_view text, bool asUtf8, const ICodePage& ansi) {
    if (asUtf8)
        return std::string(kUtf8Mark) + EncodeUtf8(text);
    return ansi.FromWide(text);
}
