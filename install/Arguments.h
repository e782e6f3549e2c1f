#pragma once
// The program's command line. "/silent" as the first argument, exactly so, runs without a
// window. "/dir=PATH" (the installation folder) and "/log=PATH" (a log of the run) may follow
// it or stand alone; their names are read without regard to case, and a value with spaces is
// quoted ("/dir=C:\Apps\My Product" or /dir="C:\Apps\My Product"). Anything else is ignored.
// Portable: it takes the arguments as the system has already split them.

#include <optional>
#include <string>
#include <vector>

struct TArguments {
    bool Silent = false;
    std::optional<std::wstring> Dir;
    std::optional<std::wstring> Log;
    // The arguments the program does not know, in their order, for the log.
    std::vector<std::wstring> Ignored;
};

// Reads `arguments` (without the program's own name). A later /dir= or /log= replaces an
// earlier one; an empty value counts as given (and unusable).
TArguments ParseArguments(const std::vector<std::wstring>& arguments);

// True when `path` can be an installation folder given on the command line: an absolute path
// with a drive ("C:\..." or "C:/...") or a share ("\\server\share\..."), with no "." or ".."
// component and none of the characters Windows forbids in names. Whether it is a folder the
// uninstaller would refuse to empty is the caller's to check.
bool IsUsableDirArgument(const std::wstring& path);
