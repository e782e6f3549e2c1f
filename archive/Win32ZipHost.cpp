#include "archive/Win32ZipHost.h"

#include "archive/ZipDosTime.h"
#include "sys/FileIo.h"
#include "sys/Error.h"
#include "sys/RunLog.h"
#include "sys/SysErrorMessage.h"
#include "sys/Win32CodePage.h"
#include "sys/Win32Handle.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <random>
#include <thread>
#include <vector>

// What one thread created last, so that attributes a new file or folder already has are not
// set once more (several threads extract at once, each setting the attributes of the file it
// has just written); and the target and the staged file of its last output written beside a
// file in use: its stored attributes go to the staged file, and a failed one leaves the target
// alone.
struct TWin32ZipThreadMemo {
    std::wstring createdFile;
    std::wstring createdFolder;
    std::wstring stagedTarget;
    std::wstring stagedFile;
    bool stagedDiscarded = false;
};

namespace {

// The attributes SetFileAttributesW accepts; the rest of a stored word (the directory bit,
// Unix permissions in the high half) has no meaning for it.
constexpr DWORD kSettableAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                      FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                      FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_OFFLINE |
                                      FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

bool SetPosition(HANDLE file, std::uint64_t offset) {
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(offset);
    return SetFilePointerEx(file, at, nullptr, FILE_BEGIN) != 0;
}

// Small reads (the local headers and the data of small files, one after the other) are served
// from one read-ahead buffer: each ReadFile is a round trip to the system, which for an archive
// of thousands of small files cost more than inflating them.
constexpr std::size_t kReadAheadSize = std::size_t{256} << 10;
// Files smaller than this are not sized in advance: it saves them nothing and costs a call.
constexpr std::uint64_t kPresizeFrom = std::uint64_t{1} << 20;
// The waiting messages are dispatched at most this often (ms): often enough for the window to
// stay responsive, rarely enough that looking at the queue costs nothing beside the files.
constexpr ULONGLONG kPumpIntervalMs = 15;
// Files extracted at once at most: beyond this the file system, not the processors, sets the
// pace.
constexpr unsigned kMaxThreads = 4;

// Counts hosts, so that a thread's memo of a host that has gone is never taken for another's.
std::atomic<std::uint64_t> hostSerials{0};

// The archive: `size` bytes from `base` on in `file` (the whole file, or the part of a program
// file that holds an embedded archive).
class TWin32Input final : public IZipInput {
public:
    TWin32Input(THandle file, std::uint64_t base, std::uint64_t size, std::uint64_t stamp)
        : file_(std::move(file)), base_(base), size_(size), stamp_(stamp) {}
    std::uint64_t Size() const override { return size_; }
    std::uint64_t Stamp() const override { return stamp_; }
    std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t length) override {
        if (length >= kReadAheadSize)
            return ReadDirect(offset, buffer, length);
        if (offset < aheadStart_ || offset + length > aheadStart_ + ahead_.size()) {
            ahead_.resize(kReadAheadSize);
            ahead_.resize(ReadDirect(offset, ahead_.data(), kReadAheadSize));
            aheadStart_ = offset;
        }
        const std::size_t available =
            offset - aheadStart_ < ahead_.size() ? ahead_.size() - (offset - aheadStart_) : 0;
        const std::size_t copied = std::min(length, available);
        if (copied > 0)
            std::memcpy(buffer, ahead_.data() + (offset - aheadStart_), copied);
        return copied;
    }

private:
    std::size_t ReadDirect(std::uint64_t offset, void* buffer, std::size_t length) {
        std::size_t done = 0;
        while (done < length && offset + done < size_) {
            OVERLAPPED at{};
            const std::uint64_t position = base_ + offset + done;
            at.Offset = static_cast<DWORD>(position);
            at.OffsetHigh = static_cast<DWORD>(position >> 32);
            const DWORD ask = static_cast<DWORD>(std::min<std::uint64_t>(
                {std::uint64_t{length - done}, size_ - (offset + done), std::uint64_t{1} << 30}));
            DWORD got = 0;
            if (!ReadFile(file_.Get(), static_cast<char*>(buffer) + done, ask, &got, &at) ||
                got == 0)
                break;
            done += got;
        }
        return done;
    }

    THandle file_;
    std::uint64_t base_;
    std::uint64_t size_;
    std::uint64_t stamp_;
    std::vector<char> ahead_; // the bytes from aheadStart_ on, as last read
    std::uint64_t aheadStart_ = 0;
};

