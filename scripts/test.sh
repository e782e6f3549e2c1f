#!/usr/bin/env bash
# Installs what is needed, builds everything and runs every test: the portable core natively
# (with sanitizers), then the Windows tests under Wine in a fresh prefix of their own.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh"
bash "$root/scripts/build.sh"

status=0
ctest --test-dir "$root/build/native" --output-on-failure || status=1
# The fuzz targets: their seeds, then a short fixed-time run each.
ctest --test-dir "$root/build/fuzz" --output-on-failure -R fuzz || status=1
# The Wine tests share one prefix and display, made by the first test and removed by the last.
# They run on the 32-bit build (the product) where the kernel runs 32-bit programs, else on
# the 64-bit build of the same sources.
if [ "$("$root/scripts/windows-arch.sh")" = i686 ]; then
  win_tests=$root/build/win
  echo "test.sh: the Wine tests run on the 32-bit build (build/win)"
else
  win_tests=$root/build/win64
  echo "test.sh: this kernel cannot run 32-bit programs: the Wine tests run on the 64-bit" \
    "build (build/win64); the 32-bit build was compiled and linked"
  # What the 32-bit programs can be checked for without running them.
  ctest --test-dir "$root/build/win" --output-on-failure -L no_wine || status=1
fi
ctest --test-dir "$win_tests" --output-on-failure -j 2 || status=1
exit $status
