#pragma once
// Checks that a file is a PNG picture the installer can show: the signature, every chunk's
// length and CRC-32, a valid IHDR first, IDAT data that inflates to exactly the rows the
// header announces, and IEND last. Portable, over zlib.

#include <cstdint>
#include <string>
#include <string_view>

struct TPngCheck {
    bool Valid = false;
    std::string Problem; // why it is not valid, in a few words; empty when valid
    std::uint32_t Width = 0;
    std::uint32_t Height = 0;
};

// Checks the bytes of a PNG file.
TPngCheck CheckPng(std::string_view bytes);
