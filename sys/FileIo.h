#pragma once
// Small file-system helpers shared by the functions of MyCommonFuns. Windows only.

#include <windows.h>

#include <string>
#include <string_view>

// True when `path` names an existing file (not a directory).
bool FileExists(const std::wstring& path);

// True when `path` names an existing directory.
bool DirectoryExists(const std::wstring& path);

// Writes all of `bytes` to the open `file`; false (GetLastError set) when a write fails.
bool WriteAllBytes(HANDLE file, std::string_view bytes);

// Reads `file` from its current position to its end into `bytes`; false (GetLastError set)
// when a read fails.
bool ReadAllBytes(HANDLE file, std::string& bytes);
