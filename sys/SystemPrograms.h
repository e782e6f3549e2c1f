#pragma once
// The system's own programs, started by their full path in the system folder. A bare name
// would be searched for in the current folder (the download folder of a double-clicked
// setup.exe) before the system folder, and the program runs elevated.

#include "sys/Win32Handle.h"

#include <string>

// The system folder ("C:\Windows\system32"); "" when the system cannot tell.
std::wstring SystemFolder();

// The full path of the program `name` in the system folder; "" when the folder is unknown.
std::wstring SystemProgramPath(const std::wstring& name);

// The command line that registers the COM server `dllPath` with the system's regsvr32,
// silently ("<system>\regsvr32.exe" /s  "<dll>"), or with `unregister` unregisters it
// (... /u /s "<dll>"); "" when the system folder is unknown.
std::wstring ComServerCommandLine(const std::wstring& dllPath, bool unregister);

// Starts `program` (a full path) with `commandLine` (which names it first), hidden, in the
// system folder; returns the process handle, empty when it could not be started.
THandle StartSystemProgram(const std::wstring& program, std::wstring commandLine);
