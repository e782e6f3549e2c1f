#pragma once
// The directory walk's host on Windows. Every entry is opened by its full path with
// FILE_FLAG_OPEN_REPARSE_POINT, so a link at that name is opened itself, and what was opened
// is read through the handle. Directories are listed through their handles and held open
// without FILE_SHARE_DELETE while the walk is inside them, so that no folder on the path of
// a later open can be renamed or swapped for a link meanwhile. Entries are deleted through
// their handles (delete disposition), after read-only, hidden and system attributes are
// cleared. An entry held open by another program is scheduled for deletion at the next
// restart (MoveFileExW with MOVEFILE_DELAY_UNTIL_REBOOT).

#include "sys/DirWalk.h"
#include "sys/MessagePump.h"

class TWin32DirHost final : public IDirHost {
public:
    // A host whose entries call `pump` (when given) before opening each child and between
    // the blocks of a listing: emptying a large folder takes long, and the walk may run on a
    // window's thread. The host must outlive the entries it opens.
    explicit TWin32DirHost(TPump pump = {}) : pump_(std::move(pump)) {}

    std::unique_ptr<IDirEntry> OpenTop(const std::wstring& path, TDirOpenError& error) override;

private:
    TPump pump_;
};
