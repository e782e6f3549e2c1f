// How an installation ends: the finish button, and the silent installation's timer.

#include "install/UntMain.h"
#include "sys/CStr.h"
#include "sys/MyCommonFuns.h"

#include <shellapi.h>

void TFrmCommInst::btnExitClick(TObject*) {
    if (!FbSilent) {
        const std::wstring path = GetMainProgFullPath();
        const std::wstring directory = path.substr(0, path.find_last_of(L'\\'));
        // Shown normally: a program started hidden would give the user nothing to see.
        ShellExecuteW(nullptr, L"open", path.c_str(), L"", directory.c_str(), SW_SHOWNORMAL);
        if (!FOpenWebsiteAfterInstall.empty()) {
            FOpenWebsiteAfterInstall =
                StrReplaceAll(FOpenWebsiteAfterInstall, L"[Version]", FVersion, false);
            OpenDocument(FOpenWebsiteAfterInstall);
        }
    }
    Close();
}

void TFrmCommInst::tmrHiddenAutoInstTimer(TObject*) {
    // Off first: the run processes messages, and a second firing must not start a second run.
    tmrHiddenAutoInst->SetEnabled(false);
    // In the uninstall role the silent road removes the product instead: an installation run
    // there would have no target directory.
    if (IsUninstallRole()) {
        SilentUninstall();
        return;
    }
    try {
        btnInstallClick(nullptr);
    } catch (...) {
        HandleToolkitException();
    }
    Close();
}
