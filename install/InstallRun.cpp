// The installation run behind the install button, the change-directory button and the
// progress schedule.

#include "archive/MyZip.h"
#include "install/Package.h"
#include "archive/Win32ZipHost.h"
#include "install/ExitCodes.h"
#include "install/StepProgress.h"
#include "install/UntMain.h"
#include "sys/CStr.h"
#include "sys/Error.h"
#include "sys/MessagePump.h"
#include "sys/MyCommonFuns.h"
#include "sys/ProgramFile.h"
#include "sys/RunLog.h"
#include "sys/ScopeGuard.h"

#include <shlobj.h>

#include <cstdint>

namespace {

// The archive's password: the payloads are written with it when they are encrypted at all.
constexpr wchar_t kArchivePassword[] = L"415263";

// "C:" for a path that starts with a drive letter; otherwise the path itself, which the
// free-space query accepts as well.
std::wstring DrivePart(const std::wstring& path) {
    if (path.size() >= 2 && path[1] == L':' &&
        ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z')))
        return path.substr(0, 2);
    return path;
}

void CreateTargetDirectory(const std::wstring& path) {
    if (path.empty())
        throw EInstallerError(L"Unable to create directory");
    // The outcome is not needed: the extraction creates what it needs.
    CreateDirectoryTree(path);
}

} // namespace

void StepProgress(TProgressBar& bar, int first, int last, unsigned stepPauseMs,
                  unsigned finalPauseMs) {
    for (int position = first; position <= last; ++position) {
        bar.SetPosition(position);
        PumpMessages();
        ProgressPause(stepPauseMs);
    }
    ProgressPause(finalPauseMs);
}

void TFrmCommInst::btnInstallClick(TObject*) {
    // Neither closing nor choosing another folder while the run goes on.
    imgbtnClose->SetEnabled(false);
    btnChangeInstall->SetEnabled(false);
    TScopeGuard enableClose([this] {
        imgbtnClose->SetEnabled(true);
        btnChangeInstall->SetEnabled(true);
    });
    FExitCode = exitcode::kFailure; // until the run says otherwise

    // The embedded archive is read in place, through the handle to the program file held
    // since start-up: no copy of it is made anywhere, and nothing is read again by a name.
    std::wstring archivePath;
    std::uint64_t archiveOffset = 0, archiveSize = 0;
    const std::wstring type = package::Wide(package::kResourceType),
                       archive = package::Wide(package::kArchiveResource);
    const bool embedded = ResourceExists(archive, type);
    if (embedded) {
        archivePath = GetExeDir() + GetExeFileName(); // names the archive in messages
        if (!ResourceInProgramFile(archive, type, archiveOffset, archiveSize)) {
            FExitCode = exitcode::kPackageDamaged;
            Application->ShowMessage(L"Resource not exists, the installation package is damaged!");
            Application->Terminate();
            return;
        }
    } else {
        archivePath = GetExeDir() + package::Wide(package::kLooseArchiveFile);
    }

    FTargetDir = edtPath->Text();
    LogLine(L"installing into: " + FTargetDir);
    CreateTargetDirectory(FTargetDir);

    int freeMB = 0;
    if (GetDiskFreeMB(DrivePart(FTargetDir), freeMB) && freeMB < 100) {
        FExitCode = exitcode::kDiskFull;
        Application->ShowMessage(L"Insufficient disk space, the free space is less than 100M!");
        return;
    }

    cnMain->SetActivePage(tbProcess);
    StepProgress(*pbProgress, 0, 30, 2, 0);

    FExitCode = exitcode::kPackageDamaged; // a missing or unreadable archive
    TWin32ZipHost host(MessagePump());
    if (embedded)
        host.ReadArchiveFrom(ProgramFile(), archiveOffset, archiveSize);
    const bool everyEntry = UnzipArchive(host, archivePath, FTargetDir, kArchivePassword);
    FPayloadBytes = host.BytesExtracted(); // the uninstall entry's size, for deployment tools
    FExitCode = exitcode::kFailure;

    StepProgress(*pbProgress, 31, 50, 5, 400);
    const bool registered = DoAfterInstall();
    StepProgress(*pbProgress, 50, 70, 5, 300);
    StepProgress(*pbProgress, 70, 100, 5, 500);

    cnMain->SetActivePage(tbFinish);
    // The pages are the same either way; only the exit code tells a deployment tool that an
    // entry was skipped or a registration step failed, or that files in use are replaced at
    // the next restart.
    if (!everyEntry || !registered)
        FExitCode = exitcode::kFailure;
    else if (host.FilesStagedForRestart() > 0)
        FExitCode = exitcode::kRestartRequired;
    else
        FExitCode = exitcode::kSuccess;
}

void TFrmCommInst::btnChangeInstallClick(TObject*) {
    BROWSEINFOW info{};
    info.hwndOwner = Handle();
    info.lpszTitle = L"Select a folder to install";
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE | BIF_NONEWFOLDERBUTTON;
    PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&info);
    if (!chosen)
        return;
    wchar_t path[MAX_PATH + 1] = {};
    const bool ok = SHGetPathFromIDListW(chosen, path) != FALSE;
    CoTaskMemFree(chosen);
    if (!ok || path[0] == L'\0')
        return;
    const std::wstring folder = path;
    // A drive root ("D:\") already ends with the separator.
    edtPath->SetText(LastChar(folder) == L"\\" ? folder + FProgramDirName
                                               : folder + L"\\" + FProgramDirName);
}
