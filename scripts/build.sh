#!/usr/bin/env bash
# Builds everything: the native build of the portable core with its tests and the native packer
# (out/packer), the product's 32-bit Windows programs with every test program (build/win,
# leaving out/setup.exe, out/packer.exe and out/demo/setup.exe, the sample product packed by
# out/packer), and the fuzz targets.
# Where the kernel cannot run 32-bit programs, also a 64-bit build of the same sources
# (build/win64) for the Wine tests; out/ always holds the 32-bit programs.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=${JOBS:-$(nproc)}

# configure_windows DIR ARCH [CMAKE ARGS]: a Windows build tree for ARCH, made anew when it was
# configured for the other architecture.
configure_windows() {
  local dir=$1 arch=$2
  shift 2
  local toolchain=$root/cmake/mingw-$arch.cmake
  if [ -f "$dir/CMakeCache.txt" ] &&
    ! grep -qE "^CMAKE_TOOLCHAIN_FILE:(UNINITIALIZED|FILEPATH)=$toolchain\$" "$dir/CMakeCache.txt"; then
    rm -rf "$dir"
  fi
  cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
}

# The native build first: its packer (out/packer) packs the sample product in the Windows builds.
cmake -S "$root" -B "$root/build/native" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DOUT_DIR="$root/out" >/dev/null
cmake --build "$root/build/native" -j "$jobs"

# The product: 32-bit, on every machine, with every target, so that a fault only the 32-bit
# compiler sees (a callback without CALLBACK, say) fails here whatever the machine runs.
configure_windows "$root/build/win" i686 -DOUT_DIR="$root/out"
cmake --build "$root/build/win" -j "$jobs"

tests_arch=$("$root/scripts/windows-arch.sh")
if [ "$tests_arch" != i686 ]; then
  echo "build.sh: this kernel cannot run 32-bit programs: the Wine tests run on a $tests_arch" \
    "build of the same sources (build/win64); out/ holds the 32-bit build" >&2
  configure_windows "$root/build/win64" "$tests_arch" -DOUT_DIR="$root/build/win64/out"
  cmake --build "$root/build/win64" -j "$jobs"
fi


# The fuzz targets: the native build once more with clang and libFuzzer.
cmake -S "$root" -B "$root/build/fuzz" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DBUILD_FUZZERS=ON >/dev/null
cmake --build "$root/build/fuzz" -j "$jobs" --target json_reader_fuzz zip_reader_fuzz setup_image_fuzz
