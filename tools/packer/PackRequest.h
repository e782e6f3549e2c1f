#pragma once
// What the publisher asks the packer to do. Portable.

#include "install/Package.h"

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

struct TPackRequest {
    std::filesystem::path Settings;
    std::filesystem::path Payload;
    // Picture resource name ("bgpic", "bgpic@2x", ...) and its PNG file; absent ones are not
    // embedded.
    std::vector<std::pair<std::string, std::filesystem::path>> Pictures;
    std::filesystem::path Stub;
    std::filesystem::path Output; // the setup.exe, or the folder of the loose form
    bool Loose = false;           // setup.exe, config.dat and app.data side by side
    int Level = 6;
    unsigned Threads = 0;
    unsigned SettingsCodePage = 0; // for a settings file without mark that is not UTF-8
    bool Quiet = false;
};
