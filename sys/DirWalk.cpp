#include "sys/DirWalk.h"

#include "sys/Error.h"

namespace {

bool RemoveContents(IDirEntry& directory, bool keepDotNames);

// Removes the entry `name` of `directory`, first its contents when it is a plain directory.
// What is done depends only on what was opened: a link is removed as a link even when the
// listing showed a directory there. An entry that is gone by now counts as removed.
bool RemoveChild(IDirEntry& directory, const std::wstring& name) {
    bool gone = false;
    const std::unique_ptr<IDirEntry> child = directory.OpenChild(name, gone);
    if (!child)
        return gone;
    bool complete = true;
    if (child->Kind() == TDirEntryKind::Directory)
        complete = RemoveContents(*child, false);
    return child->Remove() && complete;
}

// Removes every entry of `directory` (except those whose name begins with "." when
// `keepDotNames`); true when all of them went.
bool RemoveContents(IDirEntry& directory, bool keepDotNames) {
    std::vector<std::wstring> names;
    bool complete = directory.List(names);
    for (const std::wstring& name : names) {
        if (keepDotNames && !name.empty() && name[0] == L'.')
            continue;
        if (!RemoveChild(directory, name))
            complete = false;
    }
    return complete;
}

std::unique_ptr<IDirEntry> OpenTopOrThrow(IDirHost& host, const std::wstring& path) {
    TDirOpenError error;
    std::unique_ptr<IDirEntry> top = host.OpenTop(path, error);
    if (!top)
        throw EInOutError(L"Cannot open directory \"" + path + L"\". " + error.reason, error.code);
    return top;
}

} // namespace

bool WalkDeleteTree(IDirHost& host, const std::wstring& path) {
    const std::unique_ptr<IDirEntry> top = OpenTopOrThrow(host, path);
    if (top->Kind() != TDirEntryKind::Directory)
        return top->Remove();
    std::vector<std::wstring> names;
    if (!top->List(names) && names.empty())
        return false;
    if (names.empty()) {
        top->Remove();
        return true;
    }
    for (const std::wstring& name : names)
        RemoveChild(*top, name);
    return true;
}

bool WalkDeleteDirectory(IDirHost& host, const std::wstring& path) {
    TDirOpenError error;
    const std::unique_ptr<IDirEntry> top = host.OpenTop(path, error);
    if (!top)
        return false;
    if (top->Kind() != TDirEntryKind::Directory)
        return top->Remove();
    std::vector<std::wstring> names;
    const bool listed = top->List(names) || !names.empty();
    for (const std::wstring& name : names)
        RemoveChild(*top, name);
    top->Remove();
    return listed;
}

bool WalkClearDirectory(IDirHost& host, const std::wstring& path) {
    TDirOpenError error;
    const std::unique_ptr<IDirEntry> top = host.OpenTop(path, error);
    if (!top)
        return true;
    if (top->Kind() != TDirEntryKind::Directory)
        return false;
    return RemoveContents(*top, true);
}
