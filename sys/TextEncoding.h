#pragma once
// Bytes to text and back: byte-order marks, UTF-16, UTF-8, the system's code pages and the
// line form that every text file and text resource of the installer is turned into.
// Portable: std::wstring holds UTF-16 where wchar_t has 16 bits (Windows) and UTF-32 where it
// has 32 (Linux); nothing here calls the operating system.
//
// Raw bytes travel as std::string / std::string_view: a byte container, no encoding implied.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A code page of the system (on Windows the ANSI or the OEM code page). Conversions are
// lenient on purpose: text of a foreign code page must still load, if garbled.
class ICodePage {
public:
    virtual ~ICodePage() = default;
    // Decodes `bytes`; a byte sequence without a mapping becomes a substitute character.
    virtual std::wstring ToWide(std::string_view bytes) const = 0;
    // Encodes `text`; a character without a mapping becomes the code page's substitute.
    virtual std::string FromWide(std::wstring_view text) const = 0;
};

enum class TByteOrderMark { None, Utf16LE, Utf16BE, Utf8 };

// Returns the mark `bytes` begins with, tested as FF FE, FE FF, EF BB BF in that order.
TByteOrderMark DetectByteOrderMark(std::string_view bytes);

// Returns the length in bytes of `mark` (0 for None).
std::size_t ByteOrderMarkLength(TByteOrderMark mark);

// Decodes UTF-16 little-endian bytes; a trailing odd byte is dropped, unpaired surrogates
// are kept as they are.
std::wstring DecodeUtf16LE(std::string_view bytes);

// Decodes UTF-16 big-endian bytes, otherwise as DecodeUtf16LE.
std::wstring DecodeUtf16BE(std::string_view bytes);

// Decodes UTF-8 strictly: nullopt as soon as any sequence is invalid (a stray or missing
// continuation byte, an overlong form, a surrogate code point, a value beyond U+10FFFF).
std::optional<std::wstring> DecodeUtf8Strict(std::string_view bytes);

// Decodes UTF-8 leniently: each maximal invalid subsequence becomes one U+FFFD.
std::wstring DecodeUtf8Lenient(std::string_view bytes);

// Encodes `text` as UTF-8 without a mark; an unpaired surrogate becomes U+FFFD.
std::string EncodeUtf8(std::wstring_view text);

// Splits `text` into lines at CR LF, a lone CR and a lone LF; a NUL ends the text. A line
// break at the very end adds no empty line, so "" and "a\n" give no line and one line.
std::vector<std::wstring> SplitLines(std::wstring_view text);

// Returns the lines of `text` (as SplitLines) each followed by CR LF; "" stays "".
std::wstring NormaliseLines(std::wstring_view text);

// Decodes the bytes of a text file or resource, without touching its lines. asUtf8: a
// leading EF BB BF is skipped and the rest decoded strictly, "" when it is not valid UTF-8.
// Otherwise the byte-order mark chooses UTF-16 LE, UTF-16 BE or (strict) UTF-8 and is
// dropped; bytes without a mark are decoded in `ansi`.
std::wstring DecodeText(std::string_view bytes, bool asUtf8, const ICodePage& ansi);

// Encodes text for a text file, without touching its lines: asUtf8 gives EF BB BF followed
// by UTF-8, otherwise the bytes of `ansi` without a mark.
std::string EncodeText(std::wstring_view text, bool asUtf8, const ICodePage& ansi);
