#pragma once
// Deleting directory trees without ever following a link. The walk opens every entry itself,
// decides what to do from what it opened (never from a listing made earlier), lists and
// enters a directory only through the entry it holds open, and removes a link as a link. So
// a junction or symbolic link met at any depth, even one put in place of a directory after
// the listing, is removed and its target left alone, and a top folder that is a link is never
// emptied. The walk is portable; the file system comes from a host (Win32DirHost on Windows,
// PosixDirHost natively).
//
// Paths are wide strings in the host's own form; names are single path components.

#include <memory>
#include <string>
#include <vector>

// What an opened entry is, read through the entry held open.
enum class TDirEntryKind {
    File,
    // A plain directory: never a link to one.
    Directory,
    // A symbolic link, junction or other reparse point, to a file or a directory.
    Link,
};

// An entry of the file system held open by the host. While a directory is held, the host
// keeps it from being renamed or replaced where the system allows, and opens its children
// without following a link at their own name.
class IDirEntry {
public:
    virtual ~IDirEntry() = default;
    virtual TDirEntryKind Kind() const = 0;
    // For a directory: the names of its entries other than "." and "..", read through this
    // entry. False when they could not all be read; `names` then holds those that were.
    virtual bool List(std::vector<std::wstring>& names) = 0;
    // For a directory: opens its entry `name` without following a link. Null when it cannot
    // be opened; `gone` then says whether that is because there is no such entry any more.
    virtual std::unique_ptr<IDirEntry> OpenChild(const std::wstring& name, bool& gone) = 0;
    // Removes this entry from its directory: a file (also a read-only, hidden or system one),
    // a link itself (never what it points to) or an empty directory. False when it cannot.
    // Nothing else may be asked of the entry afterwards.
    virtual bool Remove() = 0;
    // For a directory: has the system remove its entry `name` at the next restart, when that
    // entry could not be opened or removed now because another program holds it open (a
    // sharing violation; not a lack of rights). `evenIfNotInUse` schedules it regardless: a
    // directory left holding only entries so scheduled. False when nothing was scheduled; a
    // host whose system cannot do this never schedules.
    virtual bool RemoveChildAtRestart(const std::wstring& name, bool evenIfNotInUse) {
        (void)name;
        (void)evenIfNotInUse;
        return false;
    }
};

// Why a top folder could not be opened: the system's error code and its text.
struct TDirOpenError {
    unsigned long code = 0;
    std::wstring reason;
};

class IDirHost {
public:
    virtual ~IDirHost() = default;
    // Opens the directory `path` without following a link at its last component: the entry
    // is a Directory or a Link. Null when `path` is missing, not a directory or not
    // accessible, with `error` saying why.
    virtual std::unique_ptr<IDirEntry> OpenTop(const std::wstring& path, TDirOpenError& error) = 0;
};

// In all three below, an entry that another program holds open is scheduled for removal at
// the next restart (see IDirEntry::RemoveChildAtRestart), and so is a directory left holding
// only such entries; each one scheduled adds 1 to `*scheduled` (when given) and counts as
// removed.

// Deletes everything inside the directory `path`, and `path` itself when it was empty. When
// `path` is a link, removes the link and returns whether it went. Single failures inside are
// not reported; false only when the listing cannot be started. Throws EInOutError (with the
// host's code) when `path` cannot be opened as a directory.
bool WalkDeleteTree(IDirHost& host, const std::wstring& path, unsigned* scheduled = nullptr);

// Deletes the directory `path` with everything in it; a link is removed as a link. Returns
// WalkDeleteTree's result, or the link's removal; false when `path` cannot be opened as a
// directory.
bool WalkDeleteDirectory(IDirHost& host, const std::wstring& path, unsigned* scheduled = nullptr);

// Deletes every entry of the directory `path` whose name does not begin with ".", at any
// depth below it everything; keeps `path`, and its entry `keepName` when given (compared
// without regard to case: the running uninstaller's own file). True when every entry went
// (also when `path` is missing or cannot be opened); false when anything could not be
// deleted, and when `path` is a link, which is left as it is with its target untouched.
bool WalkClearDirectory(IDirHost& host, const std::wstring& path, unsigned* scheduled = nullptr,
                        const std::wstring& keepName = {});
