#include "install/RegistryWriters.h"

#include "sys/Error.h"
#include "sys/Win32Handle.h"
#include "ChildProcess.h"
#include "SysTestSupport.h"

#include <gtest/gtest.h>

using systest::TScratchFolder;

namespace {

constexpr wchar_t kUninstall[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

struct TValue {
    DWORD type = REG_NONE;
    std::string bytes;
};

// A value as stored: its type and its raw bytes; nullopt when it is absent.
std::optional<TValue> ReadValue(HKEY root, const std::wstring& subKey, const std::wstring& name,
                                REGSAM view = 0) {
    HKEY raw = nullptr;
    if (RegOpenKeyExW(root, subKey.c_str(), 0, KEY_QUERY_VALUE | view, &raw) != ERROR_SUCCESS)
        return std::nullopt;
    const TRegKey key(raw);
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(key.Get(), name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return std::nullopt;
    TValue value{type, std::string(size, '\0')};
    if (RegQueryValueExW(key.Get(), name.c_str(), nullptr, &type,
                         reinterpret_cast<BYTE*>(value.bytes.data()), &size) != ERROR_SUCCESS)
        return std::nullopt;
    value.bytes.resize(size);
    return value;
}

// The bytes of a REG_SZ holding `text`: its UTF-16 units and one zero unit.
std::string StringBytes(const std::wstring& text) {
    return std::string(reinterpret_cast<const char*>(text.c_str()),
                       (text.size() + 1) * sizeof(wchar_t));
}

// The raw bytes of a value, or "(absent)".
std::string BytesOf(HKEY root, const std::wstring& subKey, const std::wstring& name) {
    const std::optional<TValue> value = ReadValue(root, subKey, name, KEY_WOW64_64KEY);
    return value ? value->bytes : "(absent)";
}

void SetValue(HKEY root, const std::wstring& subKey, const std::wstring& name, DWORD type,
              const void* data, DWORD size) {
    HKEY raw = nullptr;
    ASSERT_EQ(
        RegCreateKeyExW(root, subKey.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &raw, nullptr),
        ERROR_SUCCESS);
    const TRegKey key(raw);
    ASSERT_EQ(
        RegSetValueExW(key.Get(), name.c_str(), 0, type, static_cast<const BYTE*>(data), size),
        ERROR_SUCCESS);
}

void SetString(HKEY root, const std::wstring& subKey, const std::wstring& name,
               const std::wstring& text) {
    SetValue(root, subKey, name, REG_SZ, text.c_str(),
             static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

std::wstring Unique(const std::wstring& stem) {
    return stem + std::to_wstring(GetCurrentProcessId());
}

bool KeyExists(HKEY root, const std::wstring& subKey, REGSAM view) {
    HKEY raw = nullptr;
    if (RegOpenKeyExW(root, subKey.c_str(), 0, KEY_READ | view, &raw) != ERROR_SUCCESS)
        return false;
    RegCloseKey(raw);
    return true;
}

// HKEY_LOCAL_MACHINE redirected, for this process, to a key of the test's own under
// HKEY_CURRENT_USER, removed afterwards. Wine does not redirect HKEY_CLASSES_ROOT, so the
// protocol tests use keys named for the test there and remove them.
class RegistryWritersTest : public testing::Test {
protected:
    void SetUp() override {
        root_ = L"Software\\OneClickSetupTests\\" + Unique(L"run");
        machine_ = Open(root_ + L"\\HKLM");
        ASSERT_TRUE(machine_);
        ASSERT_EQ(RegOverridePredefKey(HKEY_LOCAL_MACHINE, machine_.Get()), ERROR_SUCCESS);
    }
    void TearDown() override {
        RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
        machine_.Reset();
        RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\OneClickSetupTests");
        for (const std::wstring& key : classKeys_) {
            HKEY raw = nullptr;
            if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY,
                              &raw) == ERROR_SUCCESS) {
                RegDeleteTreeW(raw, nullptr);
                RegCloseKey(raw);
            }
            RegDeleteKeyExW(HKEY_CLASSES_ROOT, key.c_str(), KEY_WOW64_64KEY, 0);
        }
    }

    // A protocol key name of this test under HKEY_CLASSES_ROOT, removed afterwards.
    const std::wstring& ClassKey(const std::wstring& stem) {
        return classKeys_.emplace_back(Unique(L"oneclicksetup-test-" + stem + L"-"));
    }

    static TRegKey Open(const std::wstring& path) {
        HKEY raw = nullptr;
        RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &raw, nullptr);
        return TRegKey(raw);
    }

    std::wstring root_;
    TRegKey machine_;
    std::vector<std::wstring> classKeys_;
};

} // namespace

TEST_F(RegistryWritersTest, UninstallEntryValuesTypesAndByteCounts) {
    EXPECT_TRUE(WriteUninstallEntry(L"Demo Product", L"Demo Product",
                                    L"C:\\Program Files\\Demo\\demo.exe",
                                    L"C:\\Program Files\\Demo", L"1.2.3", L"Belmarro software"));
    const std::wstring key = std::wstring(kUninstall) + L"Demo Product_is1";
    const std::pair<const wchar_t*, const wchar_t*> expected[] = {
        {L"DisplayName", L"Demo Product"},
        {L"DisplayIcon", L"\"C:\\Program Files\\Demo\\demo.exe\""},
        // Not quoted, spaces and all.
        {L"UninstallString", L"C:\\Program Files\\Demo\\unin.exe"},
        {L"DisplayVersion", L"1.2.3"},
        {L"Publisher", L"Belmarro software"},
    };
    for (const auto& [name, data] : expected) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(name)));
        const std::optional<TValue> value = ReadValue(machine_.Get(), key, name);
        ASSERT_TRUE(value);
        EXPECT_EQ(value->type, static_cast<DWORD>(REG_SZ));
        EXPECT_EQ(value->bytes.size(), 2 * wcslen(data) + 2);
        EXPECT_EQ(value->bytes, StringBytes(data));
    }
}

