#pragma once
// The list and verify commands: what a setup.exe carries (its resources, its settings, its
// pictures and its archive's entries), read without running it; verify also extracts every
// entry through the installer's own archive reader into nothing and compares each file's
// size and CRC-32 with the archive's, checks the PE checksum, the settings and the pictures.
// For a program without the data resources, config.dat and app.data beside it are read, as
// the installer does. Portable.

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

// A file beside the program that stands in for a missing resource.
struct TLooseFile {
    std::string Label; // how the report names it
    std::string Bytes;
};

// Where an inspection sends its report and finds the files beside the program.
struct TInspectIo {
    std::function<void(const std::string& line)> Report; // the listing
    std::function<void(const std::string& line)> Notice; // faults and warnings
    // The file `name` beside the program, or nullopt when there is none.
    std::function<std::optional<TLooseFile>(const char* name)> Beside;
};

// Lists (verify false) or verifies the setup program whose bytes are `image`, named `label`
// in messages; returns the exit code (ExitCodes.h): kDamaged when it found a fault. Any
// content is accepted: damage is reported, never thrown; only `io` may throw.
int InspectImage(std::string image, const std::string& label, bool verify, const TInspectIo& io);

// Lists (verify false) or verifies the setup program `path`; returns the exit code
// (ExitCodes.h): kDamaged when verify found a fault.
int RunInspect(const std::filesystem::path& path, bool verify);