// A file written beside its target because the target is in use: once complete it replaces
// the target at the next restart; otherwise it is deleted through its own handle.
struct TStaging {
    std::wstring staged;
    std::wstring target;
    // Schedules the replacement; false when the system refuses.
    std::function<bool(const std::wstring& staged, const std::wstring& target)> schedule;
};

// Marks the open file for deletion when its handle closes; false when the system refuses.
bool MarkForDeletion(HANDLE file) {
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = TRUE;
    return SetFileInformationByHandle(file, FileDispositionInfo, &disposition,
                                      sizeof disposition) != FALSE;
}

class TWin32Output final : public IZipOutput {
public:
    TWin32Output(THandle file, std::wstring path, std::uint64_t presized,
                 std::atomic<std::uint64_t>& extracted, TWin32ZipThreadMemo& memo,
                 std::unique_ptr<TStaging> staging = nullptr)
        : file_(std::move(file)), path_(std::move(path)), presized_(presized),
          extracted_(extracted), memo_(memo), staging_(std::move(staging)) {}
    ~TWin32Output() override {
        if (staging_ && file_)
            Discard();
        else
            CutToWritten();
    }
    bool Write(const void* data, std::size_t length) override {
        const char* p = static_cast<const char*>(data);
        while (length > 0) {
            const DWORD ask = static_cast<DWORD>(std::min<std::size_t>(length, 1u << 30));
            DWORD put = 0;
            if (!WriteFile(file_.Get(), p, ask, &put, nullptr) || put == 0)
                return false;
            p += put;
            length -= put;
            written_ += put;
        }
        return true;
    }
    bool Finish(const TDosDateTime* modified) override {
        CutToWritten();
        if (modified) {
            const TDosCalendar c = DosToCalendar(*modified);
            SYSTEMTIME local{};
            local.wYear = static_cast<WORD>(c.year);
            local.wMonth = static_cast<WORD>(c.month);
            local.wDay = static_cast<WORD>(c.day);
            local.wHour = static_cast<WORD>(c.hour);
            local.wMinute = static_cast<WORD>(c.minute);
            local.wSecond = static_cast<WORD>(c.second);
            // The stored time is local time at that date, with that date's daylight rule.
            SYSTEMTIME utc{};
            FILETIME when{};
            if (TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc) &&
                SystemTimeToFileTime(&utc, &when))
                SetFileTime(file_.Get(), nullptr, nullptr, &when);
        }
        if (staging_) {
            if (!staging_->schedule(staging_->staged, staging_->target)) {
                Discard();
                memo_.stagedDiscarded = false; // the reader removes nothing after a failed Finish
                return false;
            }
            memo_.stagedTarget = staging_->target;
            memo_.stagedFile = staging_->staged;
            memo_.stagedDiscarded = false;
        }
        extracted_ += written_;
        file_.Reset();
        if (RunLogOpen())
            LogLine(staging_ ? L"file in use, replaced at the next restart: " + path_ +
                                   L" (new copy " + staging_->staged + L")"
                             : L"file written: " + path_);
        return true;
    }

private:
    // Deletes the staged file through the handle that wrote it (never by its name, which
    // someone else could have taken meanwhile) and notes that its target is to be left alone.
    void Discard() {
        MarkForDeletion(file_.Get());
        file_.Reset();
        memo_.stagedTarget = staging_->target;
        memo_.stagedFile.clear();
        memo_.stagedDiscarded = true;
    }

    void CutToWritten() {
        if (file_ && presized_ > written_ && SetPosition(file_.Get(), written_))
            SetEndOfFile(file_.Get());
        presized_ = written_;
    }
    THandle file_;
    std::wstring path_; // the target, for the log
    std::uint64_t presized_;
    std::uint64_t written_ = 0;
    std::atomic<std::uint64_t>& extracted_;
    TWin32ZipThreadMemo& memo_;         // of the thread that made the output, which finishes it
    std::unique_ptr<TStaging> staging_; // only for a file written beside its target in use
};

bool IsSharingViolation(DWORD code) {
    return code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION;
}

} // namespace

TWin32ZipHost::TWin32ZipHost(std::function<void()> pump, unsigned threads)
    : pump_(std::move(pump)), threads_(threads), serial_(++hostSerials) {
    if (threads_ == 0)
        threads_ = std::clamp<unsigned>(std::thread::hardware_concurrency(), 1, kMaxThreads);
}

TWin32ZipHost::~TWin32ZipHost() = default;

TWin32ZipThreadMemo& TWin32ZipHost::Memo() {
    // Trivially destructible thread-locals only (see memos_).
    thread_local TWin32ZipThreadMemo* memo = nullptr;
    thread_local std::uint64_t memoHost = 0;
    if (memoHost != serial_) {
        const std::lock_guard<std::mutex> guard(memoLock_);
        memos_.push_back(std::make_unique<TWin32ZipThreadMemo>());
        memo = memos_.back().get();
        memoHost = serial_;
    }
    return *memo;
}

