#!/usr/bin/env bash
# Extraction benchmark, run by hand (about 5 minutes): builds unzip_bench in Release without
# sanitizers, generates the payloads once, and times the project's reader, Info-ZIP unzip,
# bsdtar, 7z and the raw inflate limits in one run. See bench/README.md.
#   RUNS=5 DISK_RUNS=5   timed runs per tool on tmpfs and on disk
#   BENCH_BIN=path       measure an unzip_bench built elsewhere and skip the build
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/bench
payloads=$build/payload
py=/usr/bin/python3

"$root/scripts/install-deps.sh"

if [ -z "${BENCH_BIN:-}" ]; then
  if ! grep -q '^add_subdirectory(bench)' "$root/CMakeLists.txt"; then
    echo "bench/run.sh: the top-level CMakeLists.txt lacks add_subdirectory(bench)" \
      "(or set BENCH_BIN to a built unzip_bench)" >&2
    exit 1
  fi
  cmake -S "$root" -B "$build" -G Ninja -DNATIVE_SANITIZE=OFF -DBUILD_BENCH=ON \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$build" --target unzip_bench
  BENCH_BIN=$build/bench/unzip_bench
fi

# The payloads depend only on the generator: made again only when it changes.
mkdir -p "$payloads"
stamp=$(sha256sum "$root/bench/gen_payload.py" | cut -d' ' -f1)
if [ "$(cat "$payloads/stamp" 2>/dev/null)" != "$stamp" ]; then
  rm -f "$payloads"/*.zip "$payloads"/*.tsv "$payloads/stamp"
  "$py" "$root/bench/gen_payload.py" mixed "$payloads/mixed.zip"
  "$py" "$root/bench/gen_payload.py" mixed "$payloads/mixed-quarter.zip" --scale 0.25
  "$py" "$root/bench/gen_payload.py" tiny "$payloads/tiny.zip"
  echo "$stamp" >"$payloads/stamp"
fi

shm=/dev/shm/unzip-bench-$$
trap 'rm -rf "$shm" "$build/out-disk"' EXIT
"$py" "$root/bench/measure.py" --bin "$BENCH_BIN" --payload-dir "$payloads" \
  --runs "${RUNS:-5}" --disk-runs "${DISK_RUNS:-5}" \
  --shm-out "$shm" --disk-out "$build/out-disk" \
  --json "$build/results-$(date +%Y%m%d-%H%M%S).json" | tee "$build/last-run.md"
