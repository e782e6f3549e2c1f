// Program entry: the application object, the main window and the message loop.

#include "install/UntMain.h"
#include "sys/MyCommonFuns.h"
#include "sys/ProgramFile.h"
#include "sys/RunLog.h"
#include "ui/Forms.h"

#include <windows.h>

#include <memory>

namespace {

// An installer runs from download folders full of other files: before anything else, let
// DLLs load from the system folder only. Bound at run time, since old systems lack it.
void RestrictDllSearchToSystemFolder() {
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    auto setDefault = kernel ? reinterpret_cast<SetDefaultDllDirectoriesFn>(
                                   GetProcAddress(kernel, "SetDefaultDllDirectories"))
                             : nullptr;
    if (setDefault)
        setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
    SetDllDirectoryW(L"");
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    const ULONGLONG started = GetTickCount64();
    RestrictDllSearchToSystemFolder();
    // Before anything reads it: from here on the program file cannot be changed or replaced
    // under the running program, and its bytes are read through this handle only.
    HoldProgramFile();

    TApplication application;
    Application = &application;
    application.Initialize();

    auto mainForm = std::make_unique<TFrmCommInst>(nullptr);
    application.SetMainForm(mainForm.get());
    application.Run();

    const int exitCode = mainForm->ExitCode();
    if (RunLogOpen())
        LogLine(L"exit code " + std::to_wstring(exitCode) + L" after " +
                std::to_wstring((GetTickCount64() - started) / 1000.0) + L" s");
    CloseRunLog();
    mainForm.reset();
    Application = nullptr;
    return exitCode;
}
