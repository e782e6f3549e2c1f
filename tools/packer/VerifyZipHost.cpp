#include "tools/packer/VerifyZipHost.h"

#include "sys/PlatformCodePage.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace {

class TMemoryInput final : public IZipInput {
public:
    explicit TMemoryInput(std::string_view bytes) : bytes_(bytes) {}
    std::uint64_t Size() const override { return bytes_.size(); }
    std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t length) override {
        if (offset >= bytes_.size())
            return 0;
        const std::size_t count =
            std::min<std::uint64_t>(length, bytes_.size() - static_cast<std::size_t>(offset));
        std::memcpy(buffer, bytes_.data() + offset, count);
        return count;
    }
    std::uint64_t Stamp() const override { return 1; }

private:
    std::string_view bytes_;
};

class THashingOutput final : public IZipOutput {
public:
    explicit THashingOutput(TVerifiedFile& file) : file_(file) {}
    bool Write(const void* data, std::size_t length) override {
        file_.Crc = static_cast<std::uint32_t>(
            crc32(file_.Crc, static_cast<const Bytef*>(data), static_cast<uInt>(length)));
        file_.Size += length;
        return true;
    }
    bool Finish(const TDosDateTime*) override {
        file_.Finished = true;
        return true;
    }

private:
    TVerifiedFile& file_;
};

} // namespace

TVerifyZipHost::TVerifyZipHost(std::string_view archive)
    : archive_(archive), oem_(MakeCodePage(437)), ansi_(MakeCodePage(1252)) {}

TVerifyZipHost::~TVerifyZipHost() = default;

std::unique_ptr<IZipInput> TVerifyZipHost::OpenArchive(const std::wstring&) {
    return std::make_unique<TMemoryInput>(archive_);
}

bool TVerifyZipHost::DirectoryExists(const std::wstring& path) {
    return directories_.count(path) != 0;
}

bool TVerifyZipHost::FileExists(const std::wstring& path) {
    return files_.count(path) != 0;
}

bool TVerifyZipHost::CreateDirectories(const std::wstring& path) {
    directories_.insert(path);
    return true;
}

std::unique_ptr<IZipOutput> TVerifyZipHost::CreateOutput(const std::wstring& path, std::uint64_t) {
    TVerifiedFile& file = files_[path];
    file = TVerifiedFile{};
    return std::make_unique<THashingOutput>(file);
}

bool TVerifyZipHost::RemoveFile(const std::wstring& path) {
    files_[path].Finished = false;
    return true;
}

bool TVerifyZipHost::SetAttributes(const std::wstring&, std::uint32_t, bool) {
    return true;
}
