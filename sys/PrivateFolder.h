#pragma once
// Folders for one run's own files. The temporary folder is one that every user may write in
// (C:\Windows\Temp for SYSTEM), so an elevated program keeps its temporary files in a folder it
// creates there afresh, which only its owner, the Administrators and SYSTEM may change.

#include <string>

// The temporary folder for this account, with a trailing separator: GetTempPath2W where the
// system has it (SYSTEM then gets a folder of its own), else GetTempPathW; "" on failure.
std::wstring ProtectedTempRoot();

// Creates a new folder "<temporary folder>\~setup-<random>" that did not exist before, whose
// access list, not inherited, grants full access to its owner, the Administrators and SYSTEM
// only; returns its path without a trailing separator. Throws EInOutError when none can be
// created.
std::wstring CreatePrivateTempFolder();
