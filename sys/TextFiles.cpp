#include "sys/MyCommonFuns.h"

#include "sys/Error.h"
#include "sys/FileIo.h"
#include "sys/SysErrorMessage.h"
#include "sys/TextEncoding.h"
#include "sys/Win32CodePage.h"
#include "sys/Win32Handle.h"

std::wstring ReadTextFile(const std::wstring& path, bool asUtf8) {
    if (!FileExists(path))
        return {};
    // Others may go on reading; a writer holding the file open makes the open fail.
    THandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        throw EInstallerError(L"Cannot open file \"" + path + L"\". " +
                              SysErrorMessage(GetLastError()));
    std::string bytes;
    if (!ReadAllBytes(file.Get(), bytes))
        throw EInstallerError(L"Cannot read file \"" + path + L"\". " +
                              SysErrorMessage(GetLastError()));
    return NormaliseLines(DecodeText(bytes, asUtf8, AnsiCodePage()));
}

bool WriteTextFile(const std::wstring& path, const std::wstring& text, bool asUtf8) {
    try {
        const std::string bytes = EncodeText(NormaliseLines(text), asUtf8, AnsiCodePage());
        DeleteFileW(path.c_str());
        {
            THandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
            if (!file || !WriteAllBytes(file.Get(), bytes))
                return false;
        }
        return FileExists(path);
    } catch (...) {
        return false;
    }
}
