#!/usr/bin/env bash
# Installs what is needed, builds everything (the build packs the sample product with the
# packer, out/packer, into out/demo/setup.exe), then runs that under Wine on a virtual display:
# shows what its window holds, saves a screenshot in out/demo/, and closes it again. The Wine
# prefix is made for the demo and removed afterwards.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh"
bash "$root/scripts/build.sh"

# The build packed the sample product (with the demo's main program) into out/demo/setup.exe
# with the packer, as a publisher packs a product; this shows what it carries.
setup=$root/out/demo/setup.exe
win_build=$root/build/win
if [ "$("$root/scripts/windows-arch.sh")" != i686 ]; then
  # Wine cannot run the 32-bit setup.exe on this kernel: the same product packed around the
  # 64-bit build's installer is what runs below.
  win_build=$root/build/win64
  setup=$win_build/out/demo/setup.exe
  echo "demo: this kernel cannot run 32-bit programs; running the same product packed around" \
    "the 64-bit build's installer (build/win64/out/demo/setup.exe)"
fi
echo "demo: the sample product as the build packed it (out/packer verify ${setup#"$root"/}):"
"$root/out/packer" verify "$setup"

env_dir=$root/build/demo-env
harness=$root/tests/harness
wintool=$win_build/tests/tools/wintool.exe
cleanup() { "$harness/run-env.sh" teardown "$env_dir" >/dev/null 2>&1 || true; }
trap cleanup EXIT
echo "demo: making a fresh Wine prefix and a virtual display"
"$harness/run-env.sh" setup "$env_dir"
# shellcheck source=../tests/harness/wine-env.sh
. "$harness/wine-env.sh" "$env_dir"
export LANG=C.UTF-8

echo "demo: starting ${setup#"$root"/}"
wine "$setup" </dev/null >/dev/null 2>&1 &
setup_pid=$!
if ! wine "$wintool" wait --exe setup.exe --visible --timeout 30000 >"$root/out/demo/window.txt"; then
  echo "demo: the window did not appear" >&2
  exit 1
fi
sleep 1 # let the window finish painting before the screenshot
import -display "$DISPLAY" -window root "$root/out/demo/screenshot.png"

echo "demo: the installer's window and its controls:"
sed -e 's/ hwnd=0x[0-9A-Fa-f]*//' -e 's/ parent=0x[0-9A-Fa-f]*//' "$root/out/demo/window.txt"
target=$(sed -n 's/^ *child .* class=Edit .* text=//p' "$root/out/demo/window.txt")
echo "demo: default target folder: $target"
if [ -n "$target" ] && [ -d "$(winepath -u "$target" 2>/dev/null)" ]; then
  echo "demo: ... created at start-up, as the installer does"
fi
echo "demo: screenshot saved as out/demo/screenshot.png"

wine "$wintool" close --exe setup.exe >/dev/null
wait "$setup_pid" || true
echo "demo: window closed; setup.exe ended"

echo "demo: installing silently: setup.exe /silent"
code=$(wine "$wintool" exit-code -- "$setup" /silent | sed -n 's/^exit-code=//p')
echo "demo: setup.exe /silent exited with $code"
installed=$(winepath -u 'C:\Program Files\DemoApp' 2>/dev/null)
echo "demo: files in C:\Program Files\DemoApp:"
(cd "$installed" && find . -type f -printf '  %P  (%s bytes)\n' | sort)
echo "demo: webset.dat: $(tr -d '\r' <"$installed/webset.dat")"
echo "demo: the uninstall entry:"
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\演示应用_is1'
{ wine reg query "$key" /reg:64 2>/dev/null || wine reg query "$key" 2>/dev/null; } |
  tr -d '\r' | sed -n 's/^ \{4\}/  /p'
