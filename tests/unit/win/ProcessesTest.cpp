#include "sys/MyCommonFuns.h"

#include "sys/Win32Handle.h"
#include "ChildProcess.h"
#include "SysTestSupport.h"

#include <gtest/gtest.h>

#include <sddl.h>

#include <map>

using systest::TScratchFolder;

namespace {

// The probe's report as KEY=VALUE pairs; empty when it wrote none.
std::map<std::wstring, std::wstring> ReadReport(const std::wstring& path) {
    std::map<std::wstring, std::wstring> report;
    const std::optional<std::wstring> text = systest::ReadUtf8Text(path);
    if (!text)
        return report;
    std::size_t start = 0;
    while (start < text->size()) {
        std::size_t end = text->find(L"\r\n", start);
        if (end == std::wstring::npos)
            end = text->size();
        const std::wstring line = text->substr(start, end - start);
        const std::size_t equals = line.find(L'=');
        if (equals != std::wstring::npos)
            report[line.substr(0, equals)] = line.substr(equals + 1);
        start = end + 2;
    }
    return report;
}

DWORD TokenIntegrity(HANDLE token) {
    alignas(8) BYTE buffer[256];
    DWORD size = 0;
    if (!GetTokenInformation(token, TokenIntegrityLevel, buffer, sizeof buffer, &size))
        return 0;
    const auto* label = reinterpret_cast<const TOKEN_MANDATORY_LABEL*>(buffer);
    return *GetSidSubAuthority(label->Label.Sid, *GetSidSubAuthorityCount(label->Label.Sid) - 1);
}

THandle DuplicateOwnToken() {
    HANDLE own = nullptr, duplicate = nullptr;
    OpenProcessToken(GetCurrentProcess(), MAXIMUM_ALLOWED, &own);
    const THandle ownToken(own);
    DuplicateTokenEx(own, MAXIMUM_ALLOWED, nullptr, SecurityImpersonation, TokenPrimary,
                     &duplicate);
    return THandle(duplicate);
}

const char* StartName(TProcessStart start) {
    return start == TProcessStart::ThroughToken ? "through the token" : "directly";
}

} // namespace

TEST(RunProcessTest, WaitingGivesTheExitCodeAndTheStartRecordOnBothPaths) {
    TScratchFolder scratch;
    struct TCase {
        TProcessStart start;
        bool show;
        bool ownDirectory;
        DWORD exitCode;
    };
    const TCase cases[] = {
        {TProcessStart::ThroughToken, false, false, 0},
        {TProcessStart::ThroughToken, true, true, 7},
        {TProcessStart::ThroughToken, false, true, 1603},
        {TProcessStart::Direct, false, false, 3221225477u},
        {TProcessStart::Direct, true, true, 42},
    };
    int n = 0;
    for (const TCase& c : cases) {
        SCOPED_TRACE(testing::Message() << StartName(c.start) << ", case " << n);
        const std::wstring report = scratch / (L"report" + std::to_wstring(n++) + L".txt");
        const std::wstring directory = c.ownDirectory ? scratch.Path() : std::wstring();
        const DWORD result = RunProcessVia(
            c.start,
            systest::FixtureCommand(L"process_probe.exe",
                                    L"\"" + report + L"\" " + std::to_wstring(c.exitCode)),
            true, c.show, directory, true);
        EXPECT_EQ(result, c.exitCode);
        auto values = ReadReport(report);
        EXPECT_EQ(values[L"cwd"], c.ownDirectory ? scratch.Path() : systest::CurrentDir());
        EXPECT_EQ(values[L"flags"], std::to_wstring(STARTF_USESHOWWINDOW));
        EXPECT_EQ(values[L"show"], std::to_wstring(c.show ? SW_SHOWNORMAL : SW_HIDE));
    }
}

