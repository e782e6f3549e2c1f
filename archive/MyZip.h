#pragma once
// Extraction of the payload archive into the installation directory.

#include "archive/ZipHost.h"

#include <string>

// Extracts every entry of the archive `zipPath` below `targetDir` through `host`, replacing
// existing files, recreating stored folders and applying stored attributes and times.
// Entries that cannot be extracted (wrong password, unsupported method, bad CRC-32, a name
// leading outside `targetDir`, a file that cannot be created) are skipped silently; a corrupt
// or truncated archive throws EInstallerError with the reader's message. Returns true when
// every entry of the archive was extracted (and its CRC-32 checked), false when any was skipped.
bool UnzipArchive(IZipHost& host, const std::wstring& zipPath, const std::wstring& targetDir,
                  const std::wstring& password);

// As above through the platform's own host (Win32 on Windows, POSIX natively, where the
// paths are converted to UTF-8 and "\" becomes "/"); pumps no window messages natively.
bool UnzipArchive(const std::wstring& zipPath, const std::wstring& targetDir,
                  const std::wstring& password);
