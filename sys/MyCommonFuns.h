#pragma once
// The installer's system services: its own resources, the well-known folders, small text
// files, copying and deleting files and trees, free disk space, and ending processes.
// Windows only. Unexpected failures throw EInstallerError (sys/Error.h); expected ones are
// reported through the result. None of these functions keeps state between calls.

#include "sys/MessagePump.h"

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// ---- Resources ---------------------------------------------------------------------------
// A resource is named by (name, type), both matched without regard to case. `module` is the
// image to look in; nullptr means the running executable. No language is asked for.

// Returns a view of the resource's raw bytes, valid while `module` stays loaded; throws
// EInstallerError "Resource <name> not found" when it cannot be found or loaded.
std::string_view ResourceData(const std::wstring& name, const std::wstring& type,
                              HMODULE module = nullptr);

// Where the running program's own resource lies in its program file, held since start-up
// (see ProgramFile.h): sets `offset` and `size` and returns true; false when the file is not
// held, the resource does not exist, or its bytes are not in one section's file data.
bool ResourceInProgramFile(const std::wstring& name, const std::wstring& type,
                           std::uint64_t& offset, std::uint64_t& size);

// True when the resource is found and loads; never throws.
bool ResourceExists(const std::wstring& name, const std::wstring& type, HMODULE module = nullptr);

// Returns the resource as text, decoded by its byte-order mark (else in the ANSI code page)
// and line-normalised (every line ends with CR LF); throws as ResourceData.
std::wstring LoadResourceText(const std::wstring& name, const std::wstring& type,
                              HMODULE module = nullptr);

// Hands the resource's PNG bytes to target.LoadPngFromMemory(data, size) (a picture, or an
// image control), which decodes them and keeps its own copy; throws as ResourceData, before the
// target is touched.
template <typename TPngTarget>
void LoadPngResource(TPngTarget& target, const std::wstring& name, const std::wstring& type,
                     HMODULE module = nullptr) {
    const std::string_view png = ResourceData(name, type, module);
    target.LoadPngFromMemory(static_cast<const void*>(png.data()), png.size());
}

// ---- Folders and system facts --------------------------------------------------------------

// The full path of `module`'s file (nullptr: the running executable); "" when the system
// cannot give it.
std::wstring ModuleFileName(HMODULE module = nullptr);

// The running executable's directory: its module path up to and including the last "\" or
// ":", so it ends with "\".
std::wstring GetExeDir();

// The running executable's file name: its module path after the last "\" or ":".
std::wstring GetExeFileName();

// The system's temporary directory as the system reports it, ending with "\"; "" when the
// system cannot tell.
std::wstring GetTempDir();

// The per-user roaming application data folder (CSIDL 0x801A: created if missing), without a
// trailing separator; throws "Error get getSysAppDataDir" when the shell gives no path.
std::wstring GetAppDataDir();

// The per-user local application data folder (CSIDL 0x801C), otherwise as GetAppDataDir.
std::wstring GetLocalAppDataDir();

// The file-system path of the shell folder `csidl`, without a trailing separator; "" when the
// shell cannot resolve it.
std::wstring GetSpecialFolder(int csidl);

// The native Program Files folder: the expansion of %ProgramW6432% on 64-bit Windows (the
// literal text when the variable is undefined), else the Program Files special folder.
std::wstring GetProgramFilesDir();

// `text` with its %variables% expanded from this process's environment (an undefined one stays
// as it is); "" when the system cannot expand it.
std::wstring ExpandEnvironmentText(const std::wstring& text);

// `path` without the separators ("\" or "/") it ends with.
std::wstring WithoutTrailingSeparators(std::wstring path);

// Creates the folder with every missing parent; false when it does not exist afterwards.
bool CreateDirectoryTree(const std::wstring& path);

// True on 64-bit Windows with an x64 or Itanium processor: always in a 64-bit build, else when
// RunsUnderWow64OnX64(); false on 32-bit and ARM64 Windows and on any failure.
bool Is64BitWindows();

// True when this process runs under WOW64 on an x64 or Itanium processor (so false in any
// 64-bit process); false on any failure.
bool RunsUnderWow64OnX64();

// True when the system's major version is above 5 (Vista and later).
bool IsVistaOrLater();

