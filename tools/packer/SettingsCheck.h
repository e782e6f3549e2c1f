#pragma once
// Validation of the settings document before it is packed: it must read with the installer's
// own reader, have the twelve required keys with the types the installer expects, and name
// an installation folder that is safe to empty again. Portable.

#include "settings/InstallerSettings.h"
#include "tools/packer/Diagnostics.h"

#include <string>
#include <optional>
#include <string_view>

struct TCheckedSettings {
    TInstallerSettings Settings;
    // The document as the settings resource and config.dat carry it: a UTF-8 byte-order
    // mark and the text in UTF-8, so that it reads the same on every system's code page.
    std::string ResourceBytes;
};

// Checks the bytes of a settings file named `file` in messages. A file with a byte-order mark
// is decoded by it; one without must be UTF-8, or is decoded in `codePage` when that is not 0.
// Adds errors and warnings to `diagnostics`; returns true and fills `checked` when no error
// was found.
bool CheckSettings(std::string_view bytes, const std::string& file, unsigned codePage,
                   TDiagnostics& diagnostics, TCheckedSettings& checked);

// Returns the settings document `bytes` decoded as the installer decodes a settings resource
// (by its byte-order mark, else as UTF-8), with its lines normalised; nullopt when it has no
// mark and is not UTF-8.
std::optional<std::wstring> DecodeSettingsResource(std::string_view bytes);

// Returns the main program's path inside the payload, as the installer joins it
// (MainProgPath + MainProg) with "/" separators and no leading separator.
std::string MainProgramEntry(const TInstallerSettings& settings);
