#pragma once
// The system's own text for an error code, as error messages quote it. Windows only.

#include <windows.h>

#include <string>

// Returns FormatMessageW's text for `code` without its trailing line break; for a code the
// system has no text for, "System error <code>".
std::wstring SysErrorMessage(DWORD code);
