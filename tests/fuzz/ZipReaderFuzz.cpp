// libFuzzer target: the archive reader over the in-memory host, with the input as the archive.
// Besides crashes and sanitizer reports it catches any file written outside the target, and
// the host's write budget keeps decompression bombs bounded.
#include "archive/MemoryZipHost.h"
#include "archive/MyZip.h"
#include "sys/PlatformCodePage.h"
#include "sys/Error.h"

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::unique_ptr<ICodePage> oem = MakeCodePage(437), ansi = MakeCodePage(1252);
    const std::wstring archive = L"M:\\in\\archive.zip";
    const std::wstring root = L"M:\\out";
    TMemoryZipHost host(*oem, *ansi, 64u << 20);
    host.AddFile(archive, std::string(reinterpret_cast<const char*>(data), size));
    try {
        UnzipArchive(host, archive, root, L"415263");
    } catch (const EInstallerError&) {
        // Corrupt archives are expected to fail with a message.
    }
    for (const auto& [path, file] : host.Files())
        if (path != archive && !path.starts_with(root + L"\\"))
            std::abort();
    for (const std::wstring& dir : host.Directories())
        if (dir != L"M:" && dir != L"M:\\in" && dir != root && !dir.starts_with(root + L"\\"))
            std::abort();
    return 0;
}
