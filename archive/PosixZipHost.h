#pragma once
// The archive reader's host on Linux and other POSIX systems, for the native build: paths go
// to the system as UTF-8 with "/" for "\"; code pages come from iconv; there is no message
// queue. Files are not pre-sized (it brings nothing there, and on tmpfs it would commit the
// memory a forged size asks for).

#include "archive/ZipHost.h"

#include <memory>

class TPosixZipHost final : public IZipHost {
public:
    // A host whose OEM and ANSI code pages are `oem` and `ansi` (by default those of a US
    // Windows, so that names come out as there).
    explicit TPosixZipHost(unsigned oem = 437, unsigned ansi = 1252);
    ~TPosixZipHost() override;

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
    void ProcessMessages() override {}

private:
    std::unique_ptr<ICodePage> oem_, ansi_;
    std::unique_ptr<class TLocalTimeCache> localTimes_;
};

// Converts a host path ("\" separators) to the system's form: UTF-8 with "/".
std::string PosixPath(const std::wstring& path);
