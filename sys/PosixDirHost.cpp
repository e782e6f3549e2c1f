#include "sys/PosixDirHost.h"

#include "sys/TextEncoding.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Owns a file descriptor.
class TFd {
public:
    TFd() = default;
    explicit TFd(int fd) : fd_(fd) {}
    ~TFd() { Reset(); }
    TFd(TFd&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    TFd& operator=(TFd&& other) noexcept {
        if (this != &other) {
            Reset();
            fd_ = other.fd_;
            other.fd_ = -1;
        }
        return *this;
    }
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;

    int Get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    void Reset() {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_ = -1;
};

std::string SystemPath(const std::wstring& path) {
    std::string bytes = EncodeUtf8(path);
    for (char& c : bytes)
        if (c == '\\')
            c = '/';
    return bytes;
}

std::wstring ErrnoText(int code) {
    return DecodeUtf8Lenient(std::strerror(code));
}

class TPosixDirEntry final : public IDirEntry {
public:
    // The entry `name` of the directory open as `parent`, which must outlive this entry
    // (`owned` keeps it open when it is the top's parent, which nobody else holds).
    TPosixDirEntry(int parent, std::string name, TFd owned = TFd())
        : ownedParent_(std::move(owned)), parent_(parent), name_(std::move(name)) {}

    // Looks at the entry without following a link and, for a directory, opens it. False
    // with errno set when it cannot.
    bool Open() {
        struct stat st {};
        if (::fstatat(parent_, name_.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            return false;
        if (S_ISLNK(st.st_mode)) {
            kind_ = TDirEntryKind::Link;
            return true;
        }
        if (!S_ISDIR(st.st_mode)) {
            kind_ = TDirEntryKind::File;
            return true;
        }
        fd_ =
            TFd(::openat(parent_, name_.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!fd_) {
            // Replaced since it was looked at: a link now (ELOOP) or not a directory any
            // more. Look again; whatever is there is not entered.
            if (errno == ELOOP || errno == ENOTDIR)
                return Reclassify();
            return false;
        }
        kind_ = TDirEntryKind::Directory;
        return true;
    }

    TDirEntryKind Kind() const override { return kind_; }

    bool List(std::vector<std::wstring>& names) override {
        if (!fd_)
            return false;
        // The listing gets a descriptor of its own, which closedir closes.
        const int listingFd = ::openat(fd_.Get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (listingFd < 0)
            return false;
        DIR* listing = ::fdopendir(listingFd);
        if (!listing) {
            ::close(listingFd);
            return false;
        }
        bool complete = true;
        for (;;) {
            errno = 0;
            const dirent* entry = ::readdir(listing);
            if (!entry) {
                if (errno != 0)
                    complete = false;
                break;
            }
            const std::string name = entry->d_name;
            if (name == "." || name == "..")
                continue;
            // A name that is not UTF-8 cannot be named back to the system from a wide string.
            std::optional<std::wstring> wide = DecodeUtf8Strict(name);
            if (wide && SystemPath(*wide) == name)
                names.push_back(std::move(*wide));
            else
                complete = false;
        }
        ::closedir(listing);
        return complete;
    }

    std::unique_ptr<IDirEntry> OpenChild(const std::wstring& name, bool& gone) override {
        gone = false;
        if (!fd_)
            return nullptr;
        auto child = std::make_unique<TPosixDirEntry>(fd_.Get(), SystemPath(name));
        if (!child->Open()) {
            gone = errno == ENOENT;
            return nullptr;
        }
        return child;
    }

    bool Remove() override {
        const bool directory = kind_ == TDirEntryKind::Directory;
        fd_.Reset();
        return ::unlinkat(parent_, name_.c_str(), directory ? AT_REMOVEDIR : 0) == 0;
    }

private:
    bool Reclassify() {
        struct stat st {};
        if (::fstatat(parent_, name_.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            return false;
        if (S_ISDIR(st.st_mode)) {
            // Changing under the walk: not entered this time.
            errno = EAGAIN;
            return false;
        }
        kind_ = S_ISLNK(st.st_mode) ? TDirEntryKind::Link : TDirEntryKind::File;
        return true;
    }

    TFd ownedParent_;
    int parent_;
    std::string name_;
    TFd fd_;
    TDirEntryKind kind_ = TDirEntryKind::File;
};

} // namespace

std::unique_ptr<IDirEntry> TPosixDirHost::OpenTop(const std::wstring& path, TDirOpenError& error) {
    std::string system = SystemPath(path);
    while (system.size() > 1 && system.back() == '/')
        system.pop_back();
    const std::size_t slash = system.rfind('/');
    std::string parentPath = slash == std::string::npos ? "." : system.substr(0, slash);
    if (parentPath.empty())
        parentPath = "/";
    std::string name = slash == std::string::npos ? system : system.substr(slash + 1);
    // The root, or a path ending in a dot component, has no name in a parent to be opened by.
    const bool named = !name.empty() && name != "." && name != "..";
    TFd parent(named ? ::open(parentPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1);
    int code = named ? errno : EINVAL;
    if (parent) {
        const int parentFd = parent.Get();
        auto top = std::make_unique<TPosixDirEntry>(parentFd, name, std::move(parent));
        if (top->Open()) {
            if (top->Kind() != TDirEntryKind::File)
                return top;
            code = ENOTDIR;
        } else {
            code = errno;
        }
    }
    error.code = static_cast<unsigned long>(code);
    error.reason = ErrnoText(code);
    return nullptr;
}
