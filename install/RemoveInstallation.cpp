// Removing an installation: its files and folders, shortcuts and registration.

#include "install/RemoveInstallation.h"

#include "install/Pacing.h"
#include "install/ProtectedFolders.h"
#include "install/RegisterInstallation.h"
#include "install/RegistryWriters.h"
#include "install/UninstallShortcuts.h"
#include "sys/CStr.h"
#include "sys/DirWalk.h"
#include "sys/FileIo.h"
#include "sys/MessagePump.h"
#include "sys/MyCommonFuns.h"
#include "sys/ShortcutTarget.h"
#include "sys/SystemPrograms.h"
#include "sys/Win32DirHost.h"
#include "sys/Win32Handle.h"

#include <shlobj.h>

#include <optional>
#include <vector>

namespace {

// How long the uninstallation waits for ended copies of the main program to go, and for
// regsvr32 to unregister the COM server. A hung program must not hang the uninstaller.
constexpr DWORD kProcessEndWaitMs = 10000;
constexpr DWORD kUnregisterWaitMs = 60000;

// Empties `path` as ClearDirectory does, processing the window's messages between entries
// (every 15 ms at most): a large installation takes a while to remove.
bool ClearDirectoryPumping(const std::wstring& path, unsigned* scheduled,
                           const std::wstring& keepName = {}) {
    TWin32DirHost host{TThrottledPump(MessagePump())};
    return WalkClearDirectory(host, path, scheduled, keepName);
}

// "regsvr32.exe /u /s" on the COM server, from the system folder (never a regsvr32.exe lying
// in the installation folder), waited for.
void UnregisterComServer(const std::wstring& dllPath) {
    if (!FileExists(dllPath))
        return;
    const THandle process =
        StartSystemProgram(SystemProgramPath(L"regsvr32.exe"), ComServerCommandLine(dllPath, true));
    if (process)
        WaitPumping(process.Get(), kUnregisterWaitMs, MessagePump());
}

// The entries of `directory` that an emptying should have removed and did not: every name not
// beginning with "." except `ownName` (the running uninstaller, which the script deletes).
std::vector<std::wstring> LeftEntries(const std::wstring& directory, const std::wstring& ownName) {
    std::vector<std::wstring> left;
    WIN32_FIND_DATAW entry;
    const TFindHandle listing(FindFirstFileW((directory + L"\\*").c_str(), &entry));
    if (!listing)
        return left;
    do {
        if (entry.cFileName[0] == L'.')
            continue;
        if (!ownName.empty() &&
            CompareStringOrdinal(entry.cFileName, -1, ownName.c_str(), -1, TRUE) == CSTR_EQUAL)
            continue;
        left.emplace_back(entry.cFileName);
    } while (FindNextFileW(listing.Get(), &entry));
    return left;
}

} // namespace

bool DeleteShortcutTo(const std::wstring& linkPath, const std::wstring& target) {
    const std::optional<std::wstring> pointsTo = ReadShortcutTarget(linkPath);
    if (!pointsTo || !SamePath(*pointsTo, target))
        return true;
    return ForceDeleteFile(linkPath);
}

TRemovalOutcome RemoveInstallation(const TInstallerSettings& s, const std::wstring& targetDir,
                                   const std::wstring& uninstaller) {
    bool complete = true;
    // Files that other programs hold open, and folders left holding only them, which the
    // system deletes at the next restart.
    unsigned scheduled = 0;
    const std::wstring mainProgram = MainProgramPath(s, targetDir);

    KillProcessByName(s.FMainProg);
    WaitForProcessesByName(s.FMainProg, kProcessEndWaitMs, MessagePump());
    // Only the shortcuts to this installation's files: an uninstaller copied elsewhere leaves
    // the real installation's.
    DeleteShortcutTo(DesktopShortcutPath(mainProgram, s.FShortcutName), mainProgram);
    DeleteShortcutTo(ProgramsShortcutPath(mainProgram, s.FProgramDirName, s.FShortcutName),
                     mainProgram);

    // Unregistered while its file is still there.
    if (!s.FRegDllName.empty())
        UnregisterComServer(targetDir + L"\\" + s.FRegDllName);

    // The per-user data folder and the installation folder, unless emptying them would wipe a
    // folder that is not the product's (a drive, the profile, Downloads, ...).
    // A protected data folder is a fault of the settings that the uninstaller neutralises: it
    // does not make the run fail. A protected installation folder does: none of the product's
    // files have been removed.
    // What is left behind counts against the run, unless the walk scheduled it for the
    // restart; then it is the walk's word on what it could not do that counts.
    if (!s.FConfigPathForUinstall.empty() && DirectoryExists(s.FConfigPathForUinstall) &&
        !IsProtectedSystemFolder(s.FConfigPathForUinstall)) {
        unsigned here = 0;
        const bool cleared = ClearDirectoryPumping(s.FConfigPathForUinstall, &here);
        if (here == 0 ? !LeftEntries(s.FConfigPathForUinstall, L"").empty() : !cleared)
            complete = false;
        scheduled += here;
    }
    if (IsProtectedSystemFolder(targetDir)) {
        complete = false;
    } else {
        // The running uninstaller is held open by itself: the script deletes it, not the
        // restart.
        const std::size_t slash = uninstaller.find_last_of(L"\\/");
        const bool ownFolder =
            slash != std::wstring::npos && SamePath(uninstaller.substr(0, slash), targetDir);
        const std::wstring ownName = ownFolder ? uninstaller.substr(slash + 1) : L"";
        unsigned here = 0;
        const bool cleared = ClearDirectoryPumping(targetDir, &here, ownName);
        // Fails while the uninstaller runs from it, as it normally does; ignored.
        RemoveDirectoryW(targetDir.c_str());
        if (here == 0 ? DirectoryExists(targetDir) && !LeftEntries(targetDir, ownName).empty()
                      : !cleared)
            complete = false;
        scheduled += here;
    }

    // The registration, once the files are gone: nothing may point at deleted files.
    if (!RemoveUninstallEntry(s.FShortcutName, uninstaller))
        complete = false;
    DeleteShortcutTo(ProgramsShortcutPath(uninstaller, s.FProgramDirName, L"Uninstall"),
                     uninstaller);
    if (!s.FProgramDirName.empty()) {
        const std::wstring programs = GetSpecialFolder(CSIDL_PROGRAMS);
        const std::wstring subFolder = programs + L"\\" + s.FProgramDirName;
        // Removed only when empty; never the Programs folder itself or another protected one.
        if (!programs.empty() && !IsProtectedSystemFolder(subFolder))
            RemoveDirectoryW(subFolder.c_str());
    }
    if (!s.FProtocalRootKeyName.empty() && !RemoveUrlProtocol(s.FProtocalRootKeyName, mainProgram))
        complete = false;

    return TRemovalOutcome{complete, scheduled};
}