// Stores into `megabytes` the bytes available to this user on the volume of `directory` (a
// drive such as "C:" will do), in whole MiB rounded down; false, with `megabytes` untouched,
// when the system cannot tell.
bool GetDiskFreeMB(const std::wstring& directory, int& megabytes);

// Returns `bytes` in whole MiB rounded down, clamped to the largest int.
int BytesToWholeMB(unsigned long long bytes);

// ---- Files and directories -----------------------------------------------------------------

// Returns the file's text, line-normalised: asUtf8 decodes strictly ("" when not valid UTF-8,
// a leading mark skipped), otherwise by byte-order mark, else in the ANSI code page. "" when
// the file does not exist; throws "Cannot open file "<path>". <system message>" when it exists
// but cannot be opened, "Cannot read file ..." when reading fails.
std::wstring ReadTextFile(const std::wstring& path, bool asUtf8);

// Replaces the file with `text`, line-normalised: asUtf8 writes EF BB BF and UTF-8, otherwise
// ANSI code page bytes without a mark. True when the file exists afterwards; false on any
// failure, never throws.
bool WriteTextFile(const std::wstring& path, const std::wstring& text, bool asUtf8);

// Copies `source` over `target`, replacing an existing target; true on success.
bool CopyFileOverwrite(const std::wstring& source, const std::wstring& target);

// Clears the read-only, hidden and system attributes of `path` (failure ignored), then deletes
// the file; returns whether the deletion succeeded.
bool ForceDeleteFile(const std::wstring& path);

// The three below walk the tree by handles (see DirWalk.h and Win32DirHost.h), never through
// the current directory: a link met anywhere, also one put in place of a folder during the
// walk, is removed as a link and never followed, and its target is left alone. A file that
// another program holds open (a sharing violation, not a lack of rights) is scheduled for
// deletion at the next restart, and so is a folder left holding only such files: each adds 1
// to `*scheduled` (when given) and counts as deleted.

// For an existing directory: deletes its contents with DeleteDirTree, then the directory
// itself (failure ignored), and returns DeleteDirTree's result; false when `path` is not an
// existing directory that can be opened. A directory link is removed as a link.
bool DeleteDirectory(const std::wstring& path, unsigned* scheduled = nullptr);

// Deletes everything inside the absolute directory `path`, and `path` itself when it was
// empty; when `path` is a link, removes the link and returns whether it went. Single failures
// are not reported; false only when the listing cannot be started. Throws EInOutError when
// `path` cannot be opened as a directory (missing, not a directory, no access).
bool DeleteDirTree(const std::wstring& path, unsigned* scheduled = nullptr);

// Deletes every entry of the absolute directory `path` whose name does not begin with "."
// (below it, everything), keeping the directory and its entry `keepName` when given (compared
// without regard to case); true when every attempted deletion at any depth succeeded (also
// when `path` is missing or cannot be opened). A `path` that is itself a link is not emptied:
// it is left as it is, target untouched, and the result is false.
bool ClearDirectory(const std::wstring& path, unsigned* scheduled = nullptr,
                    const std::wstring& keepName = {});

// ---- Processes -----------------------------------------------------------------------------

// Terminates (exit code 1) every running process whose executable file name equals
// `exeFileName`, ASCII letters compared without regard to case; true when every match was
// ended, also when nothing matched or no process list could be taken.
bool KillProcessByName(const std::wstring& exeFileName);

// Waits, at most `timeoutMs` in all, until the processes that KillProcessByName would match
// have ended: a terminated process keeps its executable locked until it is gone. With a
// `pump`, calls it each time window messages arrive meanwhile (see WaitPumping).
void WaitForProcessesByName(const std::wstring& exeFileName, DWORD timeoutMs,
                            const TPump& pump = {});

// Enables `privilegeName` (such as "SeDebugPrivilege") in the access token of `process`; true
// when the adjusting call succeeded, which it also does when the token lacks the privilege.
bool EnablePrivilege(HANDLE process, const std::wstring& privilegeName);

// ---- Starting programs ---------------------------------------------------------------------

// Opens `path` with the shell's "open" verb and SW_SHOWNORMAL, in the directory before its last
// separator; whatever fails, shell or exception, is dropped.
void ShellOpenFile(const std::wstring& path);

// Opens a document or web address with the shell's "open" verb, maximised; the shell's result
// is not looked at.
void OpenDocument(const std::wstring& pathOrAddress);

