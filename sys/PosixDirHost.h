#pragma once
// The directory walk's host on Linux and other POSIX systems, for the native build. Paths go
// to the system as UTF-8 with "/" for "\". Every entry is looked at relative to the
// descriptor of the directory holding it, without following a link (fstatat with
// AT_SYMLINK_NOFOLLOW, openat with O_NOFOLLOW | O_DIRECTORY), listed through its own
// descriptor and removed with unlinkat, which never follows a link either.

#include "sys/DirWalk.h"

class TPosixDirHost final : public IDirHost {
public:
    std::unique_ptr<IDirEntry> OpenTop(const std::wstring& path, TDirOpenError& error) override;
};
