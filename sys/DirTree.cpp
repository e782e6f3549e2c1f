#include "sys/MyCommonFuns.h"

#include "sys/DirWalk.h"
#include "sys/Win32DirHost.h"

bool DeleteDirTree(const std::wstring& path, unsigned* scheduled) {
    TWin32DirHost host;
    return WalkDeleteTree(host, path, scheduled);
}

bool DeleteDirectory(const std::wstring& path, unsigned* scheduled) {
    TWin32DirHost host;
    return WalkDeleteDirectory(host, path, scheduled);
}

bool ClearDirectory(const std::wstring& path, unsigned* scheduled, const std::wstring& keepName) {
    TWin32DirHost host;
    return WalkClearDirectory(host, path, scheduled, keepName);
}
