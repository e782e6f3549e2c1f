#pragma once
// Helpers of the tests that start fixture programs: a child process that cannot outlive its
// test, a bounded wait for a condition, and UTF-8 files read back as text.

#include "SysTestSupport.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace systest {

// A process started from `commandLine` without a window; ended at the latest with the test.
class TChildProcess {
public:
    explicit TChildProcess(std::wstring commandLine) {
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                            nullptr, nullptr, &startup, &info)) {
            ADD_FAILURE() << "cannot start a fixture program, error " << GetLastError();
            return;
        }
        CloseHandle(info.hThread);
        process_ = info.hProcess;
    }
    ~TChildProcess() {
        if (!process_)
            return;
        if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT)
            TerminateProcess(process_, 99);
        WaitForSingleObject(process_, 10000);
        CloseHandle(process_);
    }
    TChildProcess(const TChildProcess&) = delete;
    TChildProcess& operator=(const TChildProcess&) = delete;

    bool Started() const { return process_ != nullptr; }
    // Waits (bounded, so that a fault cannot hang the suite) and returns the exit code, or
    // STILL_ACTIVE when the process did not end.
    DWORD ExitCode() const {
        WaitForSingleObject(process_, 60000);
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(process_, &code);
        return code;
    }

private:
    HANDLE process_ = nullptr;
};

// Polls `condition` until it holds; false when it still does not after a minute, a limit that
// only keeps a fault from hanging the suite.
template <typename Condition> bool EventuallyTrue(Condition condition) {
    for (int i = 0; i < 3000; ++i) {
        if (condition())
            return true;
        Sleep(20);
    }
    return condition();
}

// The UTF-8 file as text; nullopt when it cannot be read.
inline std::optional<std::wstring> ReadUtf8Text(const std::wstring& path) {
    const std::optional<std::string> bytes = ReadBytes(path);
    if (!bytes)
        return std::nullopt;
    if (bytes->empty())
        return std::wstring();
    const int size =
        MultiByteToWideChar(CP_UTF8, 0, bytes->data(), static_cast<int>(bytes->size()), nullptr, 0);
    std::wstring text(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, bytes->data(), static_cast<int>(bytes->size()), text.data(),
                        size);
    return text;
}

// The quoted fixture program followed by `arguments`, as a command line.
inline std::wstring FixtureCommand(const std::wstring& program, const std::wstring& arguments) {
    return L"\"" + FixtureProgram(program) + L"\" " + arguments;
}

} // namespace systest