TEST_F(RegistryWritersTest, EmptyTextsAreStoredOrLeaveTheEarlierValue) {
    const std::wstring key = std::wstring(kUninstall) + L"Shared_is1";
    SetString(machine_.Get(), key, L"DisplayVersion", L"0.9");
    SetString(machine_.Get(), key, L"Publisher", L"Earlier Publisher");
    WriteUninstallEntry(L"Shared", L"", L"", L"D:\\Apps", L"", L"");

    const std::pair<const wchar_t*, std::string> expected[] = {
        {L"DisplayName", std::string(2, '\0')},
        {L"DisplayIcon", StringBytes(L"\"\"")},
        {L"UninstallString", StringBytes(L"D:\\Apps\\unin.exe")},
        {L"DisplayVersion", StringBytes(L"0.9")},
        {L"Publisher", StringBytes(L"Earlier Publisher")},
    };
    for (const auto& [name, bytes] : expected) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(name)));
        const std::optional<TValue> value = ReadValue(machine_.Get(), key, name);
        ASSERT_TRUE(value);
        EXPECT_EQ(value->type, static_cast<DWORD>(REG_SZ));
        EXPECT_EQ(value->bytes, bytes);
    }
}

TEST_F(RegistryWritersTest, UrlProtocolIsWrittenAndTheCommandOnlyWhenItChanges) {
    TScratchFolder scratch;
    // The window's title is the log's name: a recorder left by another run is not this one.
    const std::wstring logName = Unique(L"settingchange") + L".log";
    const std::wstring log = scratch / logName;
    const systest::TChildProcess recorder(
        systest::FixtureCommand(L"settingchange_recorder.exe", L"\"" + log + L"\""));
    ASSERT_TRUE(recorder.Started());
    HWND window = nullptr;
    ASSERT_TRUE(systest::EventuallyTrue([&] {
        window = FindWindowW(L"SettingChangeRecorder", logName.c_str());
        return window != nullptr;
    }));
    // The broadcast gives up waiting after 100 ms; a message sent after it is handled after it,
    // so its answer says that the recorder has seen everything sent before.
    const auto broadcasts = [&] {
        DWORD_PTR ignored = 0;
        SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 60000, &ignored);
        const std::wstring text = systest::ReadUtf8Text(log).value_or(L"");
        std::size_t count = 0;
        for (std::size_t at = text.find(L"WM_SETTINGCHANGE wParam=0 lParam=Environment\r\n");
             at != std::wstring::npos; at = text.find(L"WM_SETTINGCHANGE", at + 1))
            ++count;
        return count;
    };
    const std::wstring key = ClassKey(L"demo");
    const std::wstring command = key + L"\\shell\\open\\command";
    const std::wstring first = L"C:\\Program Files\\Demo\\demo.exe";
    const std::wstring second = L"D:\\Demo\\demo.exe";

    RegisterUrlProtocol(key, L"URL:Demo Protocol", first);
    EXPECT_EQ(BytesOf(HKEY_CLASSES_ROOT, key, L""), StringBytes(L"URL:Demo Protocol"));
    EXPECT_EQ(BytesOf(HKEY_CLASSES_ROOT, key, L"URL Protocol"), StringBytes(first));
    const std::optional<TValue> written =
        ReadValue(HKEY_CLASSES_ROOT, command, L"", KEY_WOW64_64KEY);
    ASSERT_TRUE(written);
    EXPECT_EQ(written->type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(written->bytes, StringBytes(L"\"" + first + L"\" \"%1\""));
    EXPECT_EQ(broadcasts(), 1u);

    // The same handler again: the key's values are rewritten, the command and nobody told.
    SetString(HKEY_CLASSES_ROOT, key, L"URL Protocol", L"stale");
    RegisterUrlProtocol(key, L"", first);
    EXPECT_EQ(BytesOf(HKEY_CLASSES_ROOT, key, L""), std::string(2, '\0'));
    EXPECT_EQ(BytesOf(HKEY_CLASSES_ROOT, key, L"URL Protocol"), StringBytes(first));
    EXPECT_EQ(BytesOf(HKEY_CLASSES_ROOT, command, L""), StringBytes(L"\"" + first + L"\" \"%1\""));
    EXPECT_EQ(broadcasts(), 1u);

    RegisterUrlProtocol(key, L"URL:Demo Protocol", second);
    EXPECT_EQ(BytesOf(HKEY_CLASSES_ROOT, command, L""), StringBytes(L"\"" + second + L"\" \"%1\""));
    EXPECT_EQ(broadcasts(), 2u);
}

