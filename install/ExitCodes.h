#pragma once
// The process exit codes of an installation, for deployment tools. They follow the Windows
// Installer's codes, so that the default return-code tables of such tools read them right.
// Published codes never change meaning.

namespace exitcode {
constexpr int kSuccess = 0;               // the installation completed
constexpr int kDiskFull = 112;            // refused: less than 100 MB free on the target drive
constexpr int kUserCancelled = 1602;      // the window was closed before installing
constexpr int kFailure = 1603;            // an error stopped the run
constexpr int kAlreadyRunning = 1618;     // another run for the same product is under way
constexpr int kPackageDamaged = 1620;     // the package or its settings are missing or damaged
constexpr int kInvalidCommandLine = 1639; // an argument's value cannot be used (a bad /dir=)
// completed, but files in use are replaced or removed at the next restart
constexpr int kRestartRequired = 3010;
} // namespace exitcode
