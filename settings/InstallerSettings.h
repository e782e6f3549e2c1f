#pragma once
// The installer settings: the fields read from the settings document and the rules that read
// them. Portable: builds natively and for Windows.

#include <array>
#include <functional>
#include <string>

// The settings of one product. The main window class inherits these fields as its own.
struct TInstallerSettings {
    std::wstring FTitle;
    std::wstring FVersion;
    std::wstring FBigTitle;
    std::wstring FDescription;
    std::wstring FProgramDirName;
    std::wstring FMainProgPath;
    std::wstring FMainProg;
    std::wstring FShortcutName;
    std::wstring FOpenWebsiteAfterInstall;
    std::wstring FOpenWebsiteAfterUninstall;
    std::wstring FNetID;
    bool FXPSupported = false;
    std::wstring FConfigPathForUinstall;
    std::wstring FAfterInstBat1;
    std::wstring FAfterInstBat2;
    std::wstring FRegDllName;
    std::wstring FProtocalRootKeyName;
    std::wstring FProtocalname;
};

// The folders that replace the placeholders in ConfigPathForUinstall. Both must be set.
struct TSettingsFolders {
    std::function<std::wstring()> appData;      // replaces "%appdata%"
    std::function<std::wstring()> localAppData; // replaces "%localappdata%"
};

// The JSON type that a settings key is meant to have; other types are converted, not refused.
enum class TSettingType { String, Boolean };

// A key of the settings document and the field it fills: `Text` for a string key, `Flag` for a
// Boolean one.
struct TSettingKey {
    const wchar_t* Name;
    TSettingType Type;
    bool Required;
    std::wstring TInstallerSettings::*Text;
    bool TInstallerSettings::*Flag;
};

constexpr TSettingKey TextKey(const wchar_t* name, bool required,
                              std::wstring TInstallerSettings::*field) {
    return {name, TSettingType::String, required, field, nullptr};
}

// Every key the settings document knows, in the order in which the reader looks them up (the
// first required key missing is the one reported).
inline constexpr std::array<TSettingKey, 18> kSettingKeys = {{
    TextKey(L"Title", true, &TInstallerSettings::FTitle),
    TextKey(L"Version", true, &TInstallerSettings::FVersion),
    TextKey(L"BigTitle", true, &TInstallerSettings::FBigTitle),
    TextKey(L"Description", true, &TInstallerSettings::FDescription),
    TextKey(L"MainProg", true, &TInstallerSettings::FMainProg),
    TextKey(L"MainProgPath", true, &TInstallerSettings::FMainProgPath),
    TextKey(L"ShortcutName", true, &TInstallerSettings::FShortcutName),
    TextKey(L"OpenWebsiteAfterInstall", true, &TInstallerSettings::FOpenWebsiteAfterInstall),
    TextKey(L"OpenWebsiteAfterUninstall", true, &TInstallerSettings::FOpenWebsiteAfterUninstall),
    TextKey(L"ProgramDirName", true, &TInstallerSettings::FProgramDirName),
    TextKey(L"NetID", true, &TInstallerSettings::FNetID),
    {L"XPSupported", TSettingType::Boolean, true, nullptr, &TInstallerSettings::FXPSupported},
    TextKey(L"RegDllName", false, &TInstallerSettings::FRegDllName),
    TextKey(L"AfterInstBat1", false, &TInstallerSettings::FAfterInstBat1),
    TextKey(L"AfterInstBat2", false, &TInstallerSettings::FAfterInstBat2),
    TextKey(L"ConfigPathForUinstall", false, &TInstallerSettings::FConfigPathForUinstall),
    TextKey(L"ProtocalRootKeyName", false, &TInstallerSettings::FProtocalRootKeyName),
    TextKey(L"Protocalname", false, &TInstallerSettings::FProtocalname),
}};

// Parses the settings document `text` and fills `settings`, expanding %appdata% and
// %localappdata% in ConfigPathForUinstall through `folders`. Throws EInstallerError when the
// text cannot be parsed, is not an object or lacks a required key; errors of the folder
// functions pass through. `settings` is assigned only when all of it succeeded.
void ReadInstallerSettings(const std::wstring& text, TInstallerSettings& settings,
                           const TSettingsFolders& folders);

// Splits a network ID at its first "-" into `userName` and `password` and returns true;
// returns false and leaves both untouched when there is no "-".
bool SplitNetID(const std::wstring& netId, std::wstring& userName, std::wstring& password);
