// Message boxes with system error codes. Each test shows a box and waits for someone to close
// it, so they are disabled here; tests/e2e/test_error_code_box.sh runs them one at a time and
// reads and closes the box from outside.

#include "install/RegistryWriters.h"
#include "sys/MessageBoxes.h"
#include "sys/MyCommonFuns.h"
#include "sys/Win32Handle.h"

#include <gtest/gtest.h>

namespace {

constexpr wchar_t kTestKey[] = L"Software\\OneClickSetupErrorBoxTest";

// The test's key under HKEY_CURRENT_USER, opened for reading only; removed with the object.
class TReadOnlyTestKey {
public:
    TReadOnlyTestKey() {
        HKEY raw = nullptr;
        RegCreateKeyExW(HKEY_CURRENT_USER, kTestKey, 0, nullptr, 0, KEY_READ, nullptr, &raw,
                        nullptr);
        key_.Reset(raw);
    }
    ~TReadOnlyTestKey() {
        key_.Reset();
        RegDeleteTreeW(HKEY_CURRENT_USER, kTestKey);
        RegDeleteKeyW(HKEY_CURRENT_USER, kTestKey);
    }
    HKEY Get() const { return key_.Get(); }

private:
    TRegKey key_;
};

bool ValueExists(HKEY key, const wchar_t* subKey, const wchar_t* name) {
    return RegGetValueW(key, subKey, name, RRF_RT_ANY, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

} // namespace

TEST(ErrorCodeBox, DISABLED_TheCodeUnderTheDefaultTitle) {
    ShowErrorCode(5);
}

TEST(ErrorCodeBox, DISABLED_ANegativeCodeUnderTheApplicationTitle) {
    SetMessageTitle(L"Demo \u5B89\u88C5");
    ShowErrorCode(-2147024891);
    SetMessageTitle(L"");
}

TEST(ErrorCodeBox, DISABLED_AValueThatCannotBeWrittenShowsItsCode) {
    const TReadOnlyTestKey key;
    ASSERT_NE(key.Get(), nullptr);
    EXPECT_FALSE(RegWriteString(key.Get(), L"Value", L"text"));
    EXPECT_FALSE(ValueExists(key.Get(), nullptr, L"Value"));
}

// The machine's registry is replaced by a volatile key, below which no lasting key can be made:
// creating the entry fails, one box shows the code, and no value is attempted.
TEST(ErrorCodeBox, DISABLED_AnUninstallKeyThatCannotBeCreatedShowsOneBox) {
    const std::wstring path = std::wstring(kTestKey) + L"Volatile";
    HKEY raw = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, REG_OPTION_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, &raw, nullptr),
              ERROR_SUCCESS);
    const TRegKey key(raw);
    ASSERT_EQ(RegOverridePredefKey(HKEY_LOCAL_MACHINE, key.Get()), ERROR_SUCCESS);
    EXPECT_FALSE(WriteUninstallEntry(L"Denied", L"Denied", L"C:\\d.exe", L"C:\\d", L"1", L"p"));
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    DWORD subKeys = 1;
    RegQueryInfoKeyW(key.Get(), nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, nullptr,
                     nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(subKeys, 0u);
    RegDeleteTreeW(HKEY_CURRENT_USER, path.c_str());
    RegDeleteKeyW(HKEY_CURRENT_USER, path.c_str());
}

// The default title's rule itself is tabled in ApplicationTest.
TEST(MessageTitleTest, TitleIsTheOneSetLastElseTheDefault) {
    EXPECT_EQ(MessageTitle(), L"win_unit_tests");
    SetMessageTitle(L"Product");
    EXPECT_EQ(MessageTitle(), L"Product");
    SetMessageTitle(L"");
    EXPECT_EQ(MessageTitle(), L"win_unit_tests");
}
