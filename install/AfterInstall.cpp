// The post-install registration: what turns an extracted file tree into an installed product.

#include "install/RegistryWriters.h"
#include "install/Package.h"
#include "install/UntMain.h"
#include "install/WebSet.h"
#include "sys/MessagePump.h"
#include "sys/MyCommonFuns.h"
#include "sys/ProgramFile.h"
#include "sys/RunLog.h"
#include "sys/SystemPrograms.h"

#include <algorithm>

namespace {
constexpr wchar_t kPublisher[] = L"Belmarro software";

void LogShortcut(bool made, const wchar_t* where, const std::wstring& target) {
    if (RunLogOpen())
        LogLine(std::wstring(made ? L"shortcut (" : L"shortcut NOT made (") + where + L") to " +
                target);
}
} // namespace

bool TFrmCommInst::DoAfterInstall() {
    bool complete = true;
    const std::wstring mainProgram = GetMainProgFullPath();
    const std::wstring uninstaller = FTargetDir + L"\\" + package::Wide(package::kUninstallerFile);

    if (FbSilent)
        btnExit->SetCaption(L"安装完成");
    if (!FbSilent) {
        LogShortcut(CreateDesktopShortcut(mainProgram, FShortcutName), L"desktop", mainProgram);
        LogShortcut(CreateProgramsShortcut(mainProgram, FProgramDirName, FShortcutName),
                    L"Programs", mainProgram);
    }
    // Silent runs leave the uninstaller too: the uninstall entry names it, and without it the
    // product could never be removed. Its bytes are those of the program that runs, read
    // through the handle held since start-up, never again by the program's name. The copy is
    // as large as the whole setup with its payload: the window keeps answering meanwhile.
    const bool uninstallerWritten =
        CopyProgramFileTo(uninstaller, TThrottledPump([] { Application->ProcessMessages(); }));
    if (RunLogOpen())
        LogLine((uninstallerWritten ? L"uninstaller written: " : L"uninstaller NOT written: ") +
                uninstaller);
    complete &= uninstallerWritten;
    if (!FbSilent)
        LogShortcut(CreateProgramsShortcut(uninstaller, FProgramDirName, L"Uninstall"),
                    L"Programs \"Uninstall\"", uninstaller);

    CopyFileOverwrite(GetExeDir() + package::Wide(package::kLooseSettingsFile),
                      FTargetDir + L"\\" + package::Wide(package::kInstalledSettingsFile));

    if (!FNetID.empty()) {
        std::wstring userName, password;
        SplitNetID(FNetID, userName, password);
        WriteTextFile(FTargetDir + L"\\" + package::Wide(package::kCredentialsFile),
                      WebSetLine(userName, password), false);
        lblNetID->SetCaption(userName);
    }

    if (!FProtocalRootKeyName.empty())
        RegisterUrlProtocol(FProtocalRootKeyName, FProtocalname, mainProgram);

    if (!FRegDllName.empty()) {
        // "/s", not "/s-": regsvr32 knows no "/s-" and takes it for the DLL's name, so the
        // server would never be registered. The system's own regsvr32, not waited for.
        StartSystemProgram(SystemProgramPath(L"regsvr32.exe"),
                           ComServerCommandLine(FTargetDir + L"\\" + FRegDllName, false));
    }

    complete &= WriteUninstallEntry(FShortcutName, FShortcutName, mainProgram, FTargetDir, FVersion,
                                    kPublisher);
    // For deployment tools: how to uninstall without a window, where, and how much (in KB,
    // rounded up, so that a small product does not show 0).
    complete &= WriteUninstallDeploymentValues(FShortcutName, FTargetDir,
                                               static_cast<DWORD>(std::min<unsigned long long>(
                                                   (FPayloadBytes + 1023) / 1024, 0xFFFFFFFFull)));

    if (!FAfterInstBat1.empty())
        ShellOpenFile(FTargetDir + L"\\" + FAfterInstBat1);
    if (!FAfterInstBat2.empty())
        ShellOpenFile(FTargetDir + L"\\" + FAfterInstBat2);
    return complete;
}
