#pragma once
// The log of a run that "/log=PATH" asks for: UTF-8 with a byte-order mark, CR LF line ends,
// each line headed by the seconds since the log was opened. Lines gather in memory and are
// appended in blocks, so that a line for every file of a large payload costs little. A log
// that cannot be written never stops the run. Safe to call from any thread.

#include <string>

// Creates (or replaces) the log file at `path`; false when it cannot be created, and then
// nothing is logged.
bool OpenRunLog(const std::wstring& path);

// True while a log is open: callers may skip building lines otherwise.
bool RunLogOpen();

// Appends one line (without its line end); nothing when no log is open.
void LogLine(const std::wstring& line);

// Writes what is gathered and closes the log.
void CloseRunLog();
