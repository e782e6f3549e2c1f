#include "tools/packer/PayloadScan.h"

#include "sys/TextEncoding.h"
#include "tools/packer/PackError.h"
#include "tools/packer/PathText.h"
#include "tools/packer/Platform.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <system_error>

namespace fs = std::filesystem;

namespace {

std::int64_t UnixSeconds(fs::file_time_type time) {
    const auto system = std::chrono::file_clock::to_sys(time);
    return std::chrono::duration_cast<std::chrono::seconds>(system.time_since_epoch()).count();
}

class TScan {
public:
    TScan(const std::string& label, TDiagnostics& diagnostics)
        : label_(label), diagnostics_(diagnostics) {}

    void Folder(const fs::path& folder, const std::string& prefix) {
        std::error_code error;
        fs::directory_iterator it(folder, error);
        if (error)
            ThrowIoFailure("cannot read the folder " + Show(prefix) + ": " + error.message());
        for (; it != fs::directory_iterator(); it.increment(error)) {
            if (error)
                break;
            Entry(*it, prefix);
        }
        if (error)
            ThrowIoFailure("cannot read the folder " + Show(prefix) + ": " + error.message());
    }

    std::vector<TPayloadEntry> Take() { return std::move(entries_); }

private:
    std::string Show(const std::string& name) const { return label_ + "/" + name; }

    void Entry(const fs::directory_entry& item, const std::string& prefix) {
        const std::string component = PathToUtf8(item.path().filename());
        const std::string name = prefix + component;
        if (!DecodeUtf8Strict(component)) {
            diagnostics_.Error(Show(name), 0, "the name is not valid UTF-8; rename it");
            return;
        }
        if (const std::string problem = WindowsNameProblem(component); !problem.empty()) {
            diagnostics_.Error(Show(name), 0, problem);
            return;
        }
        std::error_code error;
        const fs::file_status status = item.status(error);
        if (error || !fs::exists(status)) {
            diagnostics_.Error(Show(name), 0, "it is a link to nothing");
            return;
        }
        const bool link = item.is_symlink(error);
        if (fs::is_directory(status)) {
            if (link) {
                diagnostics_.Error(Show(name), 0,
                                   "it is a link to a folder; put the folder itself there");
                return;
            }
            Add(item.path(), name + "/", 0, dosattr::kDirectory);
            Folder(item.path(), name + "/");
            return;
        }
        if (!fs::is_regular_file(status)) {
            diagnostics_.Error(Show(name), 0, "it is neither a file nor a folder");
            return;
        }
        const std::uint64_t size = fs::file_size(item.path(), error);
        if (error)
            ThrowIoFailure("cannot read " + Show(name) + ": " + error.message());
        std::uint32_t attributes = dosattr::kArchive;
        if ((status.permissions() & fs::perms::owner_write) == fs::perms::none) {
            attributes |= dosattr::kReadOnly;
            diagnostics_.Warning(Show(name), 0,
                                 "the file is read-only and is installed so; a later "
                                 "installation of the product cannot replace it");
        }
        Add(item.path(), name, size, attributes);
    }

    void Add(const fs::path& path, const std::string& name, std::uint64_t size,
             std::uint32_t attributes) {
        std::error_code error;
        const fs::file_time_type time = fs::last_write_time(path, error);
        if (error)
            ThrowIoFailure("cannot read " + Show(name) + ": " + error.message());
        TPayloadEntry entry;
        entry.Name = name;
        if ((attributes & dosattr::kDirectory) == 0)
            entry.Source = path;
        entry.Size = size;
        entry.Modified = DosTimeOf(UnixSeconds(time));
        entry.Attributes = attributes;
        std::string folded = FoldCase(name);
        if (!folded.empty() && folded.back() == '/')
            folded.pop_back();
        if (const auto [it, added] = folded_.emplace(folded, name); !added) {
            diagnostics_.Error(Show(name), 0,
                               "Windows does not tell it apart from " + Show(it->second) +
                                   ": names that differ only in letter case land on one file");
            return;
        }
        entries_.push_back(std::move(entry));
    }

    const std::string& label_;
    TDiagnostics& diagnostics_;
    std::vector<TPayloadEntry> entries_;
    std::map<std::string, std::string> folded_; // folded name -> the name first seen
};

} // namespace

std::vector<TPayloadEntry> ScanPayload(const fs::path& folder, const std::string& label,
                                       TDiagnostics& diagnostics) {
    TScan scan(label, diagnostics);
    scan.Folder(folder, "");
    std::vector<TPayloadEntry> entries = scan.Take();
    std::sort(entries.begin(), entries.end(),
              [](const TPayloadEntry& a, const TPayloadEntry& b) { return a.Name < b.Name; });
    return entries;
}

std::string WindowsNameProblem(const std::string& component) {
    for (const unsigned char c : component) {
        if (c < 0x20)
            return "the name holds a control character, which Windows does not allow";
        if (std::string_view("<>:\"/\\|?*").find(static_cast<char>(c)) != std::string_view::npos)
            return std::string("the name holds \"") + static_cast<char>(c) +
                   "\", which Windows does not allow in file names";
    }
    if (component.back() == '.' || component.back() == ' ')
        return "the name ends with a dot or a space, which Windows drops";
    // Device names stay devices on Windows whatever extension follows them.
    std::string stem = FoldCase(component.substr(0, component.find('.')));
    while (!stem.empty() && stem.back() == ' ')
        stem.pop_back();
    static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL"};
    bool device = std::find(std::begin(kDevices), std::end(kDevices), stem) != std::end(kDevices);
    // The ports take a digit from 1 to 9 or a superscript 1, 2 or 3 (U+00B9, U+00B2, U+00B3,
    // two bytes each in UTF-8).
    if (stem.rfind("COM", 0) == 0 || stem.rfind("LPT", 0) == 0) {
        const std::string_view port = std::string_view(stem).substr(3);
        if ((port.size() == 1 && port[0] >= '1' && port[0] <= '9') || port == "\xC2\xB9" ||
            port == "\xC2\xB2" || port == "\xC2\xB3")
            device = true;
    }
    if (device)
        return "the name is a device name on Windows (" + stem + ")";
    return "";
}

TDosDateTime DosTimeOf(std::int64_t unixSeconds) {
    const std::tm local = LocalCalendar(static_cast<std::time_t>(unixSeconds));
    int year = local.tm_year + 1900;
    int month = local.tm_mon + 1, day = local.tm_mday;
    int hour = local.tm_hour, minute = local.tm_min, second = local.tm_sec;
    if (year < 1980) {
        year = 1980, month = 1, day = 1, hour = 0, minute = 0, second = 0;
    } else if (year > 2107) {
        year = 2107, month = 12, day = 31, hour = 23, minute = 59, second = 58;
    }
    TDosDateTime dos;
    dos.date = static_cast<std::uint16_t>(((year - 1980) << 9) | (month << 5) | day);
    dos.time =
        static_cast<std::uint16_t>((hour << 11) | (minute << 5) | (std::min(second, 59) / 2));
    return dos;
}

std::string FoldCase(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return text;
}
