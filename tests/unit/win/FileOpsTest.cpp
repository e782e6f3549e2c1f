#include "sys/MyCommonFuns.h"

#include "sys/SysErrorMessage.h"
#include "SysTestSupport.h"

#include <gtest/gtest.h>

using systest::PathExists;
using systest::TScratchFolder;

TEST(FileOpsTest, CopyReplacesAnExistingTarget) {
    TScratchFolder scratch;
    const std::wstring source = scratch / L"config.dat", target = scratch / L"copy.dat";
    systest::WriteBytes(source, "new");
    systest::WriteBytes(target, "older and longer");
    EXPECT_TRUE(CopyFileOverwrite(source, target));
    EXPECT_EQ(systest::ReadBytes(target), "new");
    EXPECT_EQ(systest::ReadBytes(source), "new");

    EXPECT_FALSE(CopyFileOverwrite(scratch / L"missing", target));
    EXPECT_EQ(systest::ReadBytes(target), "new");
    EXPECT_FALSE(CopyFileOverwrite(source, scratch / L"missing\\copy.dat"));
}

TEST(FileOpsTest, ForceDeleteRemovesProtectedFiles) {
    TScratchFolder scratch;
    const DWORD attributeSets[] = {
        FILE_ATTRIBUTE_NORMAL,
        FILE_ATTRIBUTE_READONLY,
        FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM,
        FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
            FILE_ATTRIBUTE_ARCHIVE,
    };
    for (const DWORD attributes : attributeSets) {
        const std::wstring path = scratch / (L"file" + std::to_wstring(attributes));
        systest::WriteBytes(path, "x");
        ASSERT_TRUE(SetFileAttributesW(path.c_str(), attributes));
        EXPECT_TRUE(ForceDeleteFile(path)) << "attributes " << attributes;
        EXPECT_FALSE(PathExists(path)) << "attributes " << attributes;
    }
    EXPECT_FALSE(ForceDeleteFile(scratch / L"missing"));
    // A directory is not a file: it stays.
    systest::MakeDir(scratch / L"dir");
    EXPECT_FALSE(ForceDeleteFile(scratch / L"dir"));
    EXPECT_TRUE(PathExists(scratch / L"dir"));
}

TEST(FileOpsTest, SystemMessagesHaveNoLineBreak) {
    for (const DWORD code : {ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION}) {
        const std::wstring text = SysErrorMessage(code);
        EXPECT_FALSE(text.empty()) << code;
        EXPECT_EQ(text.find_first_of(L"\r\n"), std::wstring::npos) << code;
    }
    EXPECT_EQ(SysErrorMessage(0x2FFFFFFF), L"System error 805306367");
}
