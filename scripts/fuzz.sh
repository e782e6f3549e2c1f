#!/usr/bin/env bash
# A longer fuzzing run than the test command's: every fuzz target for SECONDS each (default
# 600), new inputs kept in build/fuzz/work/, never in the repository's seed corpus.
#   scripts/fuzz.sh [SECONDS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-600}
bash "$root/scripts/install-deps.sh"
bash "$root/scripts/build.sh"
for target in json zip; do
  work=$root/build/fuzz/work/$target
  mkdir -p "$work"
  echo "fuzz: ${target}_reader_fuzz for $seconds s"
  "$root/build/fuzz/tests/fuzz/${target}_reader_fuzz" -max_total_time="$seconds" \
    -rss_limit_mb=2048 -print_final_stats=1 "$work" "$root/tests/fuzz/corpus/$target"
done
# The packer's list and verify over a setup.exe; its seeds are packed at build time.
work=$root/build/fuzz/work/setup
mkdir -p "$work"
echo "fuzz: setup_image_fuzz for $seconds s"
"$root/build/fuzz/tests/fuzz/setup_image_fuzz" -max_total_time="$seconds" \
  -rss_limit_mb=2048 -print_final_stats=1 "$work" "$root/build/fuzz/tests/fuzz/corpus/setup"
