#pragma once
// The list and verify commands: what a setup.exe carries (its resources, its settings, its
// pictures and its archive's entries), read without running it; verify also extracts every
// entry through the installer's own archive reader into nothing and compares each file's
// size and CRC-32 with the archive's, checks the PE checksum, the settings and the pictures.
// For a program without the data resources, config.dat and app.data beside it are read, as
// the installer does. Portable.

#include <filesystem>

// Lists (verify false) or verifies the setup program `path`; returns the exit code
// (ExitCodes.h): kDamaged when verify found a fault.
int RunInspect(const std::filesystem::path& path, bool verify);
