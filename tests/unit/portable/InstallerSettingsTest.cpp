#include "settings/InstallerSettings.h"

#include "sys/Error.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

// Folder lookups that record their calls, in order.
struct TFakeFolders {
    std::vector<std::wstring> calls;
    TSettingsFolders Folders() {
        return {[this] {
                    calls.push_back(L"appData");
                    return std::wstring(L"C:\\Users\\u\\AppData\\Roaming");
                },
                [this] {
                    calls.push_back(L"localAppData");
                    return std::wstring(L"C:\\Users\\u\\AppData\\Local");
                }};
    }
};

// Builds a document from JSON value texts, one member per key, in the order given. Every
// member ends with a comma, so that a value without quotes ends there and not at the line end.
std::wstring Document(const std::vector<std::pair<std::wstring, std::wstring>>& members) {
    std::wstring text = L"{\r\n";
    for (const auto& [key, value] : members)
        text += L"    \"" + key + L"\": " + value + L",\r\n";
    return text + L"}\r\n";
}

// A document with every required key; each entry may be overridden or removed.
std::vector<std::pair<std::wstring, std::wstring>> RequiredMembers() {
    return {{L"Title", L"\"T\""},
            {L"Version", L"\"1.0\""},
            {L"BigTitle", L"\"BT\""},
            {L"Description", L"\"D\""},
            {L"MainProg", L"\"app.exe\""},
            {L"MainProgPath", L"\"bin\\\\\""},
            {L"ShortcutName", L"\"S\""},
            {L"OpenWebsiteAfterInstall", L"\"https://example.com/i?v=[Version]\""},
            {L"OpenWebsiteAfterUninstall", L"\"\""},
            {L"ProgramDirName", L"\"P\""},
            {L"NetID", L"\"\""},
            {L"XPSupported", L"false"}};
}

TInstallerSettings Read(const std::wstring& text, TFakeFolders& folders) {
    TInstallerSettings settings;
    ReadInstallerSettings(text, settings, folders.Folders());
    return settings;
}

TInstallerSettings Read(const std::wstring& text) {
    TFakeFolders folders;
    return Read(text, folders);
}

// Returns the message of the EInstallerError that reading `text` throws, and checks that the
// settings passed in are left as they were.
std::wstring ReadError(const std::wstring& text) {
    TInstallerSettings settings;
    settings.FTitle = L"untouched";
    TFakeFolders folders;
    try {
        ReadInstallerSettings(text, settings, folders.Folders());
    } catch (const EInstallerError& error) {
        EXPECT_EQ(settings.FTitle, L"untouched");
        return error.Message();
    }
    ADD_FAILURE() << L"no error for " << text;
    return std::wstring();
}

// The field that each key fills, written out independently of the reader.
using TTextField = std::wstring TInstallerSettings::*;
const std::map<std::wstring, TTextField> kTextFields = {
    {L"Title", &TInstallerSettings::FTitle},
    {L"Version", &TInstallerSettings::FVersion},
    {L"BigTitle", &TInstallerSettings::FBigTitle},
    {L"Description", &TInstallerSettings::FDescription},
    {L"MainProg", &TInstallerSettings::FMainProg},
    {L"MainProgPath", &TInstallerSettings::FMainProgPath},
    {L"ShortcutName", &TInstallerSettings::FShortcutName},
    {L"OpenWebsiteAfterInstall", &TInstallerSettings::FOpenWebsiteAfterInstall},
    {L"OpenWebsiteAfterUninstall", &TInstallerSettings::FOpenWebsiteAfterUninstall},
    {L"ProgramDirName", &TInstallerSettings::FProgramDirName},
    {L"NetID", &TInstallerSettings::FNetID},
    {L"RegDllName", &TInstallerSettings::FRegDllName},
    {L"AfterInstBat1", &TInstallerSettings::FAfterInstBat1},
    {L"AfterInstBat2", &TInstallerSettings::FAfterInstBat2},
    {L"ConfigPathForUinstall", &TInstallerSettings::FConfigPathForUinstall},
    {L"ProtocalRootKeyName", &TInstallerSettings::FProtocalRootKeyName},
    {L"Protocalname", &TInstallerSettings::FProtocalname},
};