void TWin32ZipHost::EntrySkipped(const std::wstring& name, const wchar_t* reason) {
    if (RunLogOpen())
        LogLine(L"file refused: " + name + L" (" + reason + L")");
}

void TWin32ZipHost::ReadArchiveFrom(HANDLE file, std::uint64_t offset, std::uint64_t size) {
    archiveFile_ = file;
    archiveOffset_ = offset;
    archiveSize_ = size;
}

std::unique_ptr<IZipInput> TWin32ZipHost::OpenArchive(const std::wstring& path) {
    if (archiveFile_) {
        // Each reader gets a handle of its own to the same open file: nothing is opened by
        // name, so the bytes are those of the file the caller holds.
        HANDLE duplicate = nullptr;
        FILETIME written{};
        if (!DuplicateHandle(GetCurrentProcess(), archiveFile_, GetCurrentProcess(), &duplicate, 0,
                             FALSE, DUPLICATE_SAME_ACCESS))
            throw EInstallerError(L"Cannot open file \"" + path + L"\". " +
                                  SysErrorMessage(GetLastError()));
        THandle owned(duplicate);
        GetFileTime(owned.Get(), nullptr, nullptr, &written);
        const std::uint64_t stamp =
            (static_cast<std::uint64_t>(written.dwHighDateTime) << 32) | written.dwLowDateTime;
        return std::make_unique<TWin32Input>(std::move(owned), archiveOffset_, archiveSize_, stamp);
    }
    THandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    LARGE_INTEGER size{};
    FILETIME written{};
    if (!file || !GetFileSizeEx(file.Get(), &size) ||
        !GetFileTime(file.Get(), nullptr, nullptr, &written))
        throw EInstallerError(L"Cannot open file \"" + path + L"\". " +
                              SysErrorMessage(GetLastError()));
    const std::uint64_t stamp =
        (static_cast<std::uint64_t>(written.dwHighDateTime) << 32) | written.dwLowDateTime;
    return std::make_unique<TWin32Input>(std::move(file), 0,
                                         static_cast<std::uint64_t>(size.QuadPart), stamp);
}

bool TWin32ZipHost::DirectoryExists(const std::wstring& path) {
    return ::DirectoryExists(path);
}

bool TWin32ZipHost::FileExists(const std::wstring& path) {
    return ::FileExists(path);
}

bool TWin32ZipHost::CreateDirectories(const std::wstring& path) {
    // Usually only the last folder is missing: one call then does it all, and the path is
    // walked from the root only when a parent is missing too.
    if (CreateDirectoryW(path.c_str(), nullptr)) {
        Memo().createdFolder = path;
        return true;
    }
    if (GetLastError() != ERROR_PATH_NOT_FOUND)
        return DirectoryExists(path);
    // Each prefix ending before a "\" (after the drive or share part) is created in turn.
    std::size_t start = 0;
    if (path.size() >= 2 && path[1] == L':')
        start = 3;
    else if (path.starts_with(L"\\\\")) {
        start = path.find(L'\\', 2);
        start = start == std::wstring::npos ? path.size() : path.find(L'\\', start + 1);
        if (start == std::wstring::npos)
            start = path.size();
    }
    for (std::size_t cut = path.find(L'\\', start); cut != std::wstring::npos;
         cut = path.find(L'\\', cut + 1))
        if (cut > 0)
            CreateDirectoryW(path.substr(0, cut).c_str(), nullptr);
    if (CreateDirectoryW(path.c_str(), nullptr))
        Memo().createdFolder = path;
    return DirectoryExists(path);
}

std::unique_ptr<IZipOutput> TWin32ZipHost::CreateOutput(const std::wstring& path,
                                                        std::uint64_t declaredSize) {
    constexpr DWORD kFlags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN;
    if (!Memo().stagedTarget.empty()) {
        Memo().stagedTarget.clear();
        Memo().stagedFile.clear();
        Memo().stagedDiscarded = false;
    }
    // Most files of an installation are new: creating them outright costs one look-up of the
    // name, where asking for its attributes first costs two (and a missing name is the most
    // expensive look-up there is).
    THandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, kFlags, nullptr));
    if (!file) {
        if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS)
            return nullptr;
        // Windows refuses to replace these with CREATE_ALWAYS; Wine run as root does not, so
        // the rule is applied here for both.
        const DWORD existing = GetFileAttributesW(path.c_str());
        if (existing != INVALID_FILE_ATTRIBUTES &&
            (existing &
             (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) != 0)
            return nullptr;
        file = THandle(
            CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, kFlags, nullptr));
        if (!file) {
            if (IsSharingViolation(GetLastError()))
                return CreateStagedOutput(path);
            return nullptr;
        }
    }
    Memo().createdFile = path;
    // Pre-sizing lets the file system lay the file out in one piece; failing at it is harmless.
    std::uint64_t presized = 0;
    if (declaredSize >= kPresizeFrom && SetPosition(file.Get(), declaredSize)) {
        if (SetEndOfFile(file.Get()))
            presized = declaredSize;
        SetPosition(file.Get(), 0);
    }
    return std::make_unique<TWin32Output>(std::move(file), path, presized, extracted_, Memo());
}

