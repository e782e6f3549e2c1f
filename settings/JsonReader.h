#pragma once
// The lenient JSON reader behind the installer settings. It reads RFC 8259 JSON plus the
// looser forms that hand-written settings documents use (single quotes, bare names and values,
// comments, trailing commas). Portable: builds natively and for Windows.

#include <cstddef>
#include <string>
#include <vector>

enum class TJsonKind { Null, False, True, Number, String, Object, Array };

struct TJsonMember;

// One parsed value. Only the fields that belong to its kind are filled.
struct TJsonValue {
    TJsonKind Kind = TJsonKind::Null;
    // Number: the literal exactly as written (a valid RFC 8259 number); String: its characters.
    std::wstring Text;
    // Number only: true when the literal has neither a fraction nor an exponent.
    bool IsInteger = false;
    // Object only: the members in document order, duplicate names included.
    std::vector<TJsonMember> Members;
    // Array only: the elements in document order.
    std::vector<TJsonValue> Items;

    // Returns the value of the last member named exactly `name` (code unit by code unit), or
    // nullptr when this is not an object or has no such member.
    const TJsonValue* Find(const std::wstring& name) const;
};

struct TJsonMember {
    std::wstring Name;
    TJsonValue Value;
};

// Structural equality: same kind, same text, same members and items in the same order.
bool operator==(const TJsonValue& a, const TJsonValue& b);

// Why and where a text could not be parsed. Line and column count from 1; the column counts
// code units of the text (UTF-16 units on Windows, code points natively).
struct TJsonError {
    std::wstring Reason;
    std::size_t Line = 0;
    std::size_t Column = 0;

    // Returns "line L, column C: reason".
    std::wstring Describe() const;
};

// The deepest nesting of objects and arrays that the reader accepts.
inline constexpr std::size_t kJsonMaxDepth = 512;

// Parses the first complete value of `text` and ignores whatever follows it. Returns true and
// sets `value` on success; returns false and sets `error` (leaving `value` alone) otherwise.
// Safe on any input: time and memory stay linear in the text's length.
bool ParseJson(const std::wstring& text, TJsonValue& value, TJsonError& error);

// Returns the value as settings text: a string's characters, "null", "true", "false", an
// integer's digits as written, other numbers rounded to at most 15 significant digits
// ("3.5", "1e+20"), an object or array as compact JSON text.
std::wstring ValueAsText(const TJsonValue& value);

// The kind as messages name it: "null", "a Boolean", "a number", "a string", "an object",
// "an array".
const wchar_t* JsonKindName(TJsonKind kind);

// Returns the value as a settings Boolean: null false, a number true unless zero, a string true
// unless empty, an object or array true.
bool ValueAsBoolean(const TJsonValue& value);

// Returns the value as compact, strict JSON text that ParseJson reads back to an equal value.
std::wstring ValueToJson(const TJsonValue& value);

// Returns `text` as a strict JSON string literal: quoted, with '"', '\' and control
// characters escaped, every other character as it is.
std::wstring JsonQuote(const std::wstring& text);
