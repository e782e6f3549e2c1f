#!/usr/bin/env bash
# Installation benchmark, run by hand (about 10 minutes on 2 cores): builds the product's
# setup.exe with each payload embedded and an NSIS installer (zlib) of the same files, and
# times their silent installations under Wine in one run, with the product's fixed pauses
# timed apart. See bench/README.md.
#   RUNS=5           timed installs per tool and payload
#   BENCH_DIR=path   where to build and keep the results (default build/install-bench)
#   WINE_DIR=path    the Wine prefix's folder, made fresh and removed at the end; keep it on
#                    tmpfs (default /dev/shm/install-bench-PID)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
work=${BENCH_DIR:-$root/build/install-bench}
runs=${RUNS:-5}
wine_dir=${WINE_DIR:-/dev/shm/install-bench-$$}
payloads=$work/payload
py=/usr/bin/python3

"$root/scripts/install-deps.sh"

# The payloads depend only on the generator: made again only when it changes. NSIS packs
# folders, so each is also unpacked beside its archive.
mkdir -p "$payloads"
stamp=$(sha256sum "$root/bench/gen_payload.py" | cut -d' ' -f1)
if [ "$(cat "$payloads/stamp" 2>/dev/null)" != "$stamp" ]; then
  rm -rf "${payloads:?}"/*
  for kind in mixed tiny; do
    "$py" "$root/bench/gen_payload.py" "$kind" "$payloads/$kind.zip"
    mkdir -p "$payloads/$kind"
    (cd "$payloads/$kind" && unzip -q "$payloads/$kind.zip")
  done
  echo "$stamp" >"$payloads/stamp"
fi

# The product's stub and the packer, built as scripts/build.sh builds them (the stub x86_64
# where the kernel cannot run 32-bit programs), in trees of their own, Release.
arch=$("$root/scripts/windows-arch.sh")
toolchain=$root/cmake/mingw-$arch.cmake
if [ -f "$work/win/CMakeCache.txt" ] &&
  ! grep -qE "^CMAKE_TOOLCHAIN_FILE:(UNINITIALIZED|FILEPATH)=$toolchain\$" "$work/win/CMakeCache.txt"; then
  rm -rf "$work/win" # made for the other architecture
fi
echo "install_bench: building the installer's stub ($arch, Release) and the packer in $work" >&2
cmake -S "$root" -B "$work/win" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DCMAKE_BUILD_TYPE=Release -DOUT_DIR="$work/out" -DBUILD_INSTALL_BENCH=ON >/dev/null
cmake --build "$work/win" --target setup pause_probe >/dev/null
cmake -S "$root" -B "$work/native" -G Ninja -DCMAKE_BUILD_TYPE=Release -DNATIVE_SANITIZE=OFF \
  -DOUT_DIR="$work/native-out" >/dev/null
cmake --build "$work/native" --target packer >/dev/null

# Each payload packed as a publisher packs a product: the benchmark's settings, with the main
# program one of the payload's own files (the packer checks that it is there), and no
# branding pictures.
for kind in mixed tiny; do
  mkdir -p "$work/out/bench/$kind"
  "$py" - "$root/bench/install_config.json" "$payloads/$kind.zip.tsv" \
    "$work/out/bench/$kind/config.json" <<'PY'
import json, sys
settings = json.load(open(sys.argv[1], encoding="utf-8-sig"))
files = sorted(line.split("\t")[0] for line in open(sys.argv[2], encoding="utf-8"))
main = settings["MainProgPath"].replace("\\", "/") + settings["MainProg"]
if main not in files:
    folder, _, name = files[0].rpartition("/")
    settings["MainProgPath"] = folder.replace("/", "\\") + "\\" if folder else ""
    settings["MainProg"] = name
json.dump(settings, open(sys.argv[3], "w", encoding="utf-8"), ensure_ascii=False, indent=4)
PY
  "$work/native-out/packer" pack --quiet --settings "$work/out/bench/$kind/config.json" \
    --payload "$payloads/$kind" --stub "$work/out/setup.exe" -o "$work/out/bench/$kind/setup.exe"
done

# NSIS installers of the same files, of the same architecture: zlib, the files compressed one
# by one (not solid), an uninstaller and an uninstall entry written as the product writes its
# own. Made again when the payload or this script changes.
case $arch in
x86_64) nsis_target=amd64-unicode program_files='C:\Program Files' ;;
*) nsis_target=x86-unicode program_files='C:\Program Files (x86)' ;;
esac
for kind in mixed tiny; do
  dir=$work/nsis/$kind
  mkdir -p "$dir"
  cat >"$dir/bench.nsi.new" <<NSI
; payload $stamp
Unicode true
Target $nsis_target
SetCompressor zlib
Name "Install benchmark"
OutFile "$dir/setup.exe"
InstallDir "$program_files\\NsisBench"
RequestExecutionLevel admin
Section
  SetOutPath "\$INSTDIR"
  File /r "$payloads/$kind/*"
  WriteUninstaller "\$INSTDIR\\uninstall.exe"
  WriteRegStr HKLM "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\NsisBench" "DisplayName" "Install benchmark"
  WriteRegStr HKLM "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\NsisBench" "UninstallString" '"\$INSTDIR\\uninstall.exe"'
SectionEnd
Section "Uninstall"
  RMDir /r "\$INSTDIR"
  DeleteRegKey HKLM "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\NsisBench"
SectionEnd
NSI
  if [ -f "$dir/setup.exe" ] && cmp -s "$dir/bench.nsi.new" "$dir/bench.nsi"; then
    rm "$dir/bench.nsi.new"
  else
    mv "$dir/bench.nsi.new" "$dir/bench.nsi"
    echo "install_bench: makensis ($nsis_target, zlib) on the $kind payload" >&2
    makensis -V1 "$dir/bench.nsi" >/dev/null
  fi
done

# The fixed pauses of a silent run, read from the sources so that the probe follows them: the
# silent-start timer's interval and each StepProgress(bar, first, last, step ms, final ms).
timer_ms=$(sed -n 's/.*tmrHiddenAutoInst->SetInterval(\([0-9]*\)).*/\1/p' "$root/ui/MainLayout.cpp")
groups=$(sed -n 's/.*StepProgress(\*pbProgress, *\([0-9]*\), *\([0-9]*\), *\([0-9]*\), *\([0-9]*\)).*/\1 \2 \3 \4/p' \
  "$root/install/InstallRun.cpp" | awk '{printf "%dx%d+%d ", $2 - $1 + 1, $3, $4}')
