#pragma once
// Removing an installation, as a free step over the settings and the installation folder: the
// uninstall run calls it, and tests run it in a scratch folder without a window.

#include "settings/InstallerSettings.h"

#include <string>

struct TRemovalOutcome {
    // Nothing is left of what was to be removed but dot-named entries and the uninstaller
    // itself, or what the restart removes.
    bool complete = true;
    // Files that other programs hold open, and folders left holding only them, which the
    // system deletes at the next restart.
    unsigned scheduled = 0;
};

// The removal, in this order: the main program ended (waited for), its shortcuts, the COM
// server unregistered (waited for), the data folder and the installation folder `targetDir`
// emptied unless protected (install/ProtectedFolders.h), then the uninstall entry, the
// "Uninstall" shortcut, the empty Programs sub-folder and this installation's URL protocol.
// `uninstaller` is the running uninstaller's path: kept when it lies in `targetDir` (a script
// deletes it once it has exited), and what the uninstall entry must name to be removed.
TRemovalOutcome RemoveInstallation(const TInstallerSettings& settings,
                                   const std::wstring& targetDir, const std::wstring& uninstaller);