TEST(InstallerSettings, ReadsTheShippedDocumentShape) {
    // Alphabetical keys, four-space indent, CR LF after the line list, the usual absences.
    const std::wstring shipped =
        L"{\r\n"
        L"    \"BigTitle\": \"\u4e00\u952e\u5b89\u88c5\",\r\n"
        L"    \"ConfigPathForUinstall\": \"\",\r\n"
        L"    \"Description\": \"A product\",\r\n"
        L"    \"MainProg\": \"Product.exe\",\r\n"
        L"    \"MainProgPath\": \"\\\\\",\r\n"
        L"    \"NetID\": \"\",\r\n"
        L"    \"OpenWebsiteAfterInstall\": \"https://example.com/welcome?v=[Version]\",\r\n"
        L"    \"OpenWebsiteAfterUninstall\": \"https://example.com/bye\",\r\n"
        L"    \"ProgramDirName\": \"Product\",\r\n"
        L"    \"ShortcutName\": \"Product Shortcut\",\r\n"
        L"    \"Title\": \"Product Setup\",\r\n"
        L"    \"Version\": \"2.1.0\",\r\n"
        L"    \"XPSupported\": false\r\n"
        L"}\r\n";
    // The same settings written loosely: comments, single quotes, bare names, trailing commas.
    const std::wstring loose =
        L"// product settings\r\n{\r\n"
        L"    BigTitle: '\u4e00\u952e\u5b89\u88c5',\r\n"
        L"    'ConfigPathForUinstall': '', /* none */\r\n"
        L"    Description: 'A product',\r\n"
        L"    MainProg: 'Product.exe',\r\n"
        L"    MainProgPath: '\\\\',\r\n"
        L"    NetID: \"\",\r\n"
        L"    OpenWebsiteAfterInstall: 'https://example.com/welcome?v=[Version]',\r\n"
        L"    OpenWebsiteAfterUninstall: \"https://example.com/bye\",\r\n"
        L"    ProgramDirName: 'Product',\r\n"
        L"    ShortcutName: 'Product Shortcut',\r\n"
        L"    Title: 'Product Setup',\r\n"
        L"    Version: '2.1.0',\r\n"
        L"    XPSupported: false, // Vista or later\r\n"
        L"}\r\n";
    for (const std::wstring& text : {shipped, loose}) {
        TFakeFolders folders;
        const TInstallerSettings s = Read(text, folders);
        EXPECT_EQ(s.FTitle, L"Product Setup");
        EXPECT_EQ(s.FVersion, L"2.1.0");
        EXPECT_EQ(s.FBigTitle, L"\u4e00\u952e\u5b89\u88c5");
        EXPECT_EQ(s.FDescription, L"A product");
        EXPECT_EQ(s.FProgramDirName, L"Product");
        EXPECT_EQ(s.FMainProgPath, L"\\");
        EXPECT_EQ(s.FMainProg, L"Product.exe");
        EXPECT_EQ(s.FShortcutName, L"Product Shortcut");
        EXPECT_EQ(s.FOpenWebsiteAfterInstall, L"https://example.com/welcome?v=[Version]");
        EXPECT_EQ(s.FOpenWebsiteAfterUninstall, L"https://example.com/bye");
        EXPECT_EQ(s.FNetID, L"");
        EXPECT_FALSE(s.FXPSupported);
        EXPECT_EQ(s.FConfigPathForUinstall, L"");
        EXPECT_EQ(s.FAfterInstBat1, L"");
        EXPECT_EQ(s.FAfterInstBat2, L"");
        EXPECT_EQ(s.FRegDllName, L"");
        EXPECT_EQ(s.FProtocalRootKeyName, L"");
        EXPECT_EQ(s.FProtocalname, L"");
        EXPECT_TRUE(folders.calls.empty()) << "no data folder, so no folder lookups";
    }
}

TEST(InstallerSettings, EveryKnownKeyFillsItsOwnField) {
    std::vector<std::pair<std::wstring, std::wstring>> members;
    for (const TSettingKey& key : kSettingKeys) {
        members.emplace_back(key.Name, key.Type == TSettingType::Boolean
                                           ? L"true"
                                           : L"\"value of " + std::wstring(key.Name) + L"\"");
    }
    const TInstallerSettings s = Read(Document(members));
    EXPECT_TRUE(s.FXPSupported);
    EXPECT_EQ(kTextFields.size() + 1, kSettingKeys.size());
    for (const TSettingKey& key : kSettingKeys) {
        if (key.Type == TSettingType::Boolean) {
            EXPECT_EQ(std::wstring(key.Name), L"XPSupported");
            continue;
        }
        const auto field = kTextFields.find(key.Name);
        ASSERT_NE(field, kTextFields.end()) << key.Name;
        EXPECT_EQ(s.*(field->second), L"value of " + std::wstring(key.Name));
    }
}

