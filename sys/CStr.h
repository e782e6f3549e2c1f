#pragma once
// String functions shared by the workflow. Portable: builds natively and for Windows.

#include <string>

// Returns `text` with every occurrence of `oldPattern` replaced by `newPattern`, scanning left
// to right so that matches never overlap and inserted text is never searched again.
// Case-insensitive matching (caseSensitive false) compares upper-case forms under the user's
// locale. An empty `oldPattern` leaves the text unchanged.
std::wstring StrReplaceAll(const std::wstring& text, const std::wstring& oldPattern,
                           const std::wstring& newPattern, bool caseSensitive);

// Returns the last character of `text` as a one-character string; "" for an empty text.
std::wstring LastChar(const std::wstring& text);

// Returns `text` upper-cased under the user's locale, one code unit for one code unit.
std::wstring UpperCaseUserLocale(const std::wstring& text);
