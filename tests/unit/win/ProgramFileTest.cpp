// The running program's file, held from start-up: nobody can write, rename or delete it while
// the program runs, and the bytes read through the handle are the file's.
#include "sys/MyCommonFuns.h"
#include "sys/ProgramFile.h"
#include "sys/SystemPrograms.h"

#include "SysTestSupport.h"

#include <gtest/gtest.h>

using systest::TScratchFolder;

TEST(ProgramFileTest, TheHeldFileCannotBeWrittenRenamedOrDeleted) {
    ASSERT_TRUE(HoldProgramFile());
    ASSERT_TRUE(HoldProgramFile()) << "a second call keeps the handle";
    ASSERT_NE(ProgramFile(), nullptr);
    const std::wstring self = ModuleFileName();

    const HANDLE writer = CreateFileW(self.c_str(), GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
    if (writer != INVALID_HANDLE_VALUE)
        CloseHandle(writer);
    const std::wstring moved = self + L".moved";
    EXPECT_FALSE(MoveFileW(self.c_str(), moved.c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_FALSE(DeleteFileW(self.c_str()));
    // Still there under its name, and readable by others.
    EXPECT_TRUE(systest::ReadBytes(self).has_value());
}

TEST(ProgramFileTest, TheCopyIsTheWholeFileAndPartsComeFromTheirOffsets) {
    ASSERT_TRUE(HoldProgramFile());
    TScratchFolder scratch;
    const std::wstring copy = scratch / L"unin.exe";
    systest::WriteBytes(copy, std::string(100, 'x')); // replaced, not appended to
    ASSERT_TRUE(CopyProgramFileTo(copy));
    const std::optional<std::string> original = systest::ReadBytes(ModuleFileName());
    ASSERT_TRUE(original.has_value());
    EXPECT_EQ(systest::ReadBytes(copy), original);

    const std::wstring part = scratch / L"part.bin";
    {
        const HANDLE file = CreateFileW(part.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        EXPECT_TRUE(CopyFromProgramFile(1000, 3000000, file));
        // Past the end of the file: falls short, and says so.
        EXPECT_FALSE(CopyFromProgramFile(original->size() - 10, 20, file));
        CloseHandle(file);
    }
    EXPECT_EQ(systest::ReadBytes(part).value_or("").substr(0, 3000000),
              original->substr(1000, 3000000));

    EXPECT_FALSE(CopyProgramFileTo(scratch / L"no such folder\\unin.exe"));
}

// The uninstaller's copy is the whole setup with its payload, written on the window's thread:
// the pump it is given is called after every block, and the copy is the same as without.
TEST(ProgramFileTest, TheCopyCallsItsPumpAfterEveryBlock) {
    ASSERT_TRUE(HoldProgramFile());
    TScratchFolder scratch;
    const std::optional<std::string> original = systest::ReadBytes(ModuleFileName());
    ASSERT_TRUE(original.has_value());
    ASSERT_GT(original->size(), 2u << 20) << "the test needs a copy of several blocks";
    const std::wstring copy = scratch / L"unin.exe";
    unsigned pumps = 0;
    ASSERT_TRUE(CopyProgramFileTo(copy, [&pumps] { ++pumps; }));
    EXPECT_EQ(systest::ReadBytes(copy), original);
    EXPECT_GE(pumps, original->size() >> 20);
}

TEST(SystemProgramsTest, TheRegistrationToolIsTheSystemFolderOwn) {
    wchar_t system[MAX_PATH + 1] = {};
    ASSERT_GT(GetSystemDirectoryW(system, MAX_PATH + 1), 0u);
    const std::wstring regsvr32 = std::wstring(system) + L"\\regsvr32.exe";
    EXPECT_EQ(SystemProgramPath(L"regsvr32.exe"), regsvr32);
    EXPECT_EQ(ComServerCommandLine(L"C:\\P F\\com\\a.dll", false),
              L"\"" + regsvr32 + L"\" /s  \"C:\\P F\\com\\a.dll\"");
    EXPECT_EQ(ComServerCommandLine(L"C:\\P F\\a.dll", true),
              L"\"" + regsvr32 + L"\" /u /s \"C:\\P F\\a.dll\"");
}
