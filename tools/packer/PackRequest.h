#pragma once
// What the publisher asks the packer to do. Portable.

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// The branding pictures the installer looks for, by resource name, in its order.
inline constexpr const char* kPictureNames[] = {"bgpic", "logo", "btninst01", "btninst02",
                                                "btninst03"};
// Appended to a picture's name for its optional version at twice the resolution
// ("bgpic@2x.png", embedded as "bgpic@2x"), which the window takes on scaled screens.
inline constexpr const char kDoubleResolutionSuffix[] = "@2x";

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
