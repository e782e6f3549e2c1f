#include "sys/MyCommonFuns.h"
#include "sys/ShortcutTarget.h"

#include "sys/ComPtr.h"
#include "sys/Error.h"
#include "sys/FileIo.h"
#include "sys/SysErrorMessage.h"

#include <shlobj.h>

namespace {

// Where the directory part of a target path ends.
std::size_t FileNameStart(const std::wstring& path) {
    const std::size_t delimiter = path.find_last_of(L"\\/:");
    return delimiter == std::wstring::npos ? 0 : delimiter + 1;
}

[[noreturn]] void ThrowShellError(const wchar_t* what, HRESULT result) {
    throw EInstallerError(std::wstring(what) + L" " + SysErrorMessage(static_cast<DWORD>(result)));
}

// Saves a link to `target` at `linkPath`; true when the shell reports S_OK.
bool SaveShortcut(const std::wstring& target, const std::wstring& linkPath) {
    TComPtr<IShellLinkW> link;
    const HRESULT created =
        CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                         IID_IShellLinkW, link.Put());
    if (FAILED(created) || !link)
        ThrowShellError(L"Cannot create the shell link object.", created);
    link->SetPath(target.c_str());
    link->SetWorkingDirectory(target.substr(0, FileNameStart(target)).c_str());
    const TComPtr<IPersistFile> file = link.Query<IPersistFile>(IID_IPersistFile);
    if (!file)
        ThrowShellError(L"The shell link object cannot be saved.", E_NOINTERFACE);
    return file->Save(linkPath.c_str(), FALSE) == S_OK;
}

} // namespace

std::wstring ShortcutName(const std::wstring& target, const std::wstring& name) {
    if (!name.empty())
        return name;
    const std::wstring fileName = target.substr(FileNameStart(target));
    return fileName.substr(0, fileName.rfind(L'.'));
}

std::wstring DesktopShortcutPath(const std::wstring& target, const std::wstring& name) {
    return GetSpecialFolder(CSIDL_DESKTOP) + L"/" + ShortcutName(target, name) + L".lnk";
}

std::wstring ProgramsShortcutPath(const std::wstring& target, const std::wstring& subFolder,
                                  const std::wstring& name) {
    return GetSpecialFolder(CSIDL_PROGRAMS) + L"\\" + subFolder + L"\\" +
           ShortcutName(target, name) + L".lnk";
}

bool CreateDesktopShortcut(const std::wstring& target, const std::wstring& name) {
    if (!FileExists(target))
        return false;
    return SaveShortcut(target, DesktopShortcutPath(target, name));
}

bool CreateProgramsShortcut(const std::wstring& target, const std::wstring& subFolder,
                            const std::wstring& name) {
    if (!FileExists(target))
        return false;
    const std::wstring linkPath = ProgramsShortcutPath(target, subFolder, name);
    // A failure here makes the save fail, which is the result.
    CreateDirectoryTree(GetSpecialFolder(CSIDL_PROGRAMS) + L"\\" + subFolder);
    return SaveShortcut(target, linkPath);
}

std::optional<std::wstring> ReadShortcutTarget(const std::wstring& linkPath) {
    TComPtr<IShellLinkW> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                link.Put())) ||
        !link)
        return std::nullopt;
    const TComPtr<IPersistFile> file = link.Query<IPersistFile>(IID_IPersistFile);
    if (!file || FAILED(file->Load(linkPath.c_str(), STGM_READ)))
        return std::nullopt;
    // Room for the longest path a link can hold; S_FALSE means it holds none.
    std::wstring path(32768, L'\0');
    if (link->GetPath(path.data(), static_cast<int>(path.size()), nullptr, 0) != S_OK)
        return std::nullopt;
    path.resize(wcsnlen(path.c_str(), path.size()));
    if (path.empty())
        return std::nullopt;
    return path;
}
