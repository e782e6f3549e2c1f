#pragma once
// A fixed code page by its Windows number (437, 1252, 936, ...), from the platform: Windows'
// own conversions there, iconv's "CP<number>" natively.

#include "sys/TextEncoding.h"

#include <memory>

// Returns the code page `number`; natively throws EInstallerError when iconv lacks it.
std::unique_ptr<ICodePage> MakeCodePage(unsigned number);
