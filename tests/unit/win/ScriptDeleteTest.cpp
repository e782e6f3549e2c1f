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

// The names in the temporary folder.
std::set<std::wstring> TempListing() {
    std::set<std::wstring> names;
    WIN32_FIND_DATAW entry;
    const HANDLE listing = FindFirstFileW((TempDir() + L"*").c_str(), &entry);
    if (listing == INVALID_HANDLE_VALUE)
        return names;
    // Scripts only: the tests that run beside this one make and remove their own folders here.
    do {
        const std::wstring name = entry.cFileName;
        if (name.size() > 4 && _wcsicmp(name.c_str() + name.size() - 4, L".bat") == 0)
            names.insert(name);
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
    const std::set<std::wstring> before = TempListing();
    DeleteFileByScript(scratch / L"no such file.txt");
    EXPECT_EQ(TempListing(), before);
}

TEST(DeleteFileByScriptTest, AScriptThatCannotBeWrittenIsAnErrorAndTheFileStays) {
    TScratchFolder scratch;
    const std::wstring file = scratch / L"kept.txt";
    systest::WriteBytes(file, "x");
    const TTempDirOverride temp(scratch / L"no such folder\\");
    EXPECT_THROW(DeleteFileByScript(file), EInOutError);
    EXPECT_TRUE(PathExists(file));
}

TEST(DeleteFileByScriptTest, AFileInUseGoesOnceItIsFreedAndThenTheScript) {
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

        const std::set<std::wstring> before = TempListing();
        DeleteFileByScript(file);
        const std::set<std::wstring> added = Added(before, TempListing());
        ASSERT_EQ(added.size(), 1u);
        const std::wstring scriptName = *added.begin();
        EXPECT_TRUE(IsScriptName(scriptName)) << Ascii(scriptName);
        const std::wstring script = TempDir() + scriptName;
        const std::string f = Ascii(file), s = Ascii(script);
        EXPECT_EQ(systest::ReadBytes(script).value_or("(gone)"),
                  ":try\r\n"
                  "dir c:\\ & timeout /t 1 & dir d:\\\r\n"
                  "attrib -s -h -r \"" +
                      f +
                      "\"\r\n"
                      "del \"" +
                      f +
                      "\"\r\n"
                      "if exist \"" +
                      f +
                      "\" goto try\r\n"
                      "del \"" +
                      s + "\"\r\n");
        // Nothing can delete it while it is held.
        EXPECT_TRUE(PathExists(file));
        EXPECT_TRUE(PathExists(script));

        SetEvent(release);
        EXPECT_EQ(holder.ExitCode(), 0u);
        EXPECT_TRUE(systest::EventuallyTrue([&] { return !PathExists(file); }));
        EXPECT_TRUE(systest::EventuallyTrue([&] { return !PathExists(script); }));
        EXPECT_EQ(TempListing(), before);
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
        EXPECT_TRUE(systest::EventuallyTrue([&] {
            WIN32_FIND_DATAW entry;
            const HANDLE listing = FindFirstFileW((scratch / L"temp dir\\*.bat").c_str(), &entry);
            if (listing == INVALID_HANDLE_VALUE)
                return true;
            FindClose(listing);
            return false;
        }));
    }
    EXPECT_TRUE(PathExists(scratch / L"xy.txt"));
}

// Deletes the running test program, so it is disabled here; tests/e2e/test_self_delete.sh runs
// it in a copy of the program and checks that the copy goes once it has ended.
TEST(DeleteSelfTest, DISABLED_TheRunningProgramGoesAfterItEnds) {
    const std::set<std::wstring> before = TempListing();
    DeleteSelf();
    const std::set<std::wstring> added = Added(before, TempListing());
    ASSERT_EQ(added.size(), 1u);
    EXPECT_TRUE(IsScriptName(*added.begin()));
    // The program is still running, so its file is still there.
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    EXPECT_TRUE(PathExists(self));
}
