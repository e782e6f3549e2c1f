#pragma once
// The running program's own file, held open from start-up to the end of the process. The
// program runs elevated and may have been started from a folder that other users can write:
// once it runs, its file could be renamed and another put in its place. Every byte the
// program takes from its own file (the embedded archive, the uninstaller's copy) is read
// through this handle, never again by the file's name.

#include "sys/MessagePump.h"

#include <windows.h>

#include <cstdint>
#include <string>

// Opens the running executable's file for reading, sharing it for reading only, and keeps the
// handle for the life of the process: from then on nobody can write, rename or delete it.
// Call it first thing at start-up; later calls do nothing. False when it cannot be opened.
bool HoldProgramFile();

// The handle HoldProgramFile keeps; nullptr when the program file is not held.
HANDLE ProgramFile();

// Copies `size` bytes from `offset` of the held program file to the current position of
// `target`, calling `pump` (when given) after each block of at most 1 MB; false when the
// program file is not held, or reading or writing falls short.
bool CopyFromProgramFile(std::uint64_t offset, std::uint64_t size, HANDLE target,
                         const TPump& pump = {});

// Writes the whole held program file to `target`, replacing a file of that name, calling
// `pump` (when given) after each block as CopyFromProgramFile does: the file is the whole
// setup with its payload, often 100 MB or more. False, with a partial copy removed, when the
// program file is not held or the copy fails.
bool CopyProgramFileTo(const std::wstring& target, const TPump& pump = {});
