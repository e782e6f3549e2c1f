#include "archive/MemoryZipHost.h"

#include "sys/Error.h"

#include <algorithm>
#include <cstring>

namespace {

class TMemoryInput final : public IZipInput {
public:
    TMemoryInput(std::string data, std::uint64_t stamp) : data_(std::move(data)), stamp_(stamp) {}
    std::uint64_t Size() const override { return data_.size(); }
    std::uint64_t Stamp() const override { return stamp_; }
    std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t length) override {
        if (offset >= data_.size())
            return 0;
        const std::size_t n = std::min<std::uint64_t>(length, data_.size() - offset);
        std::memcpy(buffer, data_.data() + offset, n);
        return n;
    }

private:
    // A copy: the archive may be replaced in the file system while it is open.
    std::string data_;
    std::uint64_t stamp_;
};

} // namespace

class TMemoryOutput final : public IZipOutput {
public:
    TMemoryOutput(TMemoryZipHost& host, TMemoryFile& file) : host_(host), file_(file) {}
    bool Write(const void* data, std::size_t length) override {
        const std::lock_guard<std::recursive_mutex> guard(*host_.lock_);
        if (length > host_.budget_)
            return false;
        host_.budget_ -= length;
        file_.data.append(static_cast<const char*>(data), length);
        return true;
    }
    bool Finish(const TDosDateTime* modified) override {
        const std::lock_guard<std::recursive_mutex> guard(*host_.lock_);
        if (modified) {
            file_.hasTime = true;
            file_.modified = *modified;
        }
        return true;
    }

private:
    TMemoryZipHost& host_;
    TMemoryFile& file_;
};

TMemoryZipHost::TMemoryZipHost(const ICodePage& oem, const ICodePage& ansi,
                               std::uint64_t writeBudget)
    : oem_(&oem), ansi_(&ansi), budget_(writeBudget) {}

std::wstring TMemoryZipHost::Normalise(const std::wstring& path) {
    std::wstring result;
    for (const wchar_t c : path)
        if (!(c == L'\\' && !result.empty() && result.back() == L'\\'))
            result += c;
    // A "." component names the folder it is in, as on a real file system.
    for (std::size_t at; (at = result.find(L"\\.\\")) != std::wstring::npos;)
        result.erase(at, 2);
    if (result.size() > 1 && result.back() == L'\\')
        result.pop_back();
    return result;
}

void TMemoryZipHost::AddFile(const std::wstring& path, std::string data) {
    const std::lock_guard<std::recursive_mutex> guard(*lock_);
    const std::wstring key = Normalise(path);
    const std::size_t cut = key.find_last_of(L'\\');
    if (cut != std::wstring::npos && cut > 0)
        CreateDirectories(key.substr(0, cut));
    TMemoryFile& file = files_[key];
    file = TMemoryFile{};
    file.data = std::move(data);
    stamps_[key] = ++stampCounter_;
}

TMemoryFile* TMemoryZipHost::File(const std::wstring& path) {
    const std::lock_guard<std::recursive_mutex> guard(*lock_);
    const auto it = files_.find(Normalise(path));
    return it == files_.end() ? nullptr : &it->second;
}

std::uint32_t TMemoryZipHost::DirectoryAttributes(const std::wstring& path) const {
    const auto it = directoryAttributes_.find(Normalise(path));
    return it == directoryAttributes_.end() ? 0 : it->second;
}

std::unique_ptr<IZipInput> TMemoryZipHost::OpenArchive(const std::wstring& path) {
    const std::lock_guard<std::recursive_mutex> guard(*lock_);
    const TMemoryFile* file = File(path);
    if (!file)
        throw EInstallerError(L"Cannot open file \"" + path +
                              L"\". The system cannot find the file specified");
    return std::make_unique<TMemoryInput>(file->data, stamps_[Normalise(path)]);
}

bool TMemoryZipHost::DirectoryExists(const std::wstring& path) {
    const std::lock_guard<std::recursive_mutex> guard(*lock_);
    return directories_.count(Normalise(path)) != 0;
}

bool TMemoryZipHost::FileExists(const std::wstring& path) {
    return File(path) != nullptr;
}

bool TMemoryZipHost::CreateDirectories(const std::wstring& path) {
    const std::lock_guard<std::recursive_mutex> guard(*lock_);
    const std::wstring key = Normalise(path);
    for (std::size_t cut = 0; cut != std::wstring::npos;) {
        cut = key.find(L'\\', cut + 1);
        const std::wstring prefix = key.substr(0, cut);
        if (files_.count(prefix))
            return false;
        directories_.insert(prefix);
    }
    return true;
}

std::unique_ptr<IZipOutput> TMemoryZipHost::CreateOutput(const std::wstring& path,
                                                         std::uint64_t declaredSize) {
    const std::lock_guard<std::recursive_mutex> guard(*lock_);
    const std::wstring key = Normalise(path);
    const std::size_t cut = key.find_last_of(L'\\');
    if (directories_.count(key) ||
        (cut != std::wstring::npos && !directories_.count(key.substr(0, cut))))
        return nullptr;
    const auto it = files_.find(key);
    if (it != files_.end() && (it->second.inUse || (it->second.attributes & 0x01) != 0))
        return nullptr;
    TMemoryFile& file = files_[key];
    file = TMemoryFile{};
    file.declaredSize = declaredSize;
    stamps_[key] = ++stampCounter_;
    return std::make_unique<TMemoryOutput>(*this, file);
}

bool TMemoryZipHost::RemoveFile(const std::wstring& path) {
    const std::lock_guard<std::recursive_mutex> guard(*lock_);
    const auto it = files_.find(Normalise(path));
    if (it == files_.end() || (it->second.attributes & 0x01) != 0)
        return false;
    files_.erase(it);
    return true;
}

bool TMemoryZipHost::SetAttributes(const std::wstring& path, std::uint32_t attributes,
                                   bool isDirectory) {
    const std::lock_guard<std::recursive_mutex> guard(*lock_);
    if (isDirectory) {
        if (!DirectoryExists(path))
            return false;
        directoryAttributes_[Normalise(path)] = attributes;
        return true;
    }
    TMemoryFile* file = File(path);
    if (!file)
        return false;
    file->attributes = attributes;
    return true;
}

void TMemoryZipHost::ClearReadOnly(const std::wstring& path) {
    const std::lock_guard<std::recursive_mutex> guard(*lock_);
    if (TMemoryFile* file = File(path))
        file->attributes &= ~std::uint32_t{0x01};
}

void TMemoryZipHost::ProcessMessages() {
    const std::lock_guard<std::recursive_mutex> guard(*lock_);
    ++pumps_;
    if (std::this_thread::get_id() != owner_)
        pumpedElsewhere_ = true;
}
