// The post-install registration: what turns an extracted file tree into an installed product.

#include "install/RegisterInstallation.h"

#include "install/Package.h"
#include "install/Pacing.h"
#include "install/RegistryWriters.h"
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

std::wstring MainProgramPath(const TInstallerSettings& settings, const std::wstring& targetDir) {
    return targetDir + L"\\" + settings.FMainProgPath + settings.FMainProg;
}

bool RegisterInstallation(const TInstallerSettings& s, const std::wstring& targetDir, bool silent,
                          unsigned long long payloadBytes) {
    bool complete = true;
    const std::wstring mainProgram = MainProgramPath(s, targetDir);
    const std::wstring uninstaller = targetDir + L"\\" + package::Wide(package::kUninstallerFile);

    if (!silent) {
        LogShortcut(CreateDesktopShortcut(mainProgram, s.FShortcutName), L"desktop", mainProgram);
        LogShortcut(CreateProgramsShortcut(mainProgram, s.FProgramDirName, s.FShortcutName),
                    L"Programs", mainProgram);
    }
    // Silent runs leave the uninstaller too: the uninstall entry names it, and without it the
    // product could never be removed. Its bytes are those of the program that runs, read
    // through the handle held since start-up, never again by the program's name. The copy is
    // as large as the whole setup with its payload: the window keeps answering meanwhile.
    const bool uninstallerWritten = CopyProgramFileTo(uninstaller, TThrottledPump(MessagePump()));
    if (RunLogOpen())
        LogLine((uninstallerWritten ? L"uninstaller written: " : L"uninstaller NOT written: ") +
                uninstaller);
    complete &= uninstallerWritten;
    if (!silent)
        LogShortcut(CreateProgramsShortcut(uninstaller, s.FProgramDirName, L"Uninstall"),
                    L"Programs \"Uninstall\"", uninstaller);

    CopyFileOverwrite(GetExeDir() + package::Wide(package::kLooseSettingsFile),
                      targetDir + L"\\" + package::Wide(package::kInstalledSettingsFile));

    if (!s.FNetID.empty()) {
        std::wstring userName, password;
        SplitNetID(s.FNetID, userName, password);
        WriteTextFile(targetDir + L"\\" + package::Wide(package::kCredentialsFile),
                      WebSetLine(userName, password), false);
    }

    if (!s.FProtocalRootKeyName.empty())
        RegisterUrlProtocol(s.FProtocalRootKeyName, s.FProtocalname, mainProgram);

    if (!s.FRegDllName.empty()) {
        // "/s", not "/s-": regsvr32 knows no "/s-" and takes it for the DLL's name, so the
        // server would never be registered. The system's own regsvr32, not waited for.
        StartSystemProgram(SystemProgramPath(L"regsvr32.exe"),
                           ComServerCommandLine(targetDir + L"\\" + s.FRegDllName, false));
    }

    complete &= WriteUninstallEntry(s.FShortcutName, s.FShortcutName, mainProgram, targetDir,
                                    s.FVersion, kPublisher);
    // For deployment tools: how to uninstall without a window, where, and how much (in KB,
    // rounded up, so that a small product does not show 0).
    complete &= WriteUninstallDeploymentValues(s.FShortcutName, targetDir,
                                               static_cast<DWORD>(std::min<unsigned long long>(
                                                   (payloadBytes + 1023) / 1024, 0xFFFFFFFFull)));

    if (!s.FAfterInstBat1.empty())
        ShellOpenFile(targetDir + L"\\" + s.FAfterInstBat1);
    if (!s.FAfterInstBat2.empty())
        ShellOpenFile(targetDir + L"\\" + s.FAfterInstBat2);
    return complete;
}
