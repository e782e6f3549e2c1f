#pragma once
// The little the packer needs from the operating system beyond the C++ library: its own
// path, UTF-8 console output and local time.
// PlatformPosix.cpp and PlatformWin32.cpp implement it.

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string_view>

// Returns the path of the running packer executable.
std::filesystem::path OwnExecutablePath();

// Writes UTF-8 text to `stream` so that it shows correctly on the console (on Windows a
// console gets UTF-16; a pipe or file gets the UTF-8 bytes).
void WriteText(std::FILE* stream, std::string_view utf8);

// True when `stream` is an interactive terminal (progress is redrawn in place there).
bool IsTerminal(std::FILE* stream);

// Returns `time` broken down in the system's local time zone.
std::tm LocalCalendar(std::time_t time);

// Returns the running process's identifier (for names of temporary files).
unsigned long CurrentProcessId();
