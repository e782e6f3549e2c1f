#pragma once
// Paths as UTF-8 text, the packer's one string encoding. Portable: the C++ library converts
// to the system's path encoding (UTF-16 on Windows, the bytes as they are on Linux).

#include <filesystem>
#include <string>
#include <string_view>

// Returns the path named by UTF-8 text.
std::filesystem::path PathFromUtf8(std::string_view utf8);

// Returns the path as UTF-8 text (on Linux the name's bytes as they are).
std::string PathToUtf8(const std::filesystem::path& path);
