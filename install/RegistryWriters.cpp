#include "install/RegistryWriters.h"
#include "install/Package.h"
#include "sys/RunLog.h"

#include "install/ProtectedFolders.h"
#include "sys/Error.h"
#include "sys/MyCommonFuns.h"
#include "sys/Win32Handle.h"

#include <shlobj.h>

#include <optional>

namespace {

constexpr wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
// KEY_ALL_ACCESS | KEY_WOW64_64KEY: the protocol is registered in the native view.
constexpr REGSAM kProtocolAccess = 0xF013F;

DWORD StringByteCount(const std::wstring& text) {
    return static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
}

LONG SetString(HKEY key, const std::wstring& name, const std::wstring& text) {
    return RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          StringByteCount(text));
}

// Opens `subKey` below `parent`, creating it when missing; an empty key when that fails.
TRegKey OpenOrCreate(HKEY parent, const std::wstring& subKey) {
    HKEY raw = nullptr;
    if (RegCreateKeyExW(parent, subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        kProtocolAccess, nullptr, &raw, nullptr) != ERROR_SUCCESS)
        return TRegKey();
    return TRegKey(raw);
}

void SetStringOrThrow(HKEY key, const std::wstring& name, const std::wstring& text) {
    if (SetString(key, name, text) != ERROR_SUCCESS)
        throw EInstallerError(L"Failed to set data for '" + name + L"'");
}

// The string value `name`; "" when absent. Throws "Invalid data type" for other types.
std::wstring ReadStringOrEmpty(HKEY key, const std::wstring& name) {
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return {};
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        throw EInstallerError(L"Invalid data type for '" + name + L"'");
    // Room for a terminator the stored data may lack.
    std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
    DWORD read = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    if (RegQueryValueExW(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(text.data()),
                         &read) != ERROR_SUCCESS)
        return {};
    text.resize(read / sizeof(wchar_t));
    while (!text.empty() && text.back() == L'\0')
        text.pop_back();
    return text;
}

} // namespace

LONG RegCreateKeyView(BYTE view, HKEY root, LPCWSTR subKey, DWORD reserved, LPWSTR keyClass,
                      DWORD options, REGSAM access, LPSECURITY_ATTRIBUTES security, PHKEY key,
                      LPDWORD disposition) {
    if (view == 2)
        access |= KEY_WOW64_64KEY;
    return RegCreateKeyExW(root, subKey, reserved, keyClass, options, access, security, key,
                           disposition);
}

bool RegWriteString(HKEY key, const std::wstring& name, const std::wstring& text) {
    const LONG result = SetString(key, name, text);
    if (RunLogOpen())
        LogLine(L"registry value " + name + L" = " + text +
                (result == ERROR_SUCCESS ? L"" : L" (failed: " + std::to_wstring(result) + L")"));
    if (result != ERROR_SUCCESS)
        ShowErrorCode(static_cast<int>(result));
    return result == ERROR_SUCCESS;
}

bool RegWriteStringIfSet(HKEY key, const std::wstring& name, const std::wstring& text) {
    return text.empty() || RegWriteString(key, name, text);
}

bool WriteUninstallEntry(const std::wstring& entryName, const std::wstring& displayName,
                         const std::wstring& iconPath, const std::wstring& installDir,
                         const std::wstring& version, const std::wstring& publisher) {
    const std::wstring keyPath = kUninstallKey + entryName + L"_is1";
    if (RunLogOpen())
        LogLine(L"uninstall entry: HKLM\\" + keyPath);
    HKEY raw = nullptr;
    const LONG result =
        RegCreateKeyView(1, HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, nullptr,
                         REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, &raw, nullptr);
    if (result != ERROR_SUCCESS) {
        ShowErrorCode(static_cast<int>(result));
        return false;
    }
    const TRegKey key(raw);
    bool written = RegWriteString(key.Get(), L"DisplayName", displayName);
    written &= RegWriteStringIfSet(key.Get(), L"DisplayIcon", L"\"" + iconPath + L"\"");
    const std::wstring uninstaller = installDir + L"\\" + package::Wide(package::kUninstallerFile);
    written &= RegWriteString(key.Get(), L"UninstallString", uninstaller);
    written &= RegWriteStringIfSet(key.Get(), L"DisplayVersion", version);
    written &= RegWriteStringIfSet(key.Get(), L"Publisher", publisher);
    return written;
}

bool WriteUninstallDeploymentValues(const std::wstring& entryName, const std::wstring& installDir,
                                    DWORD sizeKB) {
    const std::wstring keyPath = kUninstallKey + entryName + L"_is1";
    HKEY raw = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_SET_VALUE, &raw) != ERROR_SUCCESS)
        return false;
    const TRegKey key(raw);
    const std::wstring uninstaller = installDir + L"\\" + package::Wide(package::kUninstallerFile);
    bool written =
        RegWriteString(key.Get(), L"QuietUninstallString", L"\"" + uninstaller + L"\" /silent");
    written &= RegWriteString(key.Get(), L"InstallLocation", installDir);
    const LONG result = RegSetValueExW(key.Get(), L"EstimatedSize", 0, REG_DWORD,
                                       reinterpret_cast<const BYTE*>(&sizeKB), sizeof sizeKB);
    if (result != ERROR_SUCCESS)
        ShowErrorCode(static_cast<int>(result));
    return written && result == ERROR_SUCCESS;
}

