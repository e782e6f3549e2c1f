#include "tools/packer/Progress.h"

#include "tools/packer/Platform.h"

#include <cstdio>

std::string FormatBytes(std::uint64_t bytes) {
    if (bytes < 10000)
        return std::to_string(bytes) + " bytes";
    char text[32];
    if (bytes < 1000000)
        std::snprintf(text, sizeof text, "%.1f kB", static_cast<double>(bytes) / 1e3);
    else
        std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1e6);
    return text;
}

TProgressDisplay::TProgressDisplay(bool quiet) : quiet_(quiet), terminal_(IsTerminal(stderr)) {}

void TProgressDisplay::Show(const TZipProgress& p) {
    if (quiet_)
        return;
    const double share = p.BytesTotal == 0 ? 1.0 : static_cast<double>(p.BytesDone) / p.BytesTotal;
    const auto now = std::chrono::steady_clock::now();
    const bool finished = p.FilesDone == p.FilesTotal && p.BytesDone == p.BytesTotal;
    if (terminal_) {
        if (!finished && now - lastDraw_ < std::chrono::milliseconds(200))
            return;
    } else {
        const int tenth = static_cast<int>(share * 10);
        if (tenth == lastTenth_)
            return;
        lastTenth_ = tenth;
    }
    lastDraw_ = now;
    char line[160];
    std::snprintf(line, sizeof line, "%sarchive: %llu/%llu files, %s of %s (%d %%)%s",
                  terminal_ ? "\r" : "", static_cast<unsigned long long>(p.FilesDone),
                  static_cast<unsigned long long>(p.FilesTotal), FormatBytes(p.BytesDone).c_str(),
                  FormatBytes(p.BytesTotal).c_str(), static_cast<int>(share * 100),
                  terminal_ ? "\x1b[K" : "\n");
    WriteText(stderr, line);
    drawn_ = true;
}

void TProgressDisplay::Done() {
    if (terminal_ && drawn_)
        WriteText(stderr, "\n");
    drawn_ = false;
}