if [ -z "$timer_ms" ] || [ -z "$groups" ]; then
  echo "install_bench: cannot find the silent timer or the progress steps in the sources" >&2
  exit 1
fi

# A fresh prefix on tmpfs with its own display and wineserver, ended however the run ends.
cleanup() {
  "$root/tests/harness/wine-prefix.sh" destroy "$wine_dir" >/dev/null 2>&1 || true
  "$root/tests/harness/xvfb.sh" stop "$wine_dir" || true
  rm -rf "$wine_dir"
}
trap cleanup EXIT
echo "install_bench: a fresh Wine prefix in $wine_dir" >&2
"$root/tests/harness/xvfb.sh" start "$wine_dir"
"$root/tests/harness/wine-prefix.sh" create "$wine_dir"
# shellcheck source=../tests/harness/wine-env.sh
. "$root/tests/harness/wine-env.sh" "$wine_dir"
export LANG=${LANG:-C.UTF-8}
# One server for the whole run: its start-up is no part of either installation.
wineserver -p

# The installers from the prefix's own drive, on tmpfs as well.
mkdir -p "$WINEPREFIX/drive_c/bench"
cp "$work/out/bench/pause_probe.exe" "$WINEPREFIX/drive_c/bench/"
sizes=
for kind in mixed tiny; do
  mkdir -p "$WINEPREFIX/drive_c/bench/$kind"
  cp "$work/out/bench/$kind/setup.exe" "$WINEPREFIX/drive_c/bench/$kind/setup.exe"
  cp "$work/nsis/$kind/setup.exe" "$WINEPREFIX/drive_c/bench/$kind/nsis-setup.exe"
  sizes+="$kind-setup=$(stat -c %s "$work/out/bench/$kind/setup.exe"),"
  sizes+="$kind-nsis=$(stat -c %s "$work/nsis/$kind/setup.exe"),"
done
program_dir=$("$py" -c 'import json, sys
print(json.load(open(sys.argv[1], encoding="utf-8-sig"))["ProgramDirName"])' \
  "$root/bench/install_config.json")
program_files_unix=$(winepath -u "$program_files" 2>/dev/null)
program_files_unix=${program_files_unix%/}
# The installer puts the product in the native Program Files folder (%ProgramW6432%) whatever
# its own architecture, where a 32-bit NSIS installer uses the x86 one: ask the prefix.
setup_program_files=$(wine cmd /c 'echo %ProgramW6432%' 2>/dev/null | tr -d '\r')
setup_program_files_unix=$(winepath -u "$setup_program_files" 2>/dev/null)
setup_program_files_unix=${setup_program_files_unix%/}
if [ -z "$setup_program_files_unix" ] || [ ! -d "$setup_program_files_unix" ]; then
  echo "install_bench: cannot find the native Program Files folder ('$setup_program_files')" >&2
  exit 1
fi

# shellcheck disable=SC2086 # the groups are meant to split
"$py" "$root/bench/install_measure.py" --runs "$runs" \
  --payload mixed "$payloads/mixed.zip.tsv" 'C:\bench\mixed\setup.exe' 'C:\bench\mixed\nsis-setup.exe' \
  --payload tiny "$payloads/tiny.zip.tsv" 'C:\bench\tiny\setup.exe' 'C:\bench\tiny\nsis-setup.exe' \
  --setup-target "$setup_program_files_unix/$program_dir" \
  --nsis-target "$program_files_unix/NsisBench=$program_files\\NsisBench" \
  --probe "C:\\bench\\pause_probe.exe $timer_ms $groups" --sizes "$sizes" \
  --json "$work/results-$(date +%Y%m%d-%H%M%S).json" | tee "$work/last-run.md"
