#pragma once
// What turns an extracted file tree into an installed product, as free steps over the settings
// and the target folder: the window's handlers run them, and tests run them in a scratch folder.

#include "settings/InstallerSettings.h"

#include <string>

// The registration after the files are in `targetDir`: shortcuts (not in a silent run), the
// uninstaller (a copy of the running program), the settings copy of a loose package, the
// credentials file, the URL protocol, the COM server, the uninstall entry with the values
// deployment tools read (`payloadBytes` gives the estimated size), the post-install scripts.
// False when the uninstaller or the uninstall entry could not be written.
bool RegisterInstallation(const TInstallerSettings& settings, const std::wstring& targetDir,
                          bool silent, unsigned long long payloadBytes);

// The main program's full path: `targetDir` + "\" + MainProgPath + MainProg, joined as they
// stand.
std::wstring MainProgramPath(const TInstallerSettings& settings, const std::wstring& targetDir);
