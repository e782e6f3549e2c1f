#pragma once
// The archive reader's host on Windows: files through CreateFileW and friends, the system's
// OEM and ANSI code pages, and a message pump handed in by the caller.

#include "archive/ZipHost.h"

#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>
#include <string>

// What one extracting thread created or staged last (see Win32ZipHost.cpp).
struct TWin32ZipThreadMemo;

class TWin32ZipHost final : public IZipHost {
public:
    // A host whose ProcessMessages calls `pump`; without one it dispatches the thread's
    // waiting messages itself (re-posting a quit message it meets). Either is done at the
    // first call and then at most every 15 ms. The reader may extract `threads` files at once
    // (0: one per processor, at most four).
    explicit TWin32ZipHost(std::function<void()> pump = {}, unsigned threads = 0);
    ~TWin32ZipHost() override;

    // From now on OpenArchive reads the archive from `size` bytes at `offset` of `file`, which
    // the caller keeps open for the host's life, whatever path it is given (the path only names
    // the archive in messages).
    void ReadArchiveFrom(HANDLE file, std::uint64_t offset, std::uint64_t size);

    std::unique_ptr<IZipInput> OpenArchive(const std::wstring& path) override;
    bool DirectoryExists(const std::wstring& path) override;
    bool FileExists(const std::wstring& path) override;
    bool CreateDirectories(const std::wstring& path) override;
    std::unique_ptr<IZipOutput> CreateOutput(const std::wstring& path,
                                             std::uint64_t declaredSize) override;
    bool RemoveFile(const std::wstring& path) override;
    bool SetAttributes(const std::wstring& path, std::uint32_t attributes,
                       bool isDirectory) override;
    void ClearReadOnly(const std::wstring& path) override;
    const ICodePage& OemCodePage() override;
    const ICodePage& AnsiCodePage() override;
    void ProcessMessages() override;
    unsigned ConcurrentEntries() override { return threads_; }
    // Logs the entry and why it was skipped (see RunLog.h).
    void EntrySkipped(const std::wstring& name, const wchar_t* reason) override;

    // The bytes of the files extracted completely so far (finished outputs; a file deleted
    // for a wrong CRC-32 never finishes).
    std::uint64_t BytesExtracted() const { return extracted_; }

    // How many files were in use by another program and so were written beside their targets
    // (as "<name>.~<random>"), each scheduled to replace its target at the next restart. Safe
    // to read while files are extracted.
    unsigned FilesStagedForRestart() const { return staged_; }

private:
    // Writes the replacement of `target`, which another program holds open, beside it.
    std::unique_ptr<IZipOutput> CreateStagedOutput(const std::wstring& target);
    // Schedules `staged` to replace `target` at the next restart and counts it.
    bool ScheduleReplacement(const std::wstring& staged, const std::wstring& target);

    // The calling thread's memo for this host, made at its first use.
    TWin32ZipThreadMemo& Memo();

    std::function<void()> pump_;
    unsigned threads_;
    // Every thread's memo, owned here and reached through a plain thread-local pointer: a
    // thread-local object with a destructor crashes the MinGW runtime when the thread ends.
    const std::uint64_t serial_; // tells this host's memos from an earlier host's
    std::mutex memoLock_;
    std::vector<std::unique_ptr<TWin32ZipThreadMemo>> memos_;
    bool pumped_ = false;
    unsigned long long lastPump_ = 0; // GetTickCount64 at the last pump
    std::atomic<std::uint64_t> extracted_{0};
    std::atomic<unsigned> staged_{0};
    std::mutex scheduleLock_;
    HANDLE archiveFile_ = nullptr; // not owned; see ReadArchiveFrom
    std::uint64_t archiveOffset_ = 0;
    std::uint64_t archiveSize_ = 0;
};
