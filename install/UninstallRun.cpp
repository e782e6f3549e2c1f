// The uninstallation run behind the uninstall button, its removal steps, the exit button that
// hands the uninstaller's own deletion to a script, and the silent uninstallation.

#include "install/ExitCodes.h"
#include "install/ProtectedFolders.h"
#include "install/RegistryWriters.h"
#include "install/StepProgress.h"
#include "install/UninstallShortcuts.h"
#include "install/UntMain.h"
#include "sys/CStr.h"
#include "sys/DirWalk.h"
#include "sys/FileIo.h"
#include "sys/MessagePump.h"
#include "sys/MyCommonFuns.h"
#include "sys/RunLog.h"
#include "sys/ScopeGuard.h"
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

// Processes the window's messages; for waits, which call it whenever messages arrive.
void ProcessWindowMessages() {
    Application->ProcessMessages();
}

// Empties `path` as ClearDirectory does, processing the window's messages between entries
// (every 15 ms at most): a large installation takes a while to remove.
bool ClearDirectoryPumping(const std::wstring& path, unsigned* scheduled,
                           const std::wstring& keepName = {}) {
    TWin32DirHost host{TThrottledPump(ProcessWindowMessages)};
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
        WaitPumping(process.Get(), kUnregisterWaitMs, ProcessWindowMessages);
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

void TFrmCommInst::btnUninstallClick(TObject*) {
    imgbtnClose->SetEnabled(false);
    TScopeGuard enableClose([this] { imgbtnClose->SetEnabled(true); });
    FExitCode = exitcode::kFailure; // until the run says otherwise

    FTargetDir = WithoutTrailingSeparators(GetExeDir());
    LogLine(L"uninstalling from: " + FTargetDir);
    cnMain->SetActivePage(tbUninProcess);

    ProgressPause(200);
    StepProgress(*pbUninstall, 0, 30, 3, 200);
    DoUninstall();
    StepProgress(*pbUninstall, 31, 80, 3, 200);
    StepProgress(*pbUninstall, 80, 100, 5, 200);

    cnMain->SetActivePage(tbUninFinish);
}

void TFrmCommInst::DoUninstall() {
    FExitCode = exitcode::kFailure;
    bool complete = true;
    // Files that other programs hold open, and folders left holding only them, which the
    // system deletes at the next restart.
    unsigned scheduled = 0;
    const std::wstring mainProgram = GetMainProgFullPath();
    const std::wstring uninstaller = GetExeDir() + GetExeFileName();

    KillProcessByName(FMainProg);
    WaitForProcessesByName(FMainProg, kProcessEndWaitMs, ProcessWindowMessages);
    // Only the shortcuts to this installation's files: an uninstaller copied elsewhere leaves
    // the real installation's.
    DeleteShortcutTo(DesktopShortcutPath(mainProgram, FShortcutName), mainProgram);
    DeleteShortcutTo(ProgramsShortcutPath(mainProgram, FProgramDirName, FShortcutName),
                     mainProgram);

    // Unregistered while its file is still there.
    if (!FRegDllName.empty())
        UnregisterComServer(FTargetDir + L"\\" + FRegDllName);

    // The per-user data folder and the installation folder, unless emptying them would wipe a
    // folder that is not the product's (a drive, the profile, Downloads, ...).
    // A protected data folder is a fault of the settings that the uninstaller neutralises: it
    // does not make the run fail. A protected installation folder does: none of the product's
    // files have been removed.
    // What is left behind counts against the run, unless the walk scheduled it for the
    // restart; then it is the walk's word on what it could not do that counts.
    if (!FConfigPathForUinstall.empty() && DirectoryExists(FConfigPathForUinstall) &&
        !IsProtectedSystemFolder(FConfigPathForUinstall)) {
        unsigned here = 0;
        const bool cleared = ClearDirectoryPumping(FConfigPathForUinstall, &here);
        if (here == 0 ? !LeftEntries(FConfigPathForUinstall, L"").empty() : !cleared)
            complete = false;
        scheduled += here;
    }
    if (IsProtectedSystemFolder(FTargetDir)) {
        complete = false;
    } else {
        // The running uninstaller is held open by itself: the script deletes it, not the
        // restart.
        const bool ownFolder = SamePath(WithoutTrailingSeparators(GetExeDir()), FTargetDir);
        const std::wstring ownName = ownFolder ? GetExeFileName() : L"";
        unsigned here = 0;
        const bool cleared = ClearDirectoryPumping(FTargetDir, &here, ownName);
        // Fails while the uninstaller runs from it, as it normally does; ignored.
        RemoveDirectoryW(FTargetDir.c_str());
        if (here == 0 ? DirectoryExists(FTargetDir) && !LeftEntries(FTargetDir, ownName).empty()
                      : !cleared)
            complete = false;
        scheduled += here;
    }

    // The registration, once the files are gone: nothing may point at deleted files.
    if (!RemoveUninstallEntry(FShortcutName, uninstaller))
        complete = false;
    DeleteShortcutTo(ProgramsShortcutPath(uninstaller, FProgramDirName, L"Uninstall"), uninstaller);
    if (!FProgramDirName.empty()) {
        const std::wstring programs = GetSpecialFolder(CSIDL_PROGRAMS);
        const std::wstring subFolder = programs + L"\\" + FProgramDirName;
        // Removed only when empty; never the Programs folder itself or another protected one.
        if (!programs.empty() && !IsProtectedSystemFolder(subFolder))
            RemoveDirectoryW(subFolder.c_str());
    }
    if (!FProtocalRootKeyName.empty() && !RemoveUrlProtocol(FProtocalRootKeyName, mainProgram))
        complete = false;

    if (!complete)
        FExitCode = exitcode::kFailure;
    else
        FExitCode = scheduled > 0 ? exitcode::kRestartRequired : exitcode::kSuccess;
}

void TFrmCommInst::btnUninExitClick(TObject*) {
    if (!FOpenWebsiteAfterUninstall.empty()) {
        FOpenWebsiteAfterUninstall =
            StrReplaceAll(FOpenWebsiteAfterUninstall, L"[Version]", FVersion, false);
        OpenDocument(FOpenWebsiteAfterUninstall);
    }
    Close();
    DeleteSelf();
}

void TFrmCommInst::SilentUninstall() {
    FExitCode = exitcode::kFailure;
    try {
        FTargetDir = WithoutTrailingSeparators(GetExeDir());
        LogLine(L"uninstalling from: " + FTargetDir);
        DoUninstall();
        DeleteSelf();
    } catch (...) {
        FExitCode = exitcode::kFailure;
        HandleToolkitException();
    }
    Close();
}
