#include "sys/MyCommonFuns.h"

bool CopyFileOverwrite(const std::wstring& source, const std::wstring& target) {
    return CopyFileW(source.c_str(), target.c_str(), FALSE) != FALSE;
}

bool ForceDeleteFile(const std::wstring& path) {
    // 0x10 carries none of the read-only, hidden, system or archive bits, so all of them are
    // cleared; the system ignores the directory bit itself. A missing file fails here harmlessly.
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_DIRECTORY);
    return DeleteFileW(path.c_str()) != FALSE;
}
