#pragma once
// Everything the archive reader needs from its surroundings: the archive file, the target's
// file system, the system's code pages and the message pump. The reader itself stays
// portable; Win32ZipHost, PosixZipHost and MemoryZipHost implement this.
//
// Paths are wide strings whose separator is "\"; a host for a system with another separator
// converts them.

#include "archive/ZipFormat.h"
#include "sys/TextEncoding.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// An archive opened for reading; others may read it but not write it while it is open.
class IZipInput {
public:
    virtual ~IZipInput() = default;
    // The archive's length in bytes.
    virtual std::uint64_t Size() const = 0;
    // Reads up to `length` bytes at `offset` into `buffer`; returns the count read, fewer
    // only at the end of the file or when the file cannot be read further.
    virtual std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t length) = 0;
    // A value that changes when the archive file is modified (its last-write time).
    virtual std::uint64_t Stamp() const = 0;
};

// A target file open for writing, not shared. Destroying it without Finish closes it cut to
// the bytes written, without setting its time.
class IZipOutput {
public:
    virtual ~IZipOutput() = default;
    // Appends `length` bytes; false when they could not all be written (disk full).
    virtual bool Write(const void* data, std::size_t length) = 0;
    // Cuts the file to the bytes written, sets its last-write time from `modified` read as
    // local time (when given), and closes it. False when the finished file cannot be put in
    // its place (its output then leaves nothing behind and the old file stays).
    virtual bool Finish(const TDosDateTime* modified) = 0;
};

class IZipHost {
public:
    virtual ~IZipHost() = default;
    // Opens the archive; throws EInstallerError "Cannot open file "<path>". <reason>".
    virtual std::unique_ptr<IZipInput> OpenArchive(const std::wstring& path) = 0;
    // True when `path` names an existing directory.
    virtual bool DirectoryExists(const std::wstring& path) = 0;
    // True when `path` names an existing file (not a directory).
    virtual bool FileExists(const std::wstring& path) = 0;
    // Creates the directory `path` with all missing parents; false when it cannot.
    virtual bool CreateDirectories(const std::wstring& path) = 0;
    // Creates or truncates the file `path`, sized to `declaredSize` where that helps; null
    // when it cannot be created or opened for writing (read-only, in use, a directory). A host
    // may instead write a file in use elsewhere and put it in place later (see Finish).
    virtual std::unique_ptr<IZipOutput> CreateOutput(const std::wstring& path,
                                                     std::uint64_t declaredSize) = 0;
    // Deletes the file `path`; false when it cannot.
    virtual bool RemoveFile(const std::wstring& path) = 0;
    // Applies a stored external attribute word to the file or directory `path` as far as the
    // system can express it; false when it cannot.
    virtual bool SetAttributes(const std::wstring& path, std::uint32_t attributes,
                               bool isDirectory) = 0;
    // Clears a read-only attribute of the file `path` so that it can be replaced.
    virtual void ClearReadOnly(const std::wstring& path) = 0;
    // The code page of names written without the UTF-8 flag (the system's OEM code page).
    virtual const ICodePage& OemCodePage() = 0;
    // The system's ANSI code page.
    virtual const ICodePage& AnsiCodePage() = 0;
    // Dispatches the window messages waiting in the thread's queue.
    virtual void ProcessMessages() = 0;
    // How many entries the reader may extract at the same time, each on a thread of its own,
    // the calling thread among them. A host returns more than 1 only when all its calls but
    // ProcessMessages, and its outputs, are safe from several threads at once; the reader
    // calls ProcessMessages only from the thread that called it.
    virtual unsigned ConcurrentEntries() { return 1; }
    // Told of each entry the reader skips, with the reason; from the thread that extracts it.
    virtual void EntrySkipped(const std::wstring& name, const wchar_t* reason) {}
};