TEST_F(RegistryWritersTest, ACommandThatIsNotAStringIsAnError) {
    const std::wstring key = ClassKey(L"bad");
    const DWORD number = 7;
    SetValue(HKEY_CLASSES_ROOT, key + L"\\shell\\open\\command", L"", REG_DWORD, &number,
             sizeof number);
    try {
        RegisterUrlProtocol(key, L"URL:Bad", L"C:\\bad.exe");
        ADD_FAILURE() << "no error raised";
    } catch (const EInstallerError& e) {
        EXPECT_EQ(e.Message(), L"Invalid data type for ''");
    }
    EXPECT_EQ(BytesOf(HKEY_CLASSES_ROOT, key, L"URL Protocol"), StringBytes(L"C:\\bad.exe"));
    const std::optional<TValue> left =
        ReadValue(HKEY_CLASSES_ROOT, key + L"\\shell\\open\\command", L"");
    ASSERT_TRUE(left);
    EXPECT_EQ(left->type, static_cast<DWORD>(REG_DWORD));
}

// Without redirection: the uninstall entry goes to the 32-bit view of the machine's registry,
// and view 2 of the key creator to the 64-bit one.
TEST(RegistryViewsTest, UninstallEntryIn32BitViewAndView2In64Bit) {
    if (sizeof(void*) == 8)
        GTEST_SKIP() << "the program's own view is the 64-bit one in a 64-bit build";
    const std::wstring name = Unique(L"OneClickSetupViewTest");
    const std::wstring entry = std::wstring(kUninstall) + name + L"_is1";
    WriteUninstallEntry(name, L"View Test", L"C:\\x.exe", L"C:\\x", L"1", L"p");
    const bool in32 = KeyExists(HKEY_LOCAL_MACHINE, entry, KEY_WOW64_32KEY);
    const bool in64 = KeyExists(HKEY_LOCAL_MACHINE, entry, KEY_WOW64_64KEY);
    RegDeleteKeyExW(HKEY_LOCAL_MACHINE, entry.c_str(), KEY_WOW64_32KEY, 0);
    RegDeleteKeyExW(HKEY_LOCAL_MACHINE, entry.c_str(), KEY_WOW64_64KEY, 0);
    EXPECT_TRUE(in32);
    EXPECT_FALSE(in64);

    const std::wstring key = L"Software\\" + name;
    for (const BYTE view : {1, 2}) {
        SCOPED_TRACE(testing::Message() << "view " << int(view));
        HKEY raw = nullptr;
        DWORD disposition = 0;
        ASSERT_EQ(RegCreateKeyView(view, HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr,
                                   REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, &raw,
                                   &disposition),
                  ERROR_SUCCESS);
        RegCloseKey(raw);
        EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
        const bool found32 = KeyExists(HKEY_LOCAL_MACHINE, key, KEY_WOW64_32KEY);
        const bool found64 = KeyExists(HKEY_LOCAL_MACHINE, key, KEY_WOW64_64KEY);
        RegDeleteKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), KEY_WOW64_32KEY, 0);
        RegDeleteKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), KEY_WOW64_64KEY, 0);
        EXPECT_EQ(found32, view != 2);
        EXPECT_EQ(found64, view == 2);
    }
    HKEY raw = nullptr;
    EXPECT_EQ(RegCreateKeyView(2, nullptr, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &raw,
                               nullptr),
              ERROR_INVALID_HANDLE);
}

