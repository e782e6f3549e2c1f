#pragma once
// The packer's exit codes, for build pipelines. They never change meaning.

namespace packexit {
constexpr int kSuccess = 0;
// The input is wrong: the command line, the settings, a picture, the payload or the stub.
constexpr int kBadInput = 1;
// Reading or writing failed: a disk, a permission, a file that changed while it was read.
constexpr int kIoFailure = 2;
// list/verify: the setup.exe examined is damaged or incomplete.
constexpr int kDamaged = 3;
} // namespace packexit
