#include "sys/MyCommonFuns.h"

#include "sys/Error.h"
#include "sys/FileIo.h"
#include "sys/SysErrorMessage.h"
#include "sys/TextEncoding.h"
#include "sys/Win32Handle.h"
#include "sys/Win32CodePage.h"

namespace {

HMODULE ModuleOrSelf(HMODULE module) {
    return module ? module : GetModuleHandleW(nullptr);
}

} // namespace

std::string_view ResourceData(const std::wstring& name, const std::wstring& type, HMODULE module) {
    const HMODULE image = ModuleOrSelf(module);
    // FindResourceW upper-cases string names and types, so "zipfile" finds "ZIPFILE".
    const HRSRC info = FindResourceW(image, name.c_str(), type.c_str());
    const HGLOBAL loaded = info ? LoadResource(image, info) : nullptr;
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (!data)
        throw EInstallerError(L"Resource " + name + L" not found");
    return {static_cast<const char*>(data), SizeofResource(image, info)};
}

std::string LoadResourceBytes(const std::wstring& name, const std::wstring& type, HMODULE module) {
    return std::string(ResourceData(name, type, module));
}

bool ResourceExists(const std::wstring& name, const std::wstring& type, HMODULE module) {
    const HMODULE image = ModuleOrSelf(module);
    const HRSRC info = FindResourceW(image, name.c_str(), type.c_str());
    // Resource memory belongs to the mapped image; there is nothing to release.
    return info && LoadResource(image, info) != nullptr;
}

std::wstring LoadResourceText(const std::wstring& name, const std::wstring& type, HMODULE module) {
    return NormaliseLines(DecodeText(ResourceData(name, type, module), false, AnsiCodePage()));
}

bool ExtractResourceToFile(const std::wstring& name, const std::wstring& type,
                           const std::wstring& fileName, HMODULE module) {
    DeleteFileW(fileName.c_str());
    const std::string_view data = ResourceData(name, type, module);
    {
        THandle file(CreateFileW(fileName.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file)
            throw EInstallerError(L"Cannot create file \"" + fileName + L"\". " +
                                  SysErrorMessage(GetLastError()));
        // A short write (a full disk) must not pass for a good copy of the archive.
        if (!WriteAllBytes(file.Get(), data))
            throw EInstallerError(L"Cannot write file \"" + fileName + L"\". " +
                                  SysErrorMessage(GetLastError()));
    }
    return FileExists(fileName);
}
