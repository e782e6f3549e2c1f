#!/usr/bin/env bash
# Prints the Windows architecture the tests can run here: "i686" (the product's own, 32-bit)
# when the kernel runs 32-bit programs, which Wine's 32-bit loader is, otherwise "x86_64".
# WINDOWS_ARCH overrides the choice.
set -euo pipefail
if [ -n "${WINDOWS_ARCH:-}" ]; then
  echo "$WINDOWS_ARCH"
elif [ -x /usr/lib/wine/wine ] && /usr/lib/wine/wine --version >/dev/null 2>&1; then
  echo i686
else
  echo x86_64
fi
