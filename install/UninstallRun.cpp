// The uninstallation run behind the uninstall button (the removal itself is
// install/RemoveInstallation.h), the exit button that hands the uninstaller's own deletion to a
// script, and the silent uninstallation.

#include "install/ExitCodes.h"
#include "install/RemoveInstallation.h"
#include "install/StepProgress.h"
#include "install/UntMain.h"
#include "sys/CStr.h"
#include "sys/MyCommonFuns.h"
#include "sys/RunLog.h"
#include "sys/ScopeGuard.h"

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
    const TRemovalOutcome removed =
        RemoveInstallation(*this, FTargetDir, GetExeDir() + GetExeFileName());
    if (!removed.complete)
        FExitCode = exitcode::kFailure;
    else
        FExitCode = removed.scheduled > 0 ? exitcode::kRestartRequired : exitcode::kSuccess;
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
