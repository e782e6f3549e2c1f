#include "sys/Win32DirHost.h"
#include "sys/RunLog.h"

#include "sys/SysErrorMessage.h"
#include "sys/Win32Handle.h"

#include <cstdint>
#include <cstring>

namespace {

constexpr DWORD kProtective =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

std::wstring JoinPath(const std::wstring& directory, const std::wstring& name) {
    if (!directory.empty() && directory.back() == L'\\')
        return directory + name;
    return directory + L"\\" + name;
}

class TWin32DirEntry final : public IDirEntry {
public:
    TWin32DirEntry(std::wstring path, THandle handle, DWORD access, DWORD attributes,
                   const TPump& pump)
        : path_(std::move(path)), handle_(std::move(handle)), access_(access),
          attributes_(attributes), pump_(pump) {}

    // Opens `path` itself, never what a link there points to; null with the system's error
    // code set when it cannot. The entry calls `pump` (the host's, which outlives it) while it
    // works.
    static std::unique_ptr<TWin32DirEntry> Open(const std::wstring& path, const TPump& pump) {
        // The fullest access first; then without listing (a file others may not have read
        // but may have deleted); then without deleting (a folder we may only list).
        static constexpr DWORD kAccessTries[] = {
            DELETE | FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
            DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
            FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
        };
        DWORD code = ERROR_ACCESS_DENIED;
        for (const DWORD access : kAccessTries) {
            // No FILE_SHARE_DELETE: while held, the entry cannot be renamed or deleted by
            // anyone else, so paths through a held directory keep meaning that directory.
            THandle handle(CreateFileW(
                path.c_str(), access | SYNCHRONIZE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
            if (!handle) {
                code = GetLastError();
                if (code == ERROR_ACCESS_DENIED || code == ERROR_SHARING_VIOLATION)
                    continue;
                break;
            }
            FILE_ATTRIBUTE_TAG_INFO tag{};
            if (!GetFileInformationByHandleEx(handle.Get(), FileAttributeTagInfo, &tag,
                                              sizeof tag)) {
                code = GetLastError();
                break;
            }
            return std::make_unique<TWin32DirEntry>(path, std::move(handle), access,
                                                    tag.FileAttributes, pump);
        }
        SetLastError(code);
        return nullptr;
    }

    TDirEntryKind Kind() const override {
        if (attributes_ & FILE_ATTRIBUTE_REPARSE_POINT)
            return TDirEntryKind::Link;
        if (attributes_ & FILE_ATTRIBUTE_DIRECTORY)
            return TDirEntryKind::Directory;
        return TDirEntryKind::File;
    }

    bool List(std::vector<std::wstring>& names) override {
        if (Kind() != TDirEntryKind::Directory || !(access_ & FILE_LIST_DIRECTORY))
            return false;
        // 8-byte aligned, as the records in it are.
        std::vector<std::uint64_t> buffer(64 * 1024 / sizeof(std::uint64_t));
        const DWORD bufferBytes = static_cast<DWORD>(buffer.size() * sizeof(std::uint64_t));
        for (;;) {
            if (pump_)
                pump_();
            if (!GetFileInformationByHandleEx(handle_.Get(), FileIdBothDirectoryInfo, buffer.data(),
                                              bufferBytes))
                return GetLastError() == ERROR_NO_MORE_FILES;
            const auto* bytes = reinterpret_cast<const unsigned char*>(buffer.data());
            std::size_t offset = 0;
            for (;;) {
                const auto* record = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(bytes + offset);
                std::wstring name(record->FileNameLength / sizeof(wchar_t), L'\0');
                std::memcpy(name.data(), record->FileName, name.size() * sizeof(wchar_t));
                if (name != L"." && name != L"..")
                    names.push_back(std::move(name));
                if (record->NextEntryOffset == 0)
                    break;
                offset += record->NextEntryOffset;
            }
        }
    }

    std::unique_ptr<IDirEntry> OpenChild(const std::wstring& name, bool& gone) override {
        gone = false;
        if (Kind() != TDirEntryKind::Directory)
            return nullptr;
        if (pump_)
            pump_();
        std::unique_ptr<TWin32DirEntry> child = Open(JoinPath(path_, name), pump_);
        if (!child) {
            const DWORD code = GetLastError();
            gone = code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
        }
        return child;
    }

    bool Remove() override {
        if (!handle_ || !(access_ & DELETE))
            return false;
        if (attributes_ & kProtective) {
            // Zero times leave the times as they are; the attributes become plain ones.
            FILE_BASIC_INFO basic{};
            basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
            SetFileInformationByHandle(handle_.Get(), FileBasicInfo, &basic, sizeof basic);
        }
        FILE_DISPOSITION_INFO disposition{};
        disposition.DeleteFile = TRUE;
        const bool marked = SetFileInformationByHandle(handle_.Get(), FileDispositionInfo,
                                                       &disposition, sizeof disposition) != FALSE;
        // The entry goes when its last handle closes; a directory must be gone before its
        // parent can be removed.
        handle_.Reset();
        return marked;
    }

    bool RemoveChildAtRestart(const std::wstring& name, bool evenIfNotInUse) override {
        if (Kind() != TDirEntryKind::Directory)
            return false;
        const std::wstring path = JoinPath(path_, name);
        if (!evenIfNotInUse) {
            // Whether someone else holds it: an open for deleting, sharing all we can, meets
            // a sharing violation only then (and a lack of rights as such).
            const THandle probe(CreateFileW(
                path.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                nullptr));
            if (probe)
                return false;
            const DWORD code = GetLastError();
            if (code != ERROR_SHARING_VIOLATION && code != ERROR_LOCK_VIOLATION)
                return false;
        }
        // Its folder is held open against renaming while the walk is inside it, so the name
        // still means the entry that was found in use.
        const bool scheduled =
            MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != FALSE;
        if (scheduled && RunLogOpen())
            LogLine(L"in use, deleted at the next restart: " + path);
        return scheduled;
    }

private:
    std::wstring path_;
    THandle handle_;
    DWORD access_;
    DWORD attributes_;
    const TPump& pump_;
};

} // namespace

std::unique_ptr<IDirEntry> TWin32DirHost::OpenTop(const std::wstring& path, TDirOpenError& error) {
    // "folder\" names what a link at "folder" points to: the link itself is what is wanted.
    std::wstring own = path;
    while (own.size() > 1 && own.back() == L'\\' && own[own.size() - 2] != L':' &&
           own[own.size() - 2] != L'\\')
        own.pop_back();
    std::unique_ptr<TWin32DirEntry> top = TWin32DirEntry::Open(own, pump_);
    DWORD code = top ? 0 : GetLastError();
    if (top && top->Kind() == TDirEntryKind::File) {
        top.reset();
        code = ERROR_DIRECTORY;
    }
    if (!top) {
        error.code = code;
        error.reason = SysErrorMessage(code);
    }
    return top;
}
