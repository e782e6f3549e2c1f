#include "settings/InstallerSettings.h"

#include "settings/JsonReader.h"
#include "sys/CStr.h"
#include "sys/Error.h"

void ReadInstallerSettings(const std::wstring& text, TInstallerSettings& settings,
                           const TSettingsFolders& folders) {
    TJsonValue root;
    TJsonError error;
    if (!ParseJson(text, root, error))
        throw EInstallerError(L"The settings cannot be read: " + error.Describe() + L".");
    if (root.Kind != TJsonKind::Object)
        throw EInstallerError(std::wstring(L"The settings must be a JSON object, not ") +
                              JsonKindName(root.Kind) + L".");

    TInstallerSettings read;
    for (const TSettingKey& key : kSettingKeys) {
        const TJsonValue* value = root.Find(key.Name);
        if (value == nullptr) {
            // A required key has no default: a document without one cannot describe a product.
            if (key.Required)
                throw EInstallerError(std::wstring(L"The settings lack the required key \"") +
                                      key.Name + L"\".");
            continue;
        }
        if (key.Type == TSettingType::Boolean)
            read.*key.Flag = ValueAsBoolean(*value);
        else
            read.*key.Text = ValueAsText(*value);
    }

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