// ---- The values for deployment tools, and removing the registration ---------------------------

TEST_F(RegistryWritersTest, DeploymentValuesJoinTheUninstallEntry) {
    WriteUninstallEntry(L"Deploy", L"Deploy", L"C:\\P\\d.exe", L"C:\\Program Files\\Deploy", L"1",
                        L"p");
    WriteUninstallDeploymentValues(L"Deploy", L"C:\\Program Files\\Deploy", 1234);
    const std::wstring key = std::wstring(kUninstall) + L"Deploy_is1";
    const auto quiet = ReadValue(machine_.Get(), key, L"QuietUninstallString");
    ASSERT_TRUE(quiet);
    EXPECT_EQ(quiet->type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(quiet->bytes, StringBytes(L"\"C:\\Program Files\\Deploy\\unin.exe\" /silent"));
    const auto location = ReadValue(machine_.Get(), key, L"InstallLocation");
    ASSERT_TRUE(location);
    EXPECT_EQ(location->bytes, StringBytes(L"C:\\Program Files\\Deploy"));
    const auto size = ReadValue(machine_.Get(), key, L"EstimatedSize");
    ASSERT_TRUE(size);
    EXPECT_EQ(size->type, static_cast<DWORD>(REG_DWORD));
    const DWORD kb = 1234;
    EXPECT_EQ(size->bytes, std::string(reinterpret_cast<const char*>(&kb), sizeof kb));
    // The entry's own values stay as they were.
    EXPECT_EQ(BytesOf(machine_.Get(), key, L"UninstallString"),
              StringBytes(L"C:\\Program Files\\Deploy\\unin.exe"));
}

TEST_F(RegistryWritersTest, DeploymentValuesNeedTheEntry) {
    WriteUninstallDeploymentValues(L"Never Written", L"C:\\x", 1);
    EXPECT_FALSE(KeyExists(machine_.Get(), std::wstring(kUninstall) + L"Never Written_is1", 0));
}

TEST_F(RegistryWritersTest, UninstallEntryIsRemovedOnlyForItsOwnUninstaller) {
    const std::wstring key = std::wstring(kUninstall) + L"Mine_is1";
    struct TCase {
        const wchar_t* written; // installation folder the entry names
        const wchar_t* uninstaller;
        bool removed;
    };
    const TCase cases[] = {
        {L"C:\\Program Files\\Mine", L"C:\\Program Files\\Mine\\unin.exe", true},
        {L"C:\\Program Files\\Mine", L"c:\\PROGRAM FILES\\mine\\UNIN.EXE", true},
        // A target typed with a trailing separator doubles it in UninstallString.
        {L"C:\\Program Files\\Mine\\", L"C:\\Program Files\\Mine\\unin.exe", true},
        // The entry now belongs to an installation elsewhere: left alone.
        {L"D:\\Other\\Mine", L"C:\\Program Files\\Mine\\unin.exe", false},
        {L"C:\\Program Files\\Mine", L"C:\\Users\\u\\Downloads\\unin.exe", false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.written) + L" / " + c.uninstaller));
        WriteUninstallEntry(L"Mine", L"Mine", L"C:\\m.exe", c.written, L"1", L"p");
        ASSERT_TRUE(KeyExists(machine_.Get(), key, 0));
        EXPECT_TRUE(RemoveUninstallEntry(L"Mine", c.uninstaller));
        EXPECT_EQ(!KeyExists(machine_.Get(), key, 0), c.removed);
    }
    // No entry at all: nothing to do, and that is success.
    RegDeleteKeyW(machine_.Get(), key.c_str());
    EXPECT_TRUE(RemoveUninstallEntry(L"Mine", L"C:\\Program Files\\Mine\\unin.exe"));
}

