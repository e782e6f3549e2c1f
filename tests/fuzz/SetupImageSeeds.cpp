// Writes the seed corpus of setup_image_fuzz into the folder given as its one argument: setup
// programs made by the packer itself from a small product, over the smallest stub, so that
// the seeds always follow the packer's current layout.
//   setup_image_seeds <corpus folder> <branding folder>
#include "tools/packer/CommandLine.h"
#include "tools/packer/tests/MiniImage.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

void Write(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary).write(bytes.data(), bytes.size());
}

const char* const kSettings = R"({
  "Title": "Tool Setup", "Version": "2.0", "BigTitle": "Tool", "Description": "A tool",
  "MainProg": "Tool.exe", "MainProgPath": "bin\\", "ShortcutName": "Tool",
  "OpenWebsiteAfterInstall": "", "OpenWebsiteAfterUninstall": "",
  "ProgramDirName": "Tool", "NetID": "", "XPSupported": false
}
)";

// Packs the product folder `product` at deflate `level` over `stub`; false when it failed.
bool Pack(const fs::path& product, const fs::path& stub, const fs::path& output,
          const std::string& level) {
    return RunPacker({"packer", "pack", product.string(), "--stub", stub.string(), "-o",
                      output.string(), "--level", level, "-j", "1", "--quiet"}) == 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: setup_image_seeds <corpus folder> <branding folder>\n");
        return 2;
    }
    const fs::path corpus = argv[1], branding = argv[2];
    const fs::path scratch = corpus.string() + "-scratch";
    fs::remove_all(scratch);

    const fs::path stub = scratch / "stub.exe";
    Write(stub, packertest::MiniImage());
    Write(corpus / "bare-stub.exe", packertest::MiniImage());

    // The whole product: settings, a payload with a folder, and the small pictures.
    const fs::path full = scratch / "full";
    Write(full / "config.json", kSettings);
    Write(full / "payload/bin/Tool.exe", std::string(300, 'T') + "tool program");
    Write(full / "payload/docs/readme.txt", "Read me.\r\n");
    fs::create_directories(full / "branding");
    for (const char* picture : {"logo", "btninst01", "btninst02", "btninst03"})
        fs::copy_file(branding / (std::string(picture) + ".png"),
                      full / "branding" / (std::string(picture) + ".png"),
                      fs::copy_options::overwrite_existing);

    // Settings and payload only, the payload stored rather than deflated.
    const fs::path plain = scratch / "plain";
    Write(plain / "config.json", kSettings);
    Write(plain / "payload/bin/Tool.exe", "tool program");

    const bool packed = Pack(full, stub, corpus / "full-deflated.exe", "6") &&
                        Pack(plain, stub, corpus / "plain-stored.exe", "0");
    fs::remove_all(scratch);
    return packed ? 0 : 1;
}
