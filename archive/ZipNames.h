#pragma once
// Entry names: from the stored bytes to the name on disk, and the check that keeps every
// extracted entry below the destination root. Portable.

#include "sys/TextEncoding.h"

#include <cstdint>
#include <string>
#include <string_view>

// Decodes stored name bytes (every "/" already replaced by "\"). Without the UTF-8 flag and
// with `flexibleOem`, and unless `versionMadeBy` has all of the bits 0x0B00 set, the bytes
// are OEM text when the OEM -> ANSI -> OEM round trip gives them back (ASCII case ignored);
// otherwise they are decoded as UTF-8, invalid sequences becoming U+FFFD.
std::wstring DecodeEntryName(std::string_view raw, std::uint16_t flags, std::uint16_t versionMadeBy,
                             bool flexibleOem, const ICodePage& oem, const ICodePage& ansi);

// Decodes the UTF-8 text of a Unicode path extra field, with "/" turned into "\".
std::wstring DecodeUnicodePathName(std::string_view utf8);

// Splits `name` after its last "\" or ":" into the directory part (ending with the
// separator, or "") and the file name part.
void SplitEntryName(const std::wstring& name, std::wstring& directory, std::wstring& fileName);

// True when the name `directory` + `fileName` stays below the destination root: no ".."
// component (nor one of dots and spaces only, which Windows trims to one), no leading
// separator, no ":" (drive or alternate data stream), no control character and no device
// name such as CON or NUL as a component.
bool IsSafeEntryName(const std::wstring& directory, const std::wstring& fileName);