TEST(CommandProgramTest, TheProgramACommandLineStarts) {
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"\"C:\\Program Files\\P\\bin\\Tool.exe\" \"%1\"", L"C:\\Program Files\\P\\bin\\Tool.exe"},
        {L"C:\\P\\Tool.exe \"%1\"", L"C:\\P\\Tool.exe"},
        {L"  \"C:\\P\\Tool.exe\"", L"C:\\P\\Tool.exe"},
        {L"\"C:\\unterminated", L"C:\\unterminated"},
        {L"C:\\P\\Tool.exe", L"C:\\P\\Tool.exe"},
        {L"", L""},
        {L"   ", L""},
    };
    for (const auto& [command, program] : cases)
        EXPECT_EQ(CommandProgram(command), program)
            << testing::PrintToString(std::wstring(command));
}

TEST_F(RegistryWritersTest, ProtocolKeyIsRemovedWhileItStillNamesTheMainProgram) {
    const std::wstring mine = ClassKey(L"mine");
    const std::wstring taken = ClassKey(L"taken");
    RegisterUrlProtocol(mine, L"Mine", L"C:\\Program Files\\P\\bin\\Tool.exe");
    RegisterUrlProtocol(taken, L"Taken", L"C:\\Program Files\\P\\bin\\Tool.exe");
    // Another program has since registered itself for the second protocol.
    RegisterUrlProtocol(taken, L"Taken", L"C:\\Other\\other.exe");

    EXPECT_TRUE(RemoveUrlProtocol(mine, L"c:\\program files\\p\\BIN\\tool.exe"));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, mine, KEY_WOW64_64KEY));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, mine + L"\\shell\\open\\command", KEY_WOW64_64KEY));

    EXPECT_TRUE(RemoveUrlProtocol(taken, L"C:\\Program Files\\P\\bin\\Tool.exe"));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, taken + L"\\shell\\open\\command", KEY_WOW64_64KEY));

    // Gone already, or never registered: nothing to do.
    EXPECT_TRUE(RemoveUrlProtocol(mine, L"C:\\Program Files\\P\\bin\\Tool.exe"));
    EXPECT_TRUE(RemoveUrlProtocol(L"", L"C:\\x.exe"));
}
