#pragma once
// One run at a time for each product: setup.exe and unin.exe hold a named mutex for their whole
// life, so that two runs never write the same folders at once.

#include "sys/Win32Handle.h"

#include <string>

// The mutex's name for the product whose uninstall entry is named `entryName`: in the
// "Global\" namespace (one for every session on the machine), derived from the entry's key
// "<entryName>_is1", which the registry compares without regard to case.
std::wstring ProductMutexName(const std::wstring& entryName);

// Takes the named mutex. Returns the held handle, or an empty one when another process holds
// it already (or the system refuses to make it; then one run at a time cannot be promised,
// and the caller goes on as if it were free: see `refused`).
THandle TakeProductMutex(const std::wstring& name, bool& refused);

// Brings to the front the visible main window titled `title` of another process of this
// program (its window class); false when there is none.
bool BringOtherRunToFront(const std::wstring& title);
