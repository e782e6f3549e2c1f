#pragma once
// Writes a setup program: a copy of the stub whose resource section is rebuilt with the
// product's resources added, keeping every resource of the stub's own, with a correct PE
// checksum. Portable.

#include "tools/packer/PeImage.h"
#include "tools/packer/ResourceTree.h"

#include <filesystem>
#include <vector>

// The type of the installer's data resources: the installer asks for "file", and
// FindResource compares names upper-cased.
TResourceId ProductResourceType();

// Writes `output` as `stub` with `added` in its resources; each added resource replaces the
// stub's resources of the same type and name. Returns the size written. Throws EPackError.
std::uint64_t WriteSetupImage(const TPeImage& stub, const std::vector<TResource>& added,
                              const std::filesystem::path& output);
