#!/usr/bin/env bash
# Builds everything: the Windows programs (out/setup.exe, out/demo/setup.exe, the test
# programs) and the native build of the portable core with its tests.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=${JOBS:-$(nproc)}

cmake -S "$root" -B "$root/build/win" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$root/build/win" -j "$jobs"

cmake -S "$root" -B "$root/build/native" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build/native" -j "$jobs"

# The fuzz targets: the native build once more with clang and libFuzzer.
cmake -S "$root" -B "$root/build/fuzz" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DBUILD_FUZZERS=ON >/dev/null
cmake --build "$root/build/fuzz" -j "$jobs" --target json_reader_fuzz zip_reader_fuzz