TEST(InstallerSettings, TheKeyListMarksTheTwelveRequiredKeysFirst) {
    for (std::size_t i = 0; i < kSettingKeys.size(); ++i)
        EXPECT_EQ(kSettingKeys[i].Required, i < 12) << kSettingKeys[i].Name;
}

TEST(InstallerSettings, AMissingRequiredKeyIsNamed) {
    for (const TSettingKey& key : kSettingKeys) {
        if (!key.Required)
            continue;
        auto members = RequiredMembers();
        std::wstring value;
        for (auto it = members.begin(); it != members.end(); ++it) {
            if (it->first == key.Name) {
                value = it->second;
                members.erase(it);
                break;
            }
        }
        ASSERT_FALSE(value.empty()) << key.Name;
        const std::wstring expected =
            L"The settings lack the required key \"" + std::wstring(key.Name) + L"\".";
        EXPECT_EQ(ReadError(Document(members)), expected);
        // A key in other letter case does not stand in for it.
        std::wstring lower = key.Name;
        lower[0] = static_cast<wchar_t>(lower[0] - L'A' + L'a');
        members.emplace_back(lower, value);
        EXPECT_EQ(ReadError(Document(members)), expected);
    }
}

TEST(InstallerSettings, ValuesOfOtherTypesAreConverted) {
    struct Case {
        std::wstring key;
        std::wstring json;
        std::wstring text; // expected field text; for XPSupported "true" or "false"
    };
    const std::vector<Case> cases = {
        {L"XPSupported", L"\"false\"", L"true"},
        {L"XPSupported", L"False", L"true"},
        {L"XPSupported", L"\"\"", L"false"},
        {L"XPSupported", L"false", L"false"},
        {L"XPSupported", L"true", L"true"},
        {L"XPSupported", L"0", L"false"},
        {L"XPSupported", L"1", L"true"},
        {L"XPSupported", L"null", L"false"},
        {L"XPSupported", L"[]", L"true"},
        {L"Version", L"3.5", L"3.5"},
        {L"Version", L"7", L"7"},
        {L"Version", L"null", L"null"},
        {L"Version", L"true", L"true"},
        {L"Version", L"1.2.3", L"1.2.3"},
        {L"Title", L"{\"a\": [1, 'b']}", L"{\"a\":[1,\"b\"]}"},
        {L"NetID", L"user-pass", L"user-pass"},
        {L"RegDllName", L"2.50", L"2.5"},
    };
    for (const Case& c : cases) {
        auto members = RequiredMembers();
        members.emplace_back(c.key, c.json); // a later duplicate counts
        const TInstallerSettings s = Read(Document(members));
        if (c.key == L"XPSupported") {
            EXPECT_EQ(s.FXPSupported ? L"true" : L"false", c.text) << c.json;
        } else {
            EXPECT_EQ(s.*(kTextFields.at(c.key)), c.text) << c.key << L": " << c.json;
        }
    }
}

TEST(InstallerSettings, TheLaterOfTwoEqualKeysCounts) {
    auto members = RequiredMembers();
    members.insert(members.begin(), {L"Title", L"\"first\""});
    members.emplace_back(L"Title", L"\"last\"");
    EXPECT_EQ(Read(Document(members)).FTitle, L"last");
}

TEST(InstallerSettings, FolderPlaceholdersAreExpanded) {
    struct Case {
        std::wstring json;
        std::wstring expected;
    };
    const std::vector<Case> cases = {
        {L"\"%appdata%\\\\Product\"", L"C:\\Users\\u\\AppData\\Roaming\\Product"},
        {L"\"%APPDATA%\\\\Product\"", L"C:\\Users\\u\\AppData\\Roaming\\Product"},
        {L"\"%AppData%\\\\Product\"", L"C:\\Users\\u\\AppData\\Roaming\\Product"},
        {L"\"%localappdata%\\\\P\"", L"C:\\Users\\u\\AppData\\Local\\P"},
        {L"\"%LocalAppData%\\\\P\"", L"C:\\Users\\u\\AppData\\Local\\P"},
        {L"\"%appdata%|%LOCALAPPDATA%|%appdata%\"",
         L"C:\\Users\\u\\AppData\\Roaming|C:\\Users\\u\\AppData\\Local|"
         L"C:\\Users\\u\\AppData\\Roaming"},
        {L"\"%temp%\\\\Product\"", L"%temp%\\Product"},
        {L"\"%USERPROFILE%\\\\x\"", L"%USERPROFILE%\\x"},
        {L"\"D:\\\\Data\"", L"D:\\Data"},
        {L"\"%appdata\"", L"%appdata"},
    };
    for (const Case& c : cases) {
        auto members = RequiredMembers();
        members.emplace_back(L"ConfigPathForUinstall", c.json);
        TFakeFolders folders;
        EXPECT_EQ(Read(Document(members), folders).FConfigPathForUinstall, c.expected) << c.json;
        // Both folders are looked up, in this order, placeholder or not.
        EXPECT_EQ(folders.calls, (std::vector<std::wstring>{L"appData", L"localAppData"}))
            << c.json;
    }
}

