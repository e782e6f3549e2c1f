// libFuzzer target: the packer's list and verify commands with the input as the setup.exe.
// Both run the whole inspection in memory (the PE headers, the resource tree, the settings,
// the pictures, and the archive through the installer's own reader), with no files beside the
// program. Any input must end in a report and an exit code: an escaping exception, a crash or
// a sanitizer report is a fault.
#include "tools/packer/ExitCodes.h"
#include "tools/packer/Inspect.h"

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TInspectIo io;
    io.Report = [](const std::string&) {};
    io.Notice = [](const std::string&) {};
    io.Beside = [](const char*) -> std::optional<TLooseFile> { return std::nullopt; };
    const std::string image(reinterpret_cast<const char*>(data), size);
    const int listed = InspectImage(image, "setup.exe", false, io);
    const int verified = InspectImage(image, "setup.exe", true, io);
    for (const int code : {listed, verified})
        if (code != packexit::kSuccess && code != packexit::kDamaged)
            std::abort();
    // Verify checks all that list checks, and more.
    if (verified == packexit::kSuccess && listed != packexit::kSuccess)
        std::abort();
    return 0;
}
