#include "sys/MyCommonFuns.h"

#include "SysTestSupport.h"

#include <gtest/gtest.h>

#include <climits>
#include <shlobj.h>

namespace {

bool IsDirectory(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring EnvironmentVariable(const wchar_t* name) {
    wchar_t value[1024] = {};
    const DWORD length = GetEnvironmentVariableW(name, value, 1024);
    return length > 0 && length < 1024 ? std::wstring(value, length) : std::wstring();
}

} // namespace

TEST(FoldersTest, ExeDirAndFileNameSplitTheModulePath) {
    wchar_t module[MAX_PATH * 2] = {};
    GetModuleFileNameW(nullptr, module, MAX_PATH * 2);
    const std::wstring dir = GetExeDir(), name = GetExeFileName();
    EXPECT_EQ(dir + name, module);
    ASSERT_FALSE(dir.empty());
    EXPECT_EQ(dir.back(), L'\\');
    EXPECT_EQ(name.find_first_of(L"\\:"), std::wstring::npos);
    EXPECT_EQ(CompareStringOrdinal(name.c_str(), -1, L"win_unit_tests.exe", -1, TRUE), CSTR_EQUAL)
        << name;
}

TEST(FoldersTest, TempDirEndsWithSeparatorAndExists) {
    const std::wstring temp = GetTempDir();
    ASSERT_FALSE(temp.empty());
    EXPECT_EQ(temp.back(), L'\\');
    EXPECT_TRUE(IsDirectory(temp)) << temp;
}

TEST(FoldersTest, AppDataFoldersExistWithoutTrailingSeparator) {
    const std::wstring roaming = GetAppDataDir(), local = GetLocalAppDataDir();
    for (const std::wstring& folder : {roaming, local}) {
        ASSERT_FALSE(folder.empty());
        EXPECT_NE(folder.back(), L'\\') << folder;
        EXPECT_TRUE(IsDirectory(folder)) << folder;
    }
    EXPECT_NE(roaming, local);
    EXPECT_EQ(GetSpecialFolder(CSIDL_APPDATA), roaming);
}

// The tests run in Wine's 64-bit prefix on an x64 processor: the 32-bit build runs under WOW64
// there, the 64-bit test build does not, and either way the system is 64-bit.
TEST(FoldersTest, WindowsIs64BitAndWow64IsTheProcessOwnKind) {
    SYSTEM_INFO native{};
    GetNativeSystemInfo(&native);
    ASSERT_EQ(PROCESSOR_ARCHITECTURE_AMD64, native.wProcessorArchitecture);
    EXPECT_EQ(sizeof(void*) == 4, RunsUnderWow64OnX64());
    EXPECT_TRUE(Is64BitWindows());
}

TEST(FoldersTest, ProgramFilesIsTheNativeFolderUnderWow64) {
    const std::wstring native = EnvironmentVariable(L"ProgramW6432");
    ASSERT_FALSE(native.empty());
    EXPECT_EQ(GetProgramFilesDir(), native);
    EXPECT_NE(GetProgramFilesDir().back(), L'\\');
    if (sizeof(void*) == 8)
        GTEST_SKIP() << "a 64-bit build is handed the native folder by the shell as well";
    // The shell hands a 32-bit program the other folder; that one must not be chosen.
    const std::wstring x86 = GetSpecialFolder(CSIDL_PROGRAM_FILES);
    EXPECT_FALSE(x86.empty());
    EXPECT_NE(x86, native);
}

TEST(FoldersTest, SpecialFolderUnknownToTheShellIsEmpty) {
    EXPECT_EQ(GetSpecialFolder(0x00FF), L"");
}

TEST(FoldersTest, SystemIsVistaOrLater) {
    EXPECT_TRUE(IsVistaOrLater());
}

TEST(FoldersTest, DiskFreeLiesWithinTheVolume) {
    ULARGE_INTEGER available{}, total{}, free{};
    ASSERT_TRUE(GetDiskFreeSpaceExW(L"C:\\", &available, &total, &free));
    int megabytes = -1;
    ASSERT_TRUE(GetDiskFreeMB(L"C:", megabytes));
    EXPECT_GE(megabytes, 0);
    EXPECT_LE(static_cast<unsigned long long>(megabytes), total.QuadPart / (1024 * 1024));
    // A folder names its volume as well as the drive does.
    int viaFolder = -1;
    EXPECT_TRUE(GetDiskFreeMB(GetTempDir(), viaFolder));
    EXPECT_GE(viaFolder, 0);
}

TEST(FoldersTest, DiskFreeOfMissingDriveLeavesTheValue) {
    const DWORD drives = GetLogicalDrives();
    wchar_t letter = 0;
    for (wchar_t c = L'Y'; c >= L'D' && !letter; --c)
        if (!(drives & (1u << (c - L'A'))))
            letter = c;
    ASSERT_NE(letter, 0) << "every drive letter is in use";
    int megabytes = 12345;
    EXPECT_FALSE(GetDiskFreeMB(std::wstring(1, letter) + L":", megabytes));
    EXPECT_EQ(megabytes, 12345);
}

TEST(FoldersTest, BytesToWholeMBRoundsDownAndClamps) {
    const struct {
        unsigned long long bytes;
        int megabytes;
    } cases[] = {
        {0, 0},
        {1048575, 0},
        {1048576, 1},
        {104857599, 99},
        {104857600, 100},
        {2147483647ull * 1048576, INT_MAX},
        {2147483648ull * 1048576, INT_MAX},
        {~0ull, INT_MAX},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(BytesToWholeMB(c.bytes), c.megabytes) << c.bytes;
    }
}
