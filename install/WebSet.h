#pragma once
// The credentials file "webset.dat" that the product reads after installing. Portable.

#include <string>

// The file's one line: {"username":<TAB>"…","password":<TAB>"…"} with no other white space.
// The texts are written as JSON strings ('"', '\' and control characters escaped), so the
// line is always valid JSON; other characters stand as they are.
std::wstring WebSetLine(const std::wstring& userName, const std::wstring& password);
