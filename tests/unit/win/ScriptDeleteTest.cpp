#include "sys/MyCommonFuns.h"

#include "sys/Error.h"
#include "ChildProcess.h"
#include "SysTestSupport.h"

#include <gtest/gtest.h>

#include <cwctype>
#include <set>

using systest::PathExists;
using systest::TScratchFolder;

namespace {

std::wstring TempDir() {
    wchar_t buffer[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, buffer);
    return buffer;
}

// The run folders in the temporary folder: the tests that run beside this one make and remove
// their own folders there.
std::set<std::wstring> RunFolders() {
    std::set<std::wstring> names;
    WIN32_FIND_DATAW entry;
    const HANDLE listing = FindFirstFileW((TempDir() + L"~setup-*").c_str(), &entry);
    if (listing == INVALID_HANDLE_VALUE)
        return names;
    do {
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            names.insert(entry.cFileName);
    } while (FindNextFileW(listing, &entry));
    FindClose(listing);
    return names;
}

std::set<std::wstring> Added(const std::set<std::wstring>& before,
                             const std::set<std::wstring>& after) {
    std::set<std::wstring> added;
    for (const std::wstring& name : after)
        if (!before.count(name))
            added.insert(name);
    return added;
}

// The one file in `folder`; "" when it holds none or several.
std::wstring OnlyFileIn(const std::wstring& folder) {
    std::wstring found;
    int count = 0;
    WIN32_FIND_DATAW entry;
    const HANDLE listing = FindFirstFileW((folder + L"\\*").c_str(), &entry);
    if (listing == INVALID_HANDLE_VALUE)
        return {};
    do {
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            found = entry.cFileName;
            ++count;
        }
    } while (FindNextFileW(listing, &entry));
    FindClose(listing);
    return count == 1 ? found : std::wstring();
}

// A script name is a number from 0 to 4999 without leading zeros, then ".bat".
bool IsScriptName(const std::wstring& name) {
    if (name.size() < 5 || name.size() > 8 || name.substr(name.size() - 4) != L".bat")
        return false;
    const std::wstring digits = name.substr(0, name.size() - 4);
    for (const wchar_t c : digits)
        if (!std::iswdigit(c))
            return false;
    return (digits == L"0" || digits[0] != L'0') && std::stoi(digits) <= 4999;
}

// The script's folder is gone, or (under Wine, whose command interpreter holds the script open
// until it ends, so that its last command can empty its folder but not remove it) empty.
bool GoneOrEmpty(const std::wstring& folder) {
    if (!PathExists(folder))
        return true;
    WIN32_FIND_DATAW entry;
    const HANDLE listing = FindFirstFileW((folder + L"\\*").c_str(), &entry);
    if (listing == INVALID_HANDLE_VALUE)
        return true;
    bool empty = true;
    do {
        const std::wstring name = entry.cFileName;
        if (name != L"." && name != L"..")
            empty = false;
    } while (FindNextFileW(listing, &entry));
    FindClose(listing);
    return empty;
}

// The run folders that still hold something.
std::set<std::wstring> FilledRunFolders() {
    std::set<std::wstring> filled;
    for (const std::wstring& name : RunFolders())
        if (!GoneOrEmpty(TempDir() + name))
            filled.insert(name);
    return filled;
}

std::wstring SystemProgram(const wchar_t* name) {
    wchar_t system[MAX_PATH + 1] = {};
    GetSystemDirectoryW(system, MAX_PATH + 1);
    return std::wstring(system) + L"\\" + name;
}

std::string Ascii(const std::wstring& text) {
    return std::string(text.begin(), text.end());
}

// Points the temporary directory elsewhere for the life of the object.
class TTempDirOverride {
public:
    explicit TTempDirOverride(const std::wstring& directory) {
        for (const wchar_t* name : {L"TMP", L"TEMP"}) {
            wchar_t value[MAX_PATH * 2] = {};
            saved_.push_back(GetEnvironmentVariableW(name, value, MAX_PATH * 2) ? value : L"");
            SetEnvironmentVariableW(name, directory.c_str());
        }
    }
    ~TTempDirOverride() {
        SetEnvironmentVariableW(L"TMP", saved_[0].empty() ? nullptr : saved_[0].c_str());
        SetEnvironmentVariableW(L"TEMP", saved_[1].empty() ? nullptr : saved_[1].c_str());
    }

private:
    std::vector<std::wstring> saved_;
};

} // namespace

TEST(DeleteFileByScriptTest, AMissingFileWritesNothing) {
    TScratchFolder scratch;
    const std::set<std::wstring> before = RunFolders();
    DeleteFileByScript(scratch / L"no such file.txt");
    EXPECT_EQ(RunFolders(), before);
}

TEST(DeleteFileByScriptTest, AScriptThatCannotBeWrittenIsAnErrorAndTheFileStays) {
    TScratchFolder scratch;
    const std::wstring file = scratch / L"kept.txt";
    systest::WriteBytes(file, "x");
    const TTempDirOverride temp(scratch / L"no such folder\\");
    EXPECT_THROW(DeleteFileByScript(file), EInOutError);
    EXPECT_TRUE(PathExists(file));
}

