#include "sys/DirWalk.h"

#include "sys/Error.h"

#include <cwctype>

namespace {

// What became of an entry: gone now, left for the system to remove at the next restart (it,
// or something inside it, is in use), or left for good.
enum class TOutcome { Removed, Scheduled, Failed };

TOutcome Worse(TOutcome a, TOutcome b) {
    return a > b ? a : b;
}

bool SameNameIgnoringCase(const std::wstring& a, const std::wstring& b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::towlower(static_cast<std::wint_t>(a[i])) !=
            std::towlower(static_cast<std::wint_t>(b[i])))
            return false;
    return true;
}

TOutcome RemoveContents(IDirEntry& directory, bool keepDotNames, const std::wstring& keepName,
                        unsigned& scheduled);

// Has the system remove the entry `name` of `directory` at the next restart.
TOutcome ScheduleChild(IDirEntry& directory, const std::wstring& name, bool evenIfNotInUse,
                       unsigned& scheduled) {
    if (!directory.RemoveChildAtRestart(name, evenIfNotInUse))
        return TOutcome::Failed;
    ++scheduled;
    return TOutcome::Scheduled;
}

// Removes the entry `name` of `directory`, first its contents when it is a plain directory.
// What is done depends only on what was opened: a link is removed as a link even when the
// listing showed a directory there. An entry that is gone by now counts as removed.
TOutcome RemoveChild(IDirEntry& directory, const std::wstring& name, unsigned& scheduled) {
    bool gone = false;
    std::unique_ptr<IDirEntry> child = directory.OpenChild(name, gone);
    if (!child)
        return gone ? TOutcome::Removed : ScheduleChild(directory, name, false, scheduled);
    TOutcome inside = TOutcome::Removed;
    if (child->Kind() == TDirEntryKind::Directory)
        inside = RemoveContents(*child, false, {}, scheduled);
    if (child->Remove())
        return inside == TOutcome::Failed ? TOutcome::Failed : TOutcome::Removed;
    // Let go of it first: the walk's own handle must not be taken for another program's.
    child.reset();
    if (inside == TOutcome::Failed)
        return TOutcome::Failed;
    // In use itself, or a directory that still holds entries removed at the restart (which
    // the system removes first, having been scheduled first).
    return ScheduleChild(directory, name, inside == TOutcome::Scheduled, scheduled);
}

// Removes every entry of `directory` (except those whose name begins with "." when
// `keepDotNames`, and `keepName`); Failed when any could not go.
TOutcome RemoveContents(IDirEntry& directory, bool keepDotNames, const std::wstring& keepName,
                        unsigned& scheduled) {
    std::vector<std::wstring> names;
    TOutcome outcome = directory.List(names) ? TOutcome::Removed : TOutcome::Failed;
    for (const std::wstring& name : names) {
        if (keepDotNames && !name.empty() && name[0] == L'.')
            continue;
        if (!keepName.empty() && SameNameIgnoringCase(name, keepName))
            continue;
        outcome = Worse(outcome, RemoveChild(directory, name, scheduled));
    }
    return outcome;
}

std::unique_ptr<IDirEntry> OpenTopOrThrow(IDirHost& host, const std::wstring& path) {
    TDirOpenError error;
    std::unique_ptr<IDirEntry> top = host.OpenTop(path, error);
    if (!top)
        throw EInOutError(L"Cannot open directory \"" + path + L"\". " + error.reason, error.code);
    return top;
}

} // namespace

bool WalkDeleteTree(IDirHost& host, const std::wstring& path, unsigned* scheduled) {
    unsigned count = 0;
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
        RemoveChild(*top, name, count);
    if (scheduled)
        *scheduled += count;
    return true;
}

bool WalkDeleteDirectory(IDirHost& host, const std::wstring& path, unsigned* scheduled) {
    TDirOpenError error;
    const std::unique_ptr<IDirEntry> top = host.OpenTop(path, error);
    if (!top)
        return false;
    if (top->Kind() != TDirEntryKind::Directory)
        return top->Remove();
    unsigned count = 0;
    std::vector<std::wstring> names;
    const bool listed = top->List(names) || !names.empty();
    for (const std::wstring& name : names)
        RemoveChild(*top, name, count);
    top->Remove();
    if (scheduled)
        *scheduled += count;
    return listed;
}

bool WalkClearDirectory(IDirHost& host, const std::wstring& path, unsigned* scheduled,
                        const std::wstring& keepName) {
    TDirOpenError error;
    const std::unique_ptr<IDirEntry> top = host.OpenTop(path, error);
    if (!top)
        return true;
    if (top->Kind() != TDirEntryKind::Directory)
        return false;
    unsigned count = 0;
    const TOutcome outcome = RemoveContents(*top, true, keepName, count);
    if (scheduled)
        *scheduled += count;
    return outcome != TOutcome::Failed;
}
