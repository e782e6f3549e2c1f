#pragma once
// Turns the payload folder into the list of archive entries: every file and folder below it,
// with the names, times and attributes the installer will give them, in a sorted order so
// that the same folder always gives the same archive. Names that Windows cannot hold, or
// that would land on one another there, are errors. Portable.

#include "tools/packer/Diagnostics.h"
#include "tools/packer/PayloadEntry.h"

#include <filesystem>
#include <string>
#include <vector>

// Scans `folder` (named `label` in messages). Adds an error for every entry that cannot be
// packed faithfully and a warning for read-only files. Returns the entries in byte order of
// their names, each folder before its contents.
std::vector<TPayloadEntry> ScanPayload(const std::filesystem::path& folder,
                                       const std::string& label, TDiagnostics& diagnostics);

// Returns the reason why `component` (one UTF-8 path component) cannot be a file or folder
// name on Windows, or "" when it can.
std::string WindowsNameProblem(const std::string& component);

// Returns a DOS date and time for a moment given as seconds since 1970 (UTC), in the local
// time zone, clamped to the years DOS times can hold (1980 to 2107).
TDosDateTime DosTimeOf(std::int64_t unixSeconds);

// Returns `text` with ASCII letters in upper case: how Windows file names compare for the
// names a product uses.
std::string FoldCase(std::string text);
