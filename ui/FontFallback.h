#pragma once
// The face a font of the layout is drawn with. The layout names Windows' Chinese UI faces;
// where one is not installed (older systems, Wine, trimmed images), the nearest installed
// face that holds Chinese characters is used, so that the captions never turn into boxes.

#include <string>

// `face` when it is installed; otherwise the first installed face of the Chinese UI faces,
// then of the common Chinese text faces; `face` again when none is (the system's font
// mapper then chooses).
std::wstring InstalledFaceFor(const std::wstring& face);

// Whether a font family of that name is installed.
bool IsFaceInstalled(const std::wstring& face);
