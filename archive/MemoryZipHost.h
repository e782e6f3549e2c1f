#pragma once
// An archive host that keeps its whole file system in memory, for tests and fuzzing: the
// archive is one of its files, and every file the reader writes stays inspectable. Paths are
// compared exactly, after runs of "\" are collapsed and "." components and a trailing "\"
// dropped.

#include "archive/ZipHost.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>

struct TMemoryFile {
    std::string data;
    std::uint32_t attributes = 0;   // as last applied
    bool hasTime = false;           // Finish set a time
    TDosDateTime modified;          // the time Finish was given, as stored
    bool inUse = false;             // opening it for writing fails, as for a file in use
    std::uint64_t declaredSize = 0; // the size CreateOutput was asked to pre-size to
};

class TMemoryZipHost final : public IZipHost {
public:
    // A host with the code pages `oem` and `ansi` (which must outlive it) whose writes stop
    // succeeding once `writeBudget` bytes have been written in all.
    TMemoryZipHost(const ICodePage& oem, const ICodePage& ansi,
                   std::uint64_t writeBudget = 256u << 20);

    // Puts a file (the archive, or an old file to be replaced) into the file system; its
    // folders are made as needed.
    void AddFile(const std::wstring& path, std::string data);
    // The file at `path`, or null.
    TMemoryFile* File(const std::wstring& path);
    // Every file and folder, for checks that nothing else was written.
    const std::map<std::wstring, TMemoryFile>& Files() const { return files_; }
    const std::set<std::wstring>& Directories() const { return directories_; }
    // The attributes last applied to the folder `path` (0 when none).
    std::uint32_t DirectoryAttributes(const std::wstring& path) const;
    // How often ProcessMessages was called.
    std::uint64_t PumpCount() const { return pumps_; }
    // Lets the reader extract `threads` entries at once (1 by default); every call is then
    // serialised by one lock.
    void SetConcurrentEntries(unsigned threads) { threads_ = threads; }
    // True when ProcessMessages was ever called from a thread other than the one that made
    // the host: a window's messages can only be handled on its own thread.
    bool PumpedFromAnotherThread() const { return pumpedElsewhere_; }
    // The normal form of `path` under which it is stored.
    static std::wstring Normalise(const std::wstring& path);

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
    const ICodePage& OemCodePage() override { return *oem_; }
    const ICodePage& AnsiCodePage() override { return *ansi_; }
    void ProcessMessages() override;
    unsigned ConcurrentEntries() override { return threads_; }

private:
    friend class TMemoryOutput;
    const ICodePage* oem_;
    const ICodePage* ansi_;
    std::uint64_t budget_;
    std::uint64_t pumps_ = 0;
    unsigned threads_ = 1;
    std::thread::id owner_ = std::this_thread::get_id();
    bool pumpedElsewhere_ = false;
    // Held by every call, for readers on several threads; behind a pointer so that the host
    // can still be moved.
    std::unique_ptr<std::recursive_mutex> lock_ = std::make_unique<std::recursive_mutex>();
    std::uint64_t stampCounter_ = 0;
    std::map<std::wstring, TMemoryFile> files_;
    std::map<std::wstring, std::uint64_t> stamps_;
    std::set<std::wstring> directories_;
    std::map<std::wstring, std::uint32_t> directoryAttributes_;
};
