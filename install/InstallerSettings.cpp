#include "install/InstallerSettings.h"

#include "install/JsonReader.h"
#include "sys/CStr.h"
#include "sys/Error.h"

namespace {

const wchar_t* KindName(TJsonKind kind) {
    switch (kind) {
    case TJsonKind::Null:
        return L"null";
    case TJsonKind::False:
    case TJsonKind::True:
        return L"a Boolean";
    case TJsonKind::Number:
        return L"a number";
    case TJsonKind::String:
        return L"a string";
    case TJsonKind::Object:
        return L"an object";
    case TJsonKind::Array:
        return L"an array";
    }
    return L"a value";
}

// Required keys have no default: a document without one cannot describe a product.
const TJsonValue& Required(const TJsonValue& root, const wchar_t* key) {
    const TJsonValue* value = root.Find(key);
    if (value == nullptr)
        throw EInstallerError(std::wstring(L"The settings lack the required key \"") + key +
                              L"\".");
    return *value;
}

std::wstring RequiredText(const TJsonValue& root, const wchar_t* key) {
    return ValueAsText(Required(root, key));
}

std::wstring OptionalText(const TJsonValue& root, const wchar_t* key) {
    const TJsonValue* value = root.Find(key);
    return value == nullptr ? std::wstring() : ValueAsText(*value);
}

} // namespace

void ReadInstallerSettings(const std::wstring& text, TInstallerSettings& settings,
                           const TSettingsFolders& folders) {
    TJsonValue root;
    TJsonError error;
    if (!ParseJson(text, root, error))
        throw EInstallerError(L"The settings cannot be read: " + error.Describe() + L".");
    if (root.Kind != TJsonKind::Object)
        throw EInstallerError(std::wstring(L"The settings must be a JSON object, not ") +
                              KindName(root.Kind) + L".");

    TInstallerSettings read;
    read.FTitle = RequiredText(root, L"Title");
    read.FVersion = RequiredText(root, L"Version");
    read.FBigTitle = RequiredText(root, L"BigTitle");
    read.FDescription = RequiredText(root, L"Description");
    read.FMainProg = RequiredText(root, L"MainProg");
    read.FMainProgPath = RequiredText(root, L"MainProgPath");
    read.FShortcutName = RequiredText(root, L"ShortcutName");
    read.FOpenWebsiteAfterInstall = RequiredText(root, L"OpenWebsiteAfterInstall");
    read.FOpenWebsiteAfterUninstall = RequiredText(root, L"OpenWebsiteAfterUninstall");
    read.FProgramDirName = RequiredText(root, L"ProgramDirName");
    read.FNetID = RequiredText(root, L"NetID");
    read.FXPSupported = ValueAsBoolean(Required(root, L"XPSupported"));
    read.FRegDllName = OptionalText(root, L"RegDllName");
    read.FAfterInstBat1 = OptionalText(root, L"AfterInstBat1");
    read.FAfterInstBat2 = OptionalText(root, L"AfterInstBat2");
    read.FConfigPathForUinstall = OptionalText(root, L"ConfigPathForUinstall");
    read.FProtocalRootKeyName = OptionalText(root, L"ProtocalRootKeyName");
    read.FProtocalname = OptionalText(root, L"Protocalname");

    if (!read.FConfigPathForUinstall.empty()) {
        // Both folders are asked for even when no placeholder is written, so a failing folder
        // lookup shows whenever the data folder is configured.
        const std::wstring appData = folders.appData();
        read.FConfigPathForUinstall =
            StrReplaceAll(read.FConfigPathForUinstall, L"%appdata%", appData, false);
        const std::wstring localAppData = folders.localAppData();
        read.FConfigPathForUinstall =
            StrReplaceAll(read.FConfigPathForUinstall, L"%localappdata%", localAppData, false);
    }
    settings = std::move(read);
}

bool SplitNetID(const std::wstring& netId, std::wstring& userName, std::wstring& password) {
    const std::size_t dash = netId.find(L'-');
    if (dash == std::wstring::npos)
        return false;
    userName = netId.substr(0, dash);
    password = netId.substr(dash + 1);
    return true;
}