// Wine accepts an integrity label and ignores it, and its token start ignores the token, so
// these checks run only where the platform applies labels; a check that passed there whatever
// the code did would prove nothing.
TEST(RunProcessTest, LowIntegrityUnlessKept) {
    {
        const THandle probe = DuplicateOwnToken();
        PSID low = nullptr;
        ASSERT_TRUE(ConvertStringSidToSidW(L"S-1-16-4096", &low));
        TOKEN_MANDATORY_LABEL label{};
        label.Label.Sid = low;
        label.Label.Attributes = SE_GROUP_INTEGRITY;
        SetTokenInformation(probe.Get(), TokenIntegrityLevel, &label,
                            sizeof label + GetLengthSid(low));
        LocalFree(low);
        if (TokenIntegrity(probe.Get()) != SECURITY_MANDATORY_LOW_RID)
            GTEST_SKIP() << "this platform does not apply integrity labels";
    }
    const THandle token = DuplicateOwnToken();
    EXPECT_TRUE(SetLowIntegrity(token.Get()));
    EXPECT_EQ(TokenIntegrity(token.Get()), static_cast<DWORD>(SECURITY_MANDATORY_LOW_RID));

    TScratchFolder scratch;
    HANDLE own = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &own));
    const THandle ownToken(own);
    for (const bool keep : {true, false}) {
        SCOPED_TRACE(keep ? "kept" : "lowered");
        const std::wstring report = scratch / L"report.txt";
        RunProcessVia(TProcessStart::ThroughToken,
                      systest::FixtureCommand(L"process_probe.exe", L"\"" + report + L"\" 0"), keep,
                      false, L"", true);
        EXPECT_EQ(ReadReport(report)[L"integrity"],
                  std::to_wstring(keep ? TokenIntegrity(own) : SECURITY_MANDATORY_LOW_RID));
    }
}

TEST(RunProcessTest, AFailedStartGivesZero) {
    for (TProcessStart start : {TProcessStart::ThroughToken, TProcessStart::Direct}) {
        for (bool wait : {true, false}) {
            SCOPED_TRACE(testing::Message() << StartName(start) << ", wait " << wait);
            EXPECT_EQ(RunProcessVia(start, L"\"C:\\no such folder\\no-such-program.exe\"", true,
                                    false, L"", wait),
                      0u);
        }
    }
    EXPECT_EQ(RunProcess(L"no-such-program-anywhere.exe", true, false, L"", true), 0u);
}

TEST(RunProcessTest, WithoutWaitingTheResultIsTheProcessHandle) {
    TScratchFolder scratch;
    const DWORD result = RunProcess(
        systest::FixtureCommand(L"process_probe.exe", L"\"" + (scratch / L"r.txt") + L"\" 5"), true,
        false, L"", false);
    ASSERT_NE(result, 0u);
    const THandle process(reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(result)));
    EXPECT_NE(GetProcessId(process.Get()), 0u);
    ASSERT_EQ(WaitForSingleObject(process.Get(), 60000), WAIT_OBJECT_0);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeProcess(process.Get(), &code));
    EXPECT_EQ(code, 5u);
}

TEST(LateBoundAdvapiTest, ConvertsTheLowIntegritySid) {
    PSID sid = nullptr;
    ASSERT_TRUE(CallConvertStringSidToSid(L"S-1-16-4096", &sid));
    ASSERT_NE(sid, nullptr);
    EXPECT_TRUE(IsValidSid(sid));
    EXPECT_EQ(*GetSidSubAuthorityCount(sid), 1);
    EXPECT_EQ(*GetSidSubAuthority(sid, 0), 4096u);
    LocalFree(sid);
    sid = nullptr;
    EXPECT_FALSE(CallConvertStringSidToSid(L"not a sid", &sid));
}

// The shell starts a script in the script's own folder for ShellOpenFile, and in the caller's
// current directory for OpenDocument.
TEST(ShellOpenTest, ScriptsStartInTheirFolderOrInTheCurrentOne) {
    TScratchFolder scratch;
    systest::MakeDir(scratch / L"scripts");
    systest::MakeDir(scratch / L"current");
    const struct {
        void (*open)(const std::wstring&);
        const wchar_t* script;
        std::wstring expected;
    } cases[] = {
        {ShellOpenFile, L"open file.bat", scratch / L"scripts"},
        {OpenDocument, L"open document.bat", scratch / L"current"},
    };
    const std::wstring original = systest::CurrentDir();
    ASSERT_TRUE(SetCurrentDirectoryW((scratch / L"current").c_str()));
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.script)));
        const std::wstring script = scratch / (std::wstring(L"scripts\\") + c.script);
        const std::wstring output = scratch / (std::wstring(c.script) + L".txt");
        systest::WriteBytes(script, "@cd > \"" + std::string(output.begin(), output.end()) +
                                        "\"\r\n@exit\r\n");
        c.open(script);
        EXPECT_TRUE(systest::EventuallyTrue([&] {
            const std::optional<std::string> text = systest::ReadBytes(output);
            return text && text->find("\r\n") != std::string::npos;
        }));
        EXPECT_EQ(systest::ReadBytes(output).value_or(""),
                  std::string(c.expected.begin(), c.expected.end()) + "\r\n");
    }
    SetCurrentDirectoryW(original.c_str());
}
