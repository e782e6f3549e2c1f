#pragma once
// Reading back a saved shell link. Needs COM initialised on the calling thread.

#include <optional>
#include <string>

// The path of the file that the shell link (.lnk) at `linkPath` points to, as IShellLinkW
// reports it; nullopt when there is no such file, it cannot be loaded as a link, or the link
// names no file-system path. Throws nothing.
std::optional<std::wstring> ReadShortcutTarget(const std::wstring& linkPath);
