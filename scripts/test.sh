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
ctest --test-dir "$root/build/win" --output-on-failure -j 2 || status=1
exit $status
