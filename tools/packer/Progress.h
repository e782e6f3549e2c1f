#pragma once
// Progress of the archive on the error stream: redrawn in place on a terminal, a line at
// every tenth of the work otherwise (logs of build pipelines). Portable.

#include "tools/packer/ZipWriter.h"

#include <chrono>
#include <cstdint>
#include <string>

class TProgressDisplay {
public:
    explicit TProgressDisplay(bool quiet);
    void Show(const TZipProgress& progress);
    // Ends the line drawn in place.
    void Done();

private:
    bool quiet_;
    bool terminal_;
    bool drawn_ = false;
    int lastTenth_ = -1;
    std::chrono::steady_clock::time_point lastDraw_{};
};

// Returns bytes as "456 bytes", "12.3 kB" or "12.3 MB" (10^3 and 10^6 bytes).
std::string FormatBytes(std::uint64_t bytes);
