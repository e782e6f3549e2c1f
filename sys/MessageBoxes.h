#pragma once
// The program's message boxes, for every layer: their title, whether they are shown at all,
// and the one function that shows one (and notes it in the run log).

#include <windows.h>

#include <string>

// The title of later boxes; an empty title goes back to the default one.
void SetMessageTitle(const std::wstring& title);
// The title set last, else DefaultMessageTitle of the running executable.
std::wstring MessageTitle();

// The executable's file name in `modulePath` up to its first ".", every character after the
// first in lower case (the title before the settings give the product's).
std::wstring DefaultMessageTitle(const std::wstring& modulePath);

// While suppressed, no box is shown: a run that nobody can answer (no visible window station)
// must not wait for a click.
void SetMessageBoxesSuppressed(bool suppressed);
bool MessageBoxesSuppressed();

// Shows `text` under the title with `flags`, owned by `owner` (may be null), and returns the
// button pressed; while boxes are suppressed shows nothing and returns IDOK. Either way the
// run log notes the message.
int ShowMessageBox(HWND owner, const std::wstring& text, UINT flags);