bool RemoveUninstallEntry(const std::wstring& entryName, const std::wstring& uninstallerPath) {
    const std::wstring keyPath = kUninstallKey + entryName + L"_is1";
    HKEY raw = nullptr;
    const LONG opened =
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_QUERY_VALUE, &raw);
    if (opened == ERROR_FILE_NOT_FOUND)
        return true;
    if (opened != ERROR_SUCCESS)
        return false;
    std::wstring named;
    {
        const TRegKey key(raw);
        try {
            named = ReadStringOrEmpty(key.Get(), L"UninstallString");
        } catch (const EInstallerError&) {
            return true; // not a string: not an entry this installer wrote
        }
    }
    if (named.empty() || !SamePath(named, uninstallerPath))
        return true;
    // The 32-bit view, where WriteUninstallEntry wrote it; the entry has no sub-keys.
    return RegDeleteKeyW(HKEY_LOCAL_MACHINE, keyPath.c_str()) == ERROR_SUCCESS;
}

std::wstring CommandProgram(const std::wstring& command) {
    std::size_t start = command.find_first_not_of(L" \t");
    if (start == std::wstring::npos)
        return {};
    if (command[start] == L'"') {
        const std::size_t end = command.find(L'"', start + 1);
        return command.substr(start + 1,
                              end == std::wstring::npos ? std::wstring::npos : end - start - 1);
    }
    const std::size_t end = command.find_first_of(L" \t", start);
    return command.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
}

bool RemoveUrlProtocol(const std::wstring& protocolKey, const std::wstring& handlerPath) {
    if (protocolKey.empty())
        return true;
    std::wstring command;
    {
        HKEY raw = nullptr;
        const std::wstring commandKey = protocolKey + L"\\shell\\open\\command";
        if (RegOpenKeyExW(HKEY_CLASSES_ROOT, commandKey.c_str(), 0,
                          KEY_QUERY_VALUE | KEY_WOW64_64KEY, &raw) != ERROR_SUCCESS)
            return true; // no protocol, or not one with a command this installation wrote
        const TRegKey key(raw);
        try {
            command = ReadStringOrEmpty(key.Get(), L"");
        } catch (const EInstallerError&) {
            return true;
        }
    }
    const std::wstring program = CommandProgram(command);
    if (program.empty() || !SamePath(program, handlerPath))
        return true;
    {
        HKEY raw = nullptr;
        if (RegOpenKeyExW(HKEY_CLASSES_ROOT, protocolKey.c_str(), 0, kProtocolAccess, &raw) !=
            ERROR_SUCCESS)
            return false;
        const TRegKey key(raw);
        RegDeleteTreeW(key.Get(), nullptr);
    }
    const bool deleted = RegDeleteKeyExW(HKEY_CLASSES_ROOT, protocolKey.c_str(), KEY_WOW64_64KEY,
                                         0) == ERROR_SUCCESS;
    if (deleted)
        NotifyShellAndEnvironment();
    return deleted;
}

void RegisterUrlProtocol(const std::wstring& protocolKey, const std::wstring& displayName,
                         const std::wstring& handlerPath) {
    if (RunLogOpen())
        LogLine(L"URL protocol: HKCR\\" + protocolKey + L" -> " + handlerPath);
    bool commandChanged = false;
    {
        const TRegKey protocol = OpenOrCreate(HKEY_CLASSES_ROOT, protocolKey);
        if (!protocol)
            return;
        SetStringOrThrow(protocol.Get(), L"", displayName);
        SetStringOrThrow(protocol.Get(), L"URL Protocol", handlerPath);

        const std::wstring command = L"\"" + handlerPath + L"\" \"%1\"";
        const TRegKey open = OpenOrCreate(protocol.Get(), L"shell\\open\\command");
        if (!open)
            return;
        if (ReadStringOrEmpty(open.Get(), L"") != command) {
            SetStringOrThrow(open.Get(), L"", command);
            commandChanged = true;
        }
    }
    if (commandChanged)
        NotifyShellAndEnvironment();
}

void NotifyShellAndEnvironment() {
    SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
    SHChangeNotify(SHCNE_ALLEVENTS, SHCNF_IDLIST, nullptr, nullptr);
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(HWND_BROADCAST, WM_SETTINGCHANGE, 0,
                        reinterpret_cast<LPARAM>(L"Environment"), SMTO_ABORTIFHUNG, 100, &ignored);
}
