#pragma once
// The caption of the message boxes that the system services show. The application object
// lives above this layer, so it hands its title down through a source function.

#include <string>

// A function that yields the current application title.
using TMessageTitleSource = std::wstring (*)();

// Makes `source` the title of later boxes; nullptr goes back to the default title.
void SetMessageTitleSource(TMessageTitleSource source);

// While suppressed, the system services show no message boxes (nobody could answer them).
void SetMessageBoxesSuppressed(bool suppressed);
bool MessageBoxesSuppressed();

// The title from the source set last, else DefaultMessageTitle of the running executable.
std::wstring MessageTitle();

// The executable's file name in `modulePath` up to its first ".", every character after the
// first in lower case (as the application's own title is before the settings set it).
std::wstring DefaultMessageTitle(const std::wstring& modulePath);
