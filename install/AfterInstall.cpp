// The post-install registration: what turns an extracted file tree into an installed product.

#include "install/RegistryWriters.h"
#include "install/UntMain.h"
#include "install/WebSet.h"
#include "sys/MyCommonFuns.h"

#include <shellapi.h>

#include <algorithm>

namespace {
constexpr wchar_t kPublisher[] = L"Belmarro software";
} // namespace

void TFrmCommInst::DoAfterInstall() {
    const std::wstring mainProgram = GetMainProgFullPath();
    const std::wstring uninstaller = FTargetDir + L"\\" + L"unin.exe";

    if (FbSilent)
        btnExit->SetCaption(L"安装完成");
    if (!FbSilent) {
        CreateDesktopShortcut(mainProgram, FShortcutName);
        CreateProgramsShortcut(mainProgram, FProgramDirName, FShortcutName);
    }
    // Silent runs leave the uninstaller too: the uninstall entry names it, and without it the
    // product could never be removed.
    CopyFileOverwrite(GetExeDir() + GetExeFileName(), uninstaller);
    if (!FbSilent)
        CreateProgramsShortcut(uninstaller, FProgramDirName, L"Uninstall");

    CopyFileOverwrite(GetExeDir() + L"config.dat", FTargetDir + L"\\" + L"config.dat");

    if (!FNetID.empty()) {
        std::wstring userName, password;
        SplitNetID(FNetID, userName, password);
        WriteTextFile(FTargetDir + L"\\webset.dat", WebSetLine(userName, password), false);
        lblNetID->SetCaption(userName);
    }

    if (!FProtocalRootKeyName.empty())
        RegisterUrlProtocol(FProtocalRootKeyName, FProtocalname, mainProgram);

    if (!FRegDllName.empty()) {
        // "/s", not "/s-": regsvr32 knows no "/s-" and takes it for the DLL's name, so the
        // server would never be registered.
        const std::wstring parameters = L"/s  \"" + FTargetDir + L"\\" + FRegDllName + L"\"";
        ShellExecuteW(nullptr, L"open", L"regsvr32.exe", parameters.c_str(), L"", SW_HIDE);
    }

    WriteUninstallEntry(FShortcutName, FShortcutName, mainProgram, FTargetDir, FVersion,
                        kPublisher);
    // For deployment tools: how to uninstall without a window, where, and how much (in KB,
    // rounded up, so that a small product does not show 0).
    WriteUninstallDeploymentValues(FShortcutName, FTargetDir,
                                   static_cast<DWORD>(std::min<unsigned long long>(
                                       (FPayloadBytes + 1023) / 1024, 0xFFFFFFFFull)));

    if (!FAfterInstBat1.empty())
        ShellOpenFile(FTargetDir + L"\\" + FAfterInstBat1);
    if (!FAfterInstBat2.empty())
        ShellOpenFile(FTargetDir + L"\\" + FAfterInstBat2);
}
