#include "sys/MyCommonFuns.h"

#include "sys/Win32Handle.h"
#include "SysTestSupport.h"

#include <gtest/gtest.h>

#include <thread>

using systest::TScratchFolder;

namespace {

// A copy of the sleeper fixture running under a chosen file name; ended at the latest when
// the test ends.
class TSleeper {
public:
    TSleeper(const TScratchFolder& scratch, const std::wstring& folder, const std::wstring& name) {
        const std::wstring dir = scratch / folder;
        CreateDirectoryW(dir.c_str(), nullptr);
        const std::wstring exe = dir + L"\\" + name;
        if (!CopyFileW(systest::FixtureProgram(L"sleeper.exe").c_str(), exe.c_str(), FALSE)) {
            ADD_FAILURE() << "cannot copy the sleeper fixture, error " << GetLastError();
            return;
        }
        std::wstring commandLine = L"\"" + exe + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                            CREATE_NO_WINDOW, nullptr, nullptr, &startup, &info)) {
            ADD_FAILURE() << "cannot start the sleeper, error " << GetLastError();
            return;
        }
        CloseHandle(info.hThread);
        process_.Reset(info.hProcess);
    }
    ~TSleeper() {
        if (process_ && Running())
            TerminateProcess(process_.Get(), 99);
        if (process_)
            WaitForSingleObject(process_.Get(), 10000);
    }

    bool Started() const { return process_.Valid(); }
    bool Running() const { return WaitForSingleObject(process_.Get(), 0) == WAIT_TIMEOUT; }

    // Waits (bounded, so that a fault cannot hang the suite) and returns the exit code, or
    // STILL_ACTIVE when the process did not end.
    DWORD ExitCode() const {
        WaitForSingleObject(process_.Get(), 10000);
        DWORD code = 0;
        GetExitCodeProcess(process_.Get(), &code);
        return code;
    }

private:
    THandle process_;
};

std::wstring Unique(const wchar_t* stem) {
    return stem + std::to_wstring(GetCurrentProcessId());
}

} // namespace

TEST(ProcessKillTest, EndsEveryCopyWhateverTheAsciiCase) {
    TScratchFolder scratch;
    const std::wstring stem = Unique(L"KillMe");
    const TSleeper first(scratch, L"a", stem + L".exe");
    const TSleeper second(scratch, L"b", L"KILLME" + stem.substr(6) + L".EXE");
    ASSERT_TRUE(first.Started() && second.Started());
    ASSERT_TRUE(first.Running() && second.Running());

    EXPECT_TRUE(KillProcessByName(L"killme" + stem.substr(6) + L".Exe"));
    EXPECT_EQ(first.ExitCode(), 1u);
    EXPECT_EQ(second.ExitCode(), 1u);
}

TEST(ProcessKillTest, NonAsciiLettersMatchOnlyInTheSameCase) {
    TScratchFolder scratch;
    const std::wstring digits = std::to_wstring(GetCurrentProcessId());
    const TSleeper sleeper(scratch, L"a", L"Sleep\u00C9" + digits + L".exe");
    ASSERT_TRUE(sleeper.Started());

    // E acute in the other case is another name; the ASCII letters alone may differ in case.
    EXPECT_TRUE(KillProcessByName(L"sleep\u00E9" + digits + L".exe"));
    EXPECT_TRUE(sleeper.Running());
    EXPECT_TRUE(KillProcessByName(L"SLEEP\u00C9" + digits + L".EXE"));
    EXPECT_EQ(sleeper.ExitCode(), 1u);
}

// The uninstaller waits for the ended main program on its window's thread: with a pump, the
// messages that arrive meanwhile are processed, and the wait still lasts until the program has
// gone.
TEST(ProcessKillTest, WaitingForEndedProgramsProcessesMessages) {
    TScratchFolder scratch;
    const std::wstring name = Unique(L"WaitMe") + L".exe";
    const TSleeper sleeper(scratch, L"a", name);
    ASSERT_TRUE(sleeper.Started());
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE); // makes the thread's queue
    const DWORD self = GetCurrentThreadId();
    constexpr UINT kProbe = WM_APP + 8;
    std::thread ender([self, name] {
        Sleep(100);
        PostThreadMessageW(self, kProbe, 0, 0);
        Sleep(200);
        KillProcessByName(name);
    });
    unsigned probes = 0;
    WaitForProcessesByName(name, 30000, [&probes] {
        MSG waiting;
        while (PeekMessageW(&waiting, nullptr, 0, 0, PM_REMOVE))
            probes += waiting.message == kProbe;
    });
    const bool stillRunning = sleeper.Running();
    ender.join();
    EXPECT_EQ(probes, 1u);
    EXPECT_FALSE(stillRunning);
}

TEST(ProcessKillTest, NothingRunningUnderTheNameIsSuccess) {
    EXPECT_TRUE(KillProcessByName(Unique(L"NoSuchProgram") + L".exe"));
}

TEST(ProcessKillTest, EnablePrivilegeReportsTheAdjustingCall) {
    EXPECT_TRUE(EnablePrivilege(GetCurrentProcess(), L"SeDebugPrivilege"));
    // A privilege the token does not hold still adjusts without error.
    EXPECT_TRUE(EnablePrivilege(GetCurrentProcess(), L"SeTcbPrivilege"));
    EXPECT_FALSE(EnablePrivilege(GetCurrentProcess(), L"SeNoSuchPrivilege"));
    EXPECT_FALSE(EnablePrivilege(nullptr, L"SeDebugPrivilege"));
}
