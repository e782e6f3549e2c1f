#pragma once
// The packer's command line (CLI11): the pack, list and verify commands. Portable.

#include <string>
#include <vector>

// Runs the packer with `arguments` (UTF-8, the program's name first); returns the exit code.
int RunPacker(const std::vector<std::string>& arguments);