TEST(InstallerSettings, AnEmptyOrAbsentDataFolderLooksUpNoFolder) {
    for (const bool present : {false, true}) {
        auto members = RequiredMembers();
        if (present)
            members.emplace_back(L"ConfigPathForUinstall", L"\"\"");
        TFakeFolders folders;
        EXPECT_EQ(Read(Document(members), folders).FConfigPathForUinstall, L"");
        EXPECT_TRUE(folders.calls.empty());
    }
}

TEST(InstallerSettings, AFolderLookupErrorPassesThroughUnchanged) {
    struct TLookupFailure {
        int code;
    };
    auto members = RequiredMembers();
    members.emplace_back(L"ConfigPathForUinstall", L"\"%temp%\"");
    const std::wstring text = Document(members);

    TInstallerSettings settings;
    settings.FTitle = L"untouched";
    TSettingsFolders failing{[]() -> std::wstring { throw TLookupFailure{5}; },
                             [] { return std::wstring(L"L"); }};
    try {
        ReadInstallerSettings(text, settings, failing);
        ADD_FAILURE() << "no error";
    } catch (const TLookupFailure& failure) {
        EXPECT_EQ(failure.code, 5);
    }
    failing.appData = [] { return std::wstring(L"A"); };
    failing.localAppData = []() -> std::wstring { throw EInstallerError(L"no local folder"); };
    try {
        ReadInstallerSettings(text, settings, failing);
        ADD_FAILURE() << "no error";
    } catch (const EInstallerError& error) {
        EXPECT_EQ(error.Message(), L"no local folder");
    }
    EXPECT_EQ(settings.FTitle, L"untouched");
}

TEST(InstallerSettings, AnUnusableDocumentIsReportedOnce) {
    struct Case {
        std::wstring text;
        std::wstring message;
    };
    const std::vector<Case> cases = {
        {L"{\r\n  \"Title\" \"x\"\r\n}",
         L"The settings cannot be read: line 2, column 11: expected ':' after the member "
         L"name."},
        {L"{\"Title\": \"x\",", L"The settings cannot be read: line 1, column 15: the text ends "
                                L"inside an object (missing '}')."},
        {L"\r\n", L"The settings cannot be read: line 2, column 1: the text holds no value."},
        {L"[1, 2]", L"The settings must be a JSON object, not an array."},
        {L"\"x\"", L"The settings must be a JSON object, not a string."},
        {L"null", L"The settings must be a JSON object, not null."},
        {L"12", L"The settings must be a JSON object, not a number."},
        {L"false", L"The settings must be a JSON object, not a Boolean."},
        {L"{}", L"The settings lack the required key \"Title\"."},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ReadError(c.text), c.message) << c.text;
}

TEST(InstallerSettings, SplitNetID) {
    struct Case {
        std::wstring netId;
        bool split;
        std::wstring user;
        std::wstring password;
    };
    const std::vector<Case> cases = {
        {L"user-secret", true, L"user", L"secret"},
        {L"a-b-c", true, L"a", L"b-c"},
        {L"-secret", true, L"", L"secret"},
        {L"user-", true, L"user", L""},
        {L"-", true, L"", L""},
        {L"\u7528\u6237-\u5bc6", true, L"\u7528\u6237", L"\u5bc6"},
        {L"nodash", false, L"(kept)", L"(kept)"},
        {L"", false, L"(kept)", L"(kept)"},
    };
    for (const Case& c : cases) {
        std::wstring user = L"(kept)";
        std::wstring password = L"(kept)";
        EXPECT_EQ(SplitNetID(c.netId, user, password), c.split) << c.netId;
        EXPECT_EQ(user, c.user) << c.netId;
        EXPECT_EQ(password, c.password) << c.netId;
    }
}

} // namespace