// How a process is started: under a duplicate of this process's token (Vista and later), or
// directly with CreateProcessW and CREATE_DEFAULT_ERROR_MODE (older systems).
enum class TProcessStart { ThroughToken, Direct };

// Starts `commandLine` (an empty `workingDir` keeps this process's current directory), with
// its window shown or hidden; through the token on Vista and later. keepIntegrity false lowers
// the new process to low integrity. With `wait`: blocks until it ends and returns its exit code,
// handles closed. Without: returns the process handle, which the caller owns. 0 when nothing
// was started.
DWORD RunProcess(const std::wstring& commandLine, bool keepIntegrity, bool showWindow,
                 const std::wstring& workingDir, bool wait);

// RunProcess with the way of starting chosen by the caller rather than by the system version.
DWORD RunProcessVia(TProcessStart start, const std::wstring& commandLine, bool keepIntegrity,
                    bool showWindow, const std::wstring& workingDir, bool wait);

// CreateProcessWithTokenW from advapi32 in the system folder, bound at run time, arguments
// passed unchanged; 0 when the DLL or the entry cannot be reached. Throws EInstallerError
// "CreateProcessWithToken Cannot be called in XP!" before Vista.
BOOL CallCreateProcessWithToken(HANDLE token, DWORD logonFlags, LPCWSTR applicationName,
                                LPWSTR commandLine, DWORD creationFlags, LPVOID environment,
                                LPCWSTR currentDirectory, LPSTARTUPINFOW startupInfo,
                                LPPROCESS_INFORMATION processInfo);

// ConvertStringSidToSidW, bound as CallCreateProcessWithToken; the caller frees `*sid` with
// LocalFree. Throws "ConvertStringSidToSid Cannot be called in XP!" before Vista.
BOOL CallConvertStringSidToSid(LPCWSTR sidText, PSID* sid);

// Labels `token` with the low mandatory level (S-1-16-4096); true when the label was set.
bool SetLowIntegrity(HANDLE token);

// ---- Deleting a file once it is free -------------------------------------------------------

// For an existing file: writes a batch script (ANSI, created new in a folder of its own made
// for it in the temporary directory, see PrivateFolder.h) that retries deleting the file about
// once a second until it is gone and then removes its folder with itself, and starts it with
// the system's command interpreter, hidden, at this process's integrity level, without
// waiting. A missing file writes and starts nothing. Throws EInOutError when the folder or the
// script cannot be written. A path that the ANSI
// code page cannot carry is given as its short name; when even that cannot be carried, nothing
// is written or started, since a substitute "?" would act as a wildcard.
void DeleteFileByScript(const std::wstring& path);

// DeleteFileByScript on the running executable.
void DeleteSelf();

// ---- Reporting -----------------------------------------------------------------------------

// Shows `code` in decimal in an information box with one OK button under MessageTitle()
// (sys/MessageBoxes.h); returns when the box is closed.
void ShowErrorCode(int code);

// ---- Shell shortcuts -----------------------------------------------------------------------
// The shell link objects need COM initialised on the calling thread; each is created and
// released within one call. Both folders are the current user's.

// `name` when it is not empty, else the target's file name without its last extension.
std::wstring ShortcutName(const std::wstring& target, const std::wstring& name);

// The desktop folder, "/", ShortcutName and ".lnk"; "" stands for the folder when the shell
// cannot resolve it.
std::wstring DesktopShortcutPath(const std::wstring& target, const std::wstring& name);

// The Programs folder, "\", `subFolder`, "\", ShortcutName and ".lnk".
std::wstring ProgramsShortcutPath(const std::wstring& target, const std::wstring& subFolder,
                                  const std::wstring& name);

// Saves a desktop shortcut to the existing file `target` (working directory: the target's
// directory with its separator), replacing one of that name; true when it was saved. false
// without touching the shell when `target` is missing. Throws EInstallerError when the shell
// link object or one of its interfaces cannot be had.
bool CreateDesktopShortcut(const std::wstring& target, const std::wstring& name);

// As CreateDesktopShortcut, in the Programs sub-folder `subFolder`, created with its parents
// when missing (an empty `subFolder` saves directly in the Programs folder).
bool CreateProgramsShortcut(const std::wstring& target, const std::wstring& subFolder,
                            const std::wstring& name);