std::unique_ptr<IZipOutput> TWin32ZipHost::CreateStagedOutput(const std::wstring& target) {
    // A new name beside the target (the same volume, so that it can be renamed over it), made
    // by this run: CREATE_NEW never opens a file someone else put there.
    thread_local std::mt19937 random(std::random_device{}() ^ GetCurrentThreadId());
    for (int attempt = 0; attempt < 16; ++attempt) {
        wchar_t suffix[16];
        std::swprintf(suffix, sizeof suffix / sizeof suffix[0], L".~%08x",
                      static_cast<unsigned>(random()));
        std::wstring staged = target + suffix;
        THandle file(CreateFileW(staged.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        if (!file) {
            if (GetLastError() == ERROR_FILE_EXISTS || GetLastError() == ERROR_ALREADY_EXISTS)
                continue;
            return nullptr;
        }
        auto staging = std::make_unique<TStaging>();
        staging->staged = std::move(staged);
        staging->target = target;
        staging->schedule = [this](const std::wstring& from, const std::wstring& to) {
            return ScheduleReplacement(from, to);
        };
        return std::make_unique<TWin32Output>(std::move(file), target, 0, extracted_, Memo(),
                                              std::move(staging));
    }
    return nullptr;
}

bool TWin32ZipHost::ScheduleReplacement(const std::wstring& staged, const std::wstring& target) {
    // The system keeps the scheduled moves in one registry value that each call reads and
    // writes back: calls from several threads at once must not lose each other's.
    const std::lock_guard<std::mutex> guard(scheduleLock_);
    if (!MoveFileExW(staged.c_str(), target.c_str(),
                     MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING))
        return false;
    ++staged_;
    return true;
}

bool TWin32ZipHost::RemoveFile(const std::wstring& path) {
    // The output of a file in use was written elsewhere and has been deleted already; the file
    // in use is the old one, which stays.
    if (Memo().stagedDiscarded && path == Memo().stagedTarget) {
        Memo().stagedDiscarded = false;
        return true;
    }
    return DeleteFileW(path.c_str()) != 0;
}

bool TWin32ZipHost::SetAttributes(const std::wstring& path, std::uint32_t attributes,
                                  bool isDirectory) {
    const DWORD settable = attributes & kSettableAttributes;
    // A folder this host has just created has none of the settable attributes.
    if (isDirectory && settable == 0 && path == Memo().createdFolder)
        return true;
    // A file this host has just created holds the archive bit alone already; setting it again
    // would open the file once more. A word without DOS attributes (0, as Unix tools store
    // it) says nothing about them: the new file keeps the archive bit the system gives it
    // rather than having it cleared.
    if (!isDirectory && (settable == 0 || settable == FILE_ATTRIBUTE_ARCHIVE) &&
        path == Memo().createdFile)
        return true;
    // A file in use was written beside it: the attributes belong to what replaces it.
    const std::wstring& file =
        !isDirectory && !Memo().stagedFile.empty() && path == Memo().stagedTarget
            ? Memo().stagedFile
            : path;
    return SetFileAttributesW(file.c_str(), settable ? settable : FILE_ATTRIBUTE_NORMAL) != 0;
}

void TWin32ZipHost::ClearReadOnly(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0)
        SetFileAttributesW(path.c_str(), attributes & ~DWORD{FILE_ATTRIBUTE_READONLY});
}

const ICodePage& TWin32ZipHost::OemCodePage() {
    return ::OemCodePage();
}

const ICodePage& TWin32ZipHost::AnsiCodePage() {
    return ::AnsiCodePage();
}

void TWin32ZipHost::ProcessMessages() {
    const ULONGLONG now = GetTickCount64();
    if (pumped_ && now - lastPump_ < kPumpIntervalMs)
        return;
    pumped_ = true;
    lastPump_ = now;
    if (pump_) {
        pump_();
        return;
    }
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}
