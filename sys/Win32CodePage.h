#pragma once
// The system's code pages behind ICodePage, through MultiByteToWideChar and
// WideCharToMultiByte. Windows only; the portable code sees nothing but the interface.

#include "sys/TextEncoding.h"

#include <windows.h>

// One Windows code page (CP_ACP, CP_OEMCP or a fixed number such as 936), converted
// leniently: unmapped bytes and characters become substitutes, never an error.
class TWin32CodePage final : public ICodePage {
public:
    explicit TWin32CodePage(UINT codePage) noexcept : codePage_(codePage) {}

    // Decodes `bytes` of this code page; throws EInstallerError only for a text beyond 2 GB.
    std::wstring ToWide(std::string_view bytes) const override;
    // Encodes `text` in this code page; throws EInstallerError only for a text beyond 2 GB.
    std::string FromWide(std::wstring_view text) const override;

    // The code page number this object was made with (CP_ACP stays CP_ACP).
    UINT Id() const noexcept { return codePage_; }

private:
    UINT codePage_;
};

// The system's ANSI code page, as the text files and text resources use it.
const ICodePage& AnsiCodePage();

// The system's OEM code page, as ZIP archives without the UTF-8 flag use it for names.
const ICodePage& OemCodePage();
