#include "archive/PosixZipHost.h"

#include "sys/PlatformCodePage.h"
#include "archive/ZipDosTime.h"
#include "sys/Error.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// Converts stored local times to system time. mktime re-reads the zone file on every call,
// one system call per extracted file; the start of each local hour is converted once instead
// and the minutes and seconds added, but only for an hour that lies well clear of any change
// of the zone's offset, where that sum is exactly what mktime gives. A fixed number of slots
// keeps the memory constant; the cache lives for one archive.
class TLocalTimeCache {
public:
    std::time_t Convert(const TDosCalendar& c) {
        if (c.minute > 59 || c.second > 59)
            return MakeTime(c.year, c.month, c.day, c.hour, c.minute, c.second);
        const auto key =
            static_cast<std::uint32_t>(((c.year * 16 + c.month) * 32 + c.day) * 32 + c.hour);
        TSlot& slot = slots_[key % kSlots];
        if (!slot.used || slot.key != key) {
            slot.used = true;
            slot.key = key;
            slot.start = HourStart(c);
        }
        if (slot.start == kUnsteady)
            return MakeTime(c.year, c.month, c.day, c.hour, c.minute, c.second);
        return slot.start + c.minute * 60 + c.second;
    }

private:
    static constexpr std::size_t kSlots = 64;
    static constexpr std::time_t kUnsteady = static_cast<std::time_t>(-1);
    // Offset changes move the clock by at most a few hours; this margin on each side of the
    // hour rules out any gap or overlap touching it.
    static constexpr std::time_t kMargin = 3 * 3600;
    struct TSlot {
        bool used = false;
        std::uint32_t key = 0;
        std::time_t start = 0;
    };

    static std::time_t MakeTime(int year, int month, int day, int hour, int minute, int second) {
        std::tm local{};
        local.tm_year = year - 1900;
        local.tm_mon = month - 1;
        local.tm_mday = day;
        local.tm_hour = hour;
        local.tm_min = minute;
        local.tm_sec = second;
        local.tm_isdst = -1;
        return std::mktime(&local);
    }
    static bool OffsetAt(std::time_t when, long& offset) {
        std::tm local{};
        if (!::localtime_r(&when, &local))
            return false;
        offset = local.tm_gmtoff;
        return true;
    }
    // The hour's start as system time, or kUnsteady when the offset is not the same
    // throughout the hour and its margins.
    static std::time_t HourStart(const TDosCalendar& c) {
        const std::time_t start = MakeTime(c.year, c.month, c.day, c.hour, 0, 0);
        const std::time_t last = MakeTime(c.year, c.month, c.day, c.hour, 59, 59);
        if (start == static_cast<std::time_t>(-1) || last != start + 3599)
            return kUnsteady;
        long before = 0, at = 0, after = 0;
        if (!OffsetAt(start - kMargin, before) || !OffsetAt(start, at) ||
            !OffsetAt(last + kMargin, after) || before != at || after != at)
            return kUnsteady;
        return start;
    }

    TSlot slots_[kSlots];
};

namespace {

class TFd {
public:
    explicit TFd(int fd) noexcept : fd_(fd) {}
    ~TFd() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    int Get() const noexcept { return fd_; }

private:
    int fd_;
};

class TPosixInput final : public IZipInput {
public:
    TPosixInput(int fd, const struct stat& st)
        : fd_(fd), size_(static_cast<std::uint64_t>(st.st_size)) {
        stamp_ = static_cast<std::uint64_t>(st.st_mtim.tv_sec) * 1000000000u +
                 static_cast<std::uint64_t>(st.st_mtim.tv_nsec);
    }
    std::uint64_t Size() const override { return size_; }
    std::uint64_t Stamp() const override { return stamp_; }
    std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t length) override {
        std::size_t done = 0;
        while (done < length && offset + done < size_) {
            const ssize_t got = ::pread(fd_.Get(), static_cast<char*>(buffer) + done, length - done,
                                        static_cast<off_t>(offset + done));
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                break;
            done += static_cast<std::size_t>(got);
        }
        return done;
    }

private:
    TFd fd_;
    std::uint64_t size_;
    std::uint64_t stamp_ = 0;
};

