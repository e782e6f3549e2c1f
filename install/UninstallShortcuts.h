#pragma once
// The uninstaller's shortcuts are removed only when they are this installation's: a copy of
// unin.exe run from elsewhere (a Downloads folder) must leave the real installation's
// shortcuts, as it leaves its uninstall entry.

#include <string>

// Deletes the shell link at `linkPath` when it points to `target` (SamePath); a link to another
// file, one that cannot be read, or a missing one is left as it is. True when no link to
// `target` is left there. Needs COM initialised on the calling thread.
bool DeleteShortcutTo(const std::wstring& linkPath, const std::wstring& target);
