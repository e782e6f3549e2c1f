#pragma once
// What a setup.exe carries and what an installation holds, by name: the packer writes these
// and the installer reads them. Portable. Resource names and types are matched without regard
// to case (Windows looks them up in upper case); the names are ASCII, so the installer's wide
// forms are the same characters (Wide).

#include <string>
#include <string_view>

namespace package {

// The resource type of everything a product adds to the installer.
inline constexpr char kResourceType[] = "FILE";
// The payload archive (ZIP) and the settings document (JSON).
inline constexpr char kArchiveResource[] = "ZIPFILE";
inline constexpr char kSettingsResource[] = "CONFIGFILE";
// The branding pictures (PNG), in the window's order: the header, the logo and the big
// buttons' normal, hover and pressed faces; each may have a version at twice the resolution
// under its name with kDoubleResolutionSuffix ("bgpic@2x"), from "bgpic@2x.png".
inline constexpr char kBackgroundPicture[] = "bgpic";
inline constexpr char kLogoPicture[] = "logo";
inline constexpr const char* kPictureNames[] = {kBackgroundPicture, kLogoPicture, "btninst01",
                                                "btninst02", "btninst03"};
inline constexpr char kDoubleResolutionSuffix[] = "@2x";

// The loose form: the archive and the settings as files beside setup.exe.
inline constexpr char kLooseArchiveFile[] = "app.data";
inline constexpr char kLooseSettingsFile[] = "config.dat";

// In the installation folder: the uninstaller (the running program's name decides its role),
// the copy of a loose settings file, and the credentials file.
inline constexpr char kUninstallerFile[] = "unin.exe";
inline constexpr char kInstalledSettingsFile[] = "config.dat";
inline constexpr char kCredentialsFile[] = "webset.dat";

// One of these names as the installer's wide string.
inline std::wstring Wide(std::string_view name) {
    return std::wstring(name.begin(), name.end());
}

} // namespace package