// The script is created new in a folder made for it (which only its owner, the Administrators
// and SYSTEM may change: Wine keeps no such access list, so that part is not checked here); it
// names the system's own programs by their full paths, and removes its folder at the end.
TEST(DeleteFileByScriptTest, AFileInUseGoesOnceItIsFreedAndThenTheScriptWithItsFolder) {
    TScratchFolder scratch;
    const std::wstring file = scratch / L"in use.txt";
    systest::WriteBytes(file, "held");
    const std::wstring event = L"file_holder_" + std::to_wstring(GetCurrentProcessId());
    const HANDLE release = CreateEventW(nullptr, TRUE, FALSE, event.c_str());
    const HANDLE held = CreateEventW(nullptr, TRUE, FALSE, (event + L"-held").c_str());
    ASSERT_TRUE(release && held);
    {
        const systest::TChildProcess holder(
            systest::FixtureCommand(L"file_holder.exe", L"\"" + file + L"\" " + event));
        ASSERT_TRUE(holder.Started());
        ASSERT_EQ(WaitForSingleObject(held, 60000), WAIT_OBJECT_0);

        const std::set<std::wstring> before = RunFolders();
        DeleteFileByScript(file);
        const std::set<std::wstring> added = Added(before, RunFolders());
        ASSERT_EQ(added.size(), 1u);
        const std::wstring folder = TempDir() + *added.begin();
        const std::wstring scriptName = OnlyFileIn(folder);
        EXPECT_TRUE(IsScriptName(scriptName)) << Ascii(scriptName);
        const std::wstring script = folder + L"\\" + scriptName;
        const std::string f = Ascii(file), d = Ascii(folder);
        const std::string timeout = Ascii(SystemProgram(L"timeout.exe"));
        const std::string attrib = Ascii(SystemProgram(L"attrib.exe"));
        EXPECT_EQ(systest::ReadBytes(script).value_or("(gone)"),
                  ":try\r\n"
                  "dir c:\\ & \"" +
                      timeout + "\" /t 1 & dir d:\\\r\n\"" + attrib + "\" -s -h -r \"" + f +
                      "\"\r\n"
                      "del \"" +
                      f +
                      "\"\r\n"
                      "if exist \"" +
                      f +
                      "\" goto try\r\n"
                      "rd /s /q \"" +
                      d + "\"\r\n");
        // Nothing can delete it while it is held.
        EXPECT_TRUE(PathExists(file));
        EXPECT_TRUE(PathExists(script));

        SetEvent(release);
        EXPECT_EQ(holder.ExitCode(), 0u);
        EXPECT_TRUE(systest::EventuallyTrue([&] { return !PathExists(file); }));
        EXPECT_TRUE(systest::EventuallyTrue([&] { return GoneOrEmpty(folder); }));
        EXPECT_TRUE(FilledRunFolders().empty());
    }
    CloseHandle(release);
    CloseHandle(held);
}

// Paths that a batch script reads differently from how they are written: "%" starts a variable,
// spaces split an unquoted command line (the temporary directory has one), and a character the
// ANSI code page lacks would become a "?", a wildcard to "del" (the decoy must survive).
TEST(DeleteFileByScriptTest, PathsTheCommandInterpreterWouldMisreadAreStillDeleted) {
    TScratchFolder scratch;
    systest::MakeDir(scratch / L"temp dir");
    const TTempDirOverride temp(scratch / L"temp dir\\");
    systest::MakeDir(scratch / L"100% a%PATH%b%%");
    systest::MakeDir(scratch / L"\u5220\u9664");
    systest::WriteBytes(scratch / L"xy.txt", "decoy");
    const std::wstring files[] = {
        L"100% a%PATH%b%%\\f.txt",
        L"\u5220\u9664.txt",
        L"\u5220\u9664\\f.txt",
    };
    for (const std::wstring& name : files) {
        SCOPED_TRACE(testing::PrintToString(name));
        const std::wstring file = scratch / name;
        systest::WriteBytes(file, "x");
        DeleteFileByScript(file);
        EXPECT_TRUE(systest::EventuallyTrue([&] { return !PathExists(file); }));
        EXPECT_TRUE(systest::EventuallyTrue([&] { return FilledRunFolders().empty(); }));
    }
    EXPECT_TRUE(PathExists(scratch / L"xy.txt"));
}

// Deletes the running test program, so it is disabled here; tests/e2e/test_self_delete.sh runs
// it in a copy of the program and checks that the copy goes once it has ended.
TEST(DeleteSelfTest, DISABLED_TheRunningProgramGoesAfterItEnds) {
    const std::set<std::wstring> before = RunFolders();
    DeleteSelf();
    const std::set<std::wstring> added = Added(before, RunFolders());
    ASSERT_EQ(added.size(), 1u);
    EXPECT_TRUE(IsScriptName(OnlyFileIn(TempDir() + *added.begin())));
    // The program is still running, so its file is still there.
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    EXPECT_TRUE(PathExists(self));
}
