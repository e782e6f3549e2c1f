#pragma once
// The process exit codes of an installation, for deployment tools. They follow the Windows
// Installer's codes, so that the default return-code tables of such tools read them right.
// Published codes never change meaning.

namespace exitcode {
constexpr int kSuccess = 0;           // the installation completed
constexpr int kDiskFull = 112;        // refused: less than 100 MB free on the target drive
constexpr int kUserCancelled = 1602;  // the window was closed before installing
constexpr int kFailure = 1603;        // an error stopped the run
constexpr int kPackageDamaged = 1620; // the package or its settings are missing or damaged
} // namespace exitcode