class TPosixOutput final : public IZipOutput {
public:
    TPosixOutput(int fd, TLocalTimeCache& localTimes) : fd_(fd), localTimes_(localTimes) {}
    bool Write(const void* data, std::size_t length) override {
        const char* p = static_cast<const char*>(data);
        while (length > 0) {
            const ssize_t put = ::write(fd_.Get(), p, length);
            if (put < 0 && errno == EINTR)
                continue;
            if (put <= 0)
                return false;
            p += put;
            length -= static_cast<std::size_t>(put);
        }
        return true;
    }
    bool Finish(const TDosDateTime* modified) override {
        if (!modified)
            return true;
        const std::time_t when = localTimes_.Convert(DosToCalendar(*modified));
        if (when == static_cast<std::time_t>(-1))
            return true;
        const struct timespec times[2] = {{0, UTIME_OMIT}, {when, 0}};
        ::futimens(fd_.Get(), times);
        return true;
    }

private:
    TFd fd_;
    TLocalTimeCache& localTimes_;
};

std::wstring ErrnoText(int code) {
    const char* text = std::strerror(code);
    return std::wstring(text, text + std::strlen(text));
}

} // namespace

std::string PosixPath(const std::wstring& path) {
    std::string bytes = EncodeUtf8(path);
    for (char& c : bytes)
        if (c == '\\')
            c = '/';
    return bytes;
}

TPosixZipHost::TPosixZipHost(unsigned oem, unsigned ansi)
    : oem_(MakeCodePage(oem)), ansi_(MakeCodePage(ansi)),
      localTimes_(std::make_unique<TLocalTimeCache>()) {}

TPosixZipHost::~TPosixZipHost() = default;

std::unique_ptr<IZipInput> TPosixZipHost::OpenArchive(const std::wstring& path) {
    const int fd = ::open(PosixPath(path).c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int code = fd < 0 ? errno : (S_ISREG(st.st_mode) ? errno : EISDIR);
        if (fd >= 0)
            ::close(fd);
        throw EInstallerError(L"Cannot open file \"" + path + L"\". " + ErrnoText(code));
    }
    // A new archive starts with a fresh view of the time zone.
    *localTimes_ = TLocalTimeCache{};
    return std::make_unique<TPosixInput>(fd, st);
}

bool TPosixZipHost::DirectoryExists(const std::wstring& path) {
    struct stat st {};
    return ::stat(PosixPath(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool TPosixZipHost::FileExists(const std::wstring& path) {
    struct stat st {};
    return ::stat(PosixPath(path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool TPosixZipHost::CreateDirectories(const std::wstring& path) {
    const std::string target = PosixPath(path);
    // Usually only the last folder is missing: one call then does it all, and the path is
    // walked from the root only when a parent is missing too.
    if (target.empty())
        return false;
    if (::mkdir(target.c_str(), 0777) == 0)
        return true;
    if (errno != ENOENT) {
        struct stat st {};
        return ::stat(target.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    }
    for (std::size_t cut = target.find('/', 1);; cut = target.find('/', cut + 1)) {
        const std::string prefix = target.substr(0, cut);
        if (!prefix.empty() && ::mkdir(prefix.c_str(), 0777) != 0 && errno != EEXIST)
            return false;
        if (cut == std::string::npos)
            break;
    }
    struct stat st {};
    return ::stat(target.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::unique_ptr<IZipOutput> TPosixZipHost::CreateOutput(const std::wstring& path,
                                                        std::uint64_t /*declaredSize*/) {
    const std::string target = PosixPath(path);
    int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno == EEXIST) {
        // Replace an existing file only when its mode allows writing: as root, open() alone
        // would overwrite a read-only file, which Windows refuses.
        struct stat st {};
        if (::lstat(target.c_str(), &st) != 0 || !S_ISREG(st.st_mode) ||
            (st.st_mode & S_IWUSR) == 0)
            return nullptr;
        fd = ::open(target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    }
    if (fd < 0)
        return nullptr;
    return std::make_unique<TPosixOutput>(fd, *localTimes_);
}

bool TPosixZipHost::RemoveFile(const std::wstring& path) {
    return ::unlink(PosixPath(path).c_str()) == 0;
}

bool TPosixZipHost::SetAttributes(const std::wstring& path, std::uint32_t attributes,
                                  bool isDirectory) {
    // Only the read-only bit has a meaning here, and on a folder it would lock its contents.
    constexpr std::uint32_t kReadOnly = 0x01;
    if (isDirectory || (attributes & kReadOnly) == 0)
        return true;
    const std::string target = PosixPath(path);
    struct stat st {};
    return ::stat(target.c_str(), &st) == 0 && ::chmod(target.c_str(), st.st_mode & 07555) == 0;
}

void TPosixZipHost::ClearReadOnly(const std::wstring& path) {
    const std::string target = PosixPath(path);
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0)
        ::chmod(target.c_str(), (st.st_mode & 07777) | S_IWUSR);
}
