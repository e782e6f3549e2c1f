#!/usr/bin/env bash
# Builds everything: the Windows programs (out/setup.exe, out/demo/setup.exe, the test
# programs) and the native build of the portable core with its tests.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=${JOBS:-$(nproc)}

# The product is 32-bit; where the kernel cannot run Wine's 32-bit loader, the Windows build
# (and with it every Wine test) is made for 64-bit Windows from the same sources instead.
arch=$("$root/scripts/windows-arch.sh")
toolchain=$root/cmake/mingw-$arch.cmake
if [ "$arch" != i686 ]; then
  echo "build.sh: this kernel cannot run 32-bit programs; building the Windows programs" \
    "for $arch instead of i686" >&2
fi
if [ -f "$root/build/win/CMakeCache.txt" ] &&
  ! grep -qx "CMAKE_TOOLCHAIN_FILE:UNINITIALIZED=$toolchain" "$root/build/win/CMakeCache.txt" &&
  ! grep -qx "CMAKE_TOOLCHAIN_FILE:FILEPATH=$toolchain" "$root/build/win/CMakeCache.txt"; then
  rm -rf "$root/build/win" # made for the other architecture
fi
cmake -S "$root" -B "$root/build/win" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$root/build/win" -j "$jobs"

cmake -S "$root" -B "$root/build/native" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build/native" -j "$jobs"

# The fuzz targets: the native build once more with clang and libFuzzer.
cmake -S "$root" -B "$root/build/fuzz" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DBUILD_FUZZERS=ON >/dev/null
cmake --build "$root/build/fuzz" -j "$jobs" --target json_reader_fuzz zip_reader_fuzz setup_image_fuzz
