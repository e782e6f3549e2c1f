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

struct TSettingKey {
    const wchar_t* Name;
    TSettingType Type;
    bool Required;
};

// Every key the settings document knows, in the order in which the reader looks them up.
inline constexpr std::array<TSettingKey, 18> kSettingKeys = {{
    {L"Title", TSettingType::String, true},
    {L"Version", TSettingType::String, true},
    {L"BigTitle", TSettingType::String, true},
    {L"Description", TSettingType::String, true},
    {L"MainProg", TSettingType::String, true},
    {L"MainProgPath", TSettingType::String, true},
    {L"ShortcutName", TSettingType::String, true},
    {L"OpenWebsiteAfterInstall", TSettingType::String, true},
    {L"OpenWebsiteAfterUninstall", TSettingType::String, true},
    {L"ProgramDirName", TSettingType::String, true},
    {L"NetID", TSettingType::String, true},
    {L"XPSupported", TSettingType::Boolean, true},
    {L"RegDllName", TSettingType::String, false},
    {L"AfterInstBat1", TSettingType::String, false},
    {L"AfterInstBat2", TSettingType::String, false},
    {L"ConfigPathForUinstall", TSettingType::String, false},
    {L"ProtocalRootKeyName", TSettingType::String, false},
    {L"Protocalname", TSettingType::String, false},
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
