#include "sys/MyCommonFuns.h"

#include "sys/Error.h"
#include "sys/FileIo.h"
#include "sys/PrivateFolder.h"
#include "sys/SystemPrograms.h"
#include "sys/SysErrorMessage.h"
#include "sys/Win32CodePage.h"
#include "sys/Win32Handle.h"

#include <optional>
#include <random>
#include <vector>

namespace {

// Seeded once per process, so that the script's name changes from run to run.
unsigned ScriptNumber() {
    static std::minstd_rand generator(static_cast<unsigned>(GetTickCount64()) ^
                                      (GetCurrentProcessId() << 16));
    return std::uniform_int_distribution<unsigned>(0, 4999)(generator);
}

// True when the ANSI code page carries `text` exactly: no substitute, no best fit.
bool FitsAnsiCodePage(const std::wstring& text) {
    if (text.empty() || GetACP() == CP_UTF8)
        return true;
    BOOL usedDefault = FALSE;
    const int length =
        WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(),
                            static_cast<int>(text.size()), nullptr, 0, nullptr, &usedDefault);
    return length > 0 && !usedDefault;
}

// The form of an existing path that an ANSI batch script can name: the path itself, else its
// short name. A "?" in its place would be a wildcard to "del".
std::optional<std::wstring> ScriptFormOf(const std::wstring& path) {
    if (FitsAnsiCodePage(path))
        return path;
    std::wstring shortPath(MAX_PATH, L'\0');
    DWORD length = GetShortPathNameW(path.c_str(), shortPath.data(), MAX_PATH);
    if (length >= MAX_PATH) {
        shortPath.resize(length);
        length = GetShortPathNameW(path.c_str(), shortPath.data(), length);
    }
    if (length == 0 || length >= shortPath.size())
        return std::nullopt;
    shortPath.resize(length);
    if (!FitsAnsiCodePage(shortPath))
        return std::nullopt;
    return shortPath;
}

// A quoted path as the command interpreter reads it in a script: "%" would start a variable.
std::wstring Quoted(const std::wstring& path) {
    std::wstring quoted = L"\"";
    for (const wchar_t c : path) {
        quoted += c;
        if (c == L'%')
            quoted += L'%';
    }
    return quoted + L"\"";
}

// The programs the script starts are named by their full system path: the command
// interpreter would look for a bare name in its current folder and along PATH first.
std::vector<std::wstring> ScriptLines(const std::wstring& file, const std::wstring& folder) {
    const std::wstring timeout = Quoted(SystemProgramPath(L"timeout.exe"));
    const std::wstring attrib = Quoted(SystemProgramPath(L"attrib.exe"));
    return {L":try",
            L"dir c:\\ & " + timeout + L" /t 1 & dir d:\\",
            attrib + L" -s -h -r " + Quoted(file),
            L"del " + Quoted(file),
            L"if exist " + Quoted(file) + L" goto try",
            L"rd /s /q " + Quoted(folder)};
}

[[noreturn]] void ThrowIoError(const wchar_t* what, const std::wstring& path, DWORD code) {
    throw EInOutError(std::wstring(what) + L" \"" + path + L"\". " + SysErrorMessage(code), code);
}

// Removes the script's folder, and the script in it, unless the script was started.
class TScriptCleanup {
public:
    TScriptCleanup(const std::wstring& folder, const std::wstring& script)
        : folder_(folder), script_(script) {}
    ~TScriptCleanup() {
        if (!done_) {
            DeleteFileW(script_.c_str());
            RemoveDirectoryW(folder_.c_str());
        }
    }
    TScriptCleanup(const TScriptCleanup&) = delete;
    TScriptCleanup& operator=(const TScriptCleanup&) = delete;
    void Done() { done_ = true; }

private:
    const std::wstring& folder_;
    const std::wstring& script_;
    bool done_ = false;
};

} // namespace

void DeleteFileByScript(const std::wstring& path) {
    if (!FileExists(path))
        return;
    const std::optional<std::wstring> file = ScriptFormOf(path);
    const std::wstring interpreter = SystemProgramPath(L"cmd.exe");
    if (!file || interpreter.empty())
        return;

    // A folder of this run's own, which other users cannot write in: the elevated command
    // interpreter reads the script again at every pass of its loop.
    const std::wstring folder = CreatePrivateTempFolder();
    const std::wstring script = folder + L"\\" + std::to_wstring(ScriptNumber()) + L".bat";
    TScriptCleanup cleanup(folder, script);
    THandle output(CreateFileW(script.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!output)
        ThrowIoError(L"Cannot create file", script, GetLastError());
    // The folder exists now, so its short name can be had when the long one does not fit.
    const std::optional<std::wstring> self = ScriptFormOf(folder);
    if (!self)
        return;
    for (const std::wstring& line : ScriptLines(*file, *self)) {
        if (!WriteAllBytes(output.Get(), AnsiCodePage().FromWide(line + L"\r\n")))
            ThrowIoError(L"Cannot write file", script, GetLastError());
    }
    if (!CloseHandle(output.Release()))
        ThrowIoError(L"Cannot close file", script, GetLastError());

    // "/d": no AutoRun commands from the registry. The outer quotes around the quoted script
    // are the interpreter's own rule for "/c" (a path with spaces stays one word).
    const THandle process(reinterpret_cast<HANDLE>(
        static_cast<UINT_PTR>(RunProcess(L"\"" + interpreter + L"\" /d /c \"\"" + script + L"\"\"",
                                         true, false, SystemFolder(), false))));
    if (process)
        cleanup.Done();
}

void DeleteSelf() {
    DeleteFileByScript(GetExeDir() + GetExeFileName());
}
