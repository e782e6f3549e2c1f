#pragma once
// The installer's registry entries: the entry in the system's list of installed programs, a URL
// protocol handler, and the notification that associations and settings changed. Registry
// failures of the uninstall entry are shown as message boxes (ShowErrorCode); those of the URL
// protocol values throw EInstallerError.

#include <windows.h>

#include <string>

// RegCreateKeyExW with the arguments unchanged, except that view 2 adds KEY_WOW64_64KEY to
// `access`; returns its result code (0 = success).
LONG RegCreateKeyView(BYTE view, HKEY root, LPCWSTR subKey, DWORD reserved, LPWSTR keyClass,
                      DWORD options, REGSAM access, LPSECURITY_ATTRIBUTES security, PHKEY key,
                      LPDWORD disposition);

// Stores `text` as the REG_SZ value `name` of `key` ("" is the default value), 2 x length + 2
// bytes; a failure is shown with ShowErrorCode. True when the value was written.
bool RegWriteString(HKEY key, const std::wstring& name, const std::wstring& text);

// RegWriteString when `text` is not empty (then its result); otherwise the value is left as
// it is (true).
bool RegWriteStringIfSet(HKEY key, const std::wstring& name, const std::wstring& text);

// Writes HKLM "Software\Microsoft\Windows\CurrentVersion\Uninstall\<entryName>_is1" (the
// 32-bit view): DisplayName, DisplayIcon (the quoted icon path), UninstallString (installDir
// "\unin.exe", unquoted), and DisplayVersion and Publisher when not empty. Each failure shows
// its code and the rest is still attempted. True when the key and every value were written.
bool WriteUninstallEntry(const std::wstring& entryName, const std::wstring& displayName,
                         const std::wstring& iconPath, const std::wstring& installDir,
                         const std::wstring& version, const std::wstring& publisher);

// Adds the values that deployment tools read to the uninstall entry that WriteUninstallEntry
// wrote for `entryName`: "QuietUninstallString" (the quoted installDir "\unin.exe" and
// " /silent"), "InstallLocation" (installDir) and "EstimatedSize" (REG_DWORD, `sizeKB`). A key
// that cannot be opened writes nothing (WriteUninstallEntry has reported it); each value that
// cannot be written shows its code. True when every value was written.
bool WriteUninstallDeploymentValues(const std::wstring& entryName, const std::wstring& installDir,
                                    DWORD sizeKB);

// Deletes the uninstall entry of `entryName` (the key WriteUninstallEntry writes) when its
// "UninstallString" names `uninstallerPath` (compared as file names are); an entry that names
// another installation's uninstaller is left alone. True when no such entry of this
// installation is left.
bool RemoveUninstallEntry(const std::wstring& entryName, const std::wstring& uninstallerPath);

// Deletes the URL protocol key `protocolKey` under HKEY_CLASSES_ROOT (the 64-bit view), with
// everything below it, when its "shell\open\command" still starts `handlerPath`; a protocol
// that another program has taken over is left alone. Notifies the shell when it deleted.
// True when no such key of this installation is left.
bool RemoveUrlProtocol(const std::wstring& protocolKey, const std::wstring& handlerPath);

// The program a command line starts: the text inside the leading quotes, or up to the first
// space when it does not start with a quote; "" for an empty command.
std::wstring CommandProgram(const std::wstring& command);

// Registers `handlerPath` for the URL protocol `protocolKey` under HKEY_CLASSES_ROOT (the 64-bit
// view): the key's default value and "URL Protocol", and the command "<handler>" "%1", written
// and followed by NotifyShellAndEnvironment only when it differs. A key that cannot be opened
// ends it silently; throws EInstallerError "Failed to set data for '<name>'" or "Invalid data
// type for '<name>'" (a command value that is not a string).
void RegisterUrlProtocol(const std::wstring& protocolKey, const std::wstring& displayName,
                         const std::wstring& handlerPath);

// Tells the shell that associations changed and broadcasts WM_SETTINGCHANGE "Environment",
// waiting at most 100 ms for each window.
void NotifyShellAndEnvironment();
