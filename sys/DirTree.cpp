#include "sys/MyCommonFuns.h"

#include "sys/DirWalk.h"
#include "sys/Win32DirHost.h"

bool DeleteDirTree(const std::wstring& path) {
    TWin32DirHost host;
    return WalkDeleteTree(host, path);
}

bool DeleteDirectory(const std::wstring& path) {
    TWin32DirHost host;
    return WalkDeleteDirectory(host, path);
}

bool ClearDirectory(const std::wstring& path) {
    TWin32DirHost host;
    return WalkClearDirectory(host, path);
}
