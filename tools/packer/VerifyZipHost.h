#pragma once
// An archive host for checking an archive without writing anything: the archive comes from
// memory, and every file the reader extracts is only counted and hashed, so that each
// entry's size and CRC-32 can be compared with what the archive declares. Portable.

#include "archive/ZipHost.h"

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>

struct TVerifiedFile {
    std::uint64_t Size = 0;
    std::uint32_t Crc = 0;
    bool Finished = false; // the reader completed it (and did not remove it again)
};

class TVerifyZipHost final : public IZipHost {
public:
    // A host whose one archive, at any path, is `archive` (which must outlive it).
    explicit TVerifyZipHost(std::string_view archive);
    ~TVerifyZipHost() override;

    // What the reader wrote, by the path it gave.
    const std::map<std::wstring, TVerifiedFile>& Files() const { return files_; }

    std::unique_ptr<IZipInput> OpenArchive(const std::wstring& path) override;
    bool DirectoryExists(const std::wstring& path) override;
    bool FileExists(const std::wstring& path) override;
    bool CreateDirectories(const std::wstring& path) override;
    std::unique_ptr<IZipOutput> CreateOutput(const std::wstring& path,
                                             std::uint64_t declaredSize) override;
    bool RemoveFile(const std::wstring& path) override;
    bool SetAttributes(const std::wstring& path, std::uint32_t attributes,
                       bool isDirectory) override;
    void ClearReadOnly(const std::wstring& path) override {}
    const ICodePage& OemCodePage() override { return *oem_; }
    const ICodePage& AnsiCodePage() override { return *ansi_; }
    void ProcessMessages() override {}

private:
    std::string_view archive_;
    std::map<std::wstring, TVerifiedFile> files_;
    std::set<std::wstring> directories_;
    std::unique_ptr<ICodePage> oem_, ansi_;
};
