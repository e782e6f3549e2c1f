#include "sys/SystemPrograms.h"
#include "sys/RunLog.h"

#include <windows.h>

std::wstring SystemFolder() {
    wchar_t buffer[MAX_PATH + 1] = {};
    const UINT length = GetSystemDirectoryW(buffer, MAX_PATH + 1);
    return length > 0 && length <= MAX_PATH ? std::wstring(buffer, length) : std::wstring();
}

std::wstring SystemProgramPath(const std::wstring& name) {
    const std::wstring folder = SystemFolder();
    return folder.empty() ? std::wstring() : folder + L"\\" + name;
}

std::wstring ComServerCommandLine(const std::wstring& dllPath, bool unregister) {
    const std::wstring program = SystemProgramPath(L"regsvr32.exe");
    if (program.empty())
        return {};
    return L"\"" + program + L"\" " + (unregister ? L"/u /s " : L"/s  ") + L"\"" + dllPath + L"\"";
}

THandle StartSystemProgram(const std::wstring& program, std::wstring commandLine) {
    const std::wstring folder = SystemFolder();
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION info{};
    if (RunLogOpen())
        LogLine(L"started: " + commandLine);
    if (program.empty() || folder.empty() ||
        !CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.c_str(), &startup, &info))
        return THandle();
    CloseHandle(info.hThread);
    return THandle(info.hProcess);
}
