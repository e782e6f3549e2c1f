#!/usr/bin/env bash
# Installs what is needed, builds everything, packs the sample product with the packer
# (out/packer) into out/demo/packed/setup.exe, then runs that under Wine on a virtual display:
# shows what its window holds, saves a screenshot in out/demo/, and closes it again. The Wine
# prefix is made for the demo and removed afterwards.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh"
bash "$root/scripts/build.sh"

# The product folder: the sample's settings, pictures and payload, with its main program.
product=$root/build/demo-product
rm -rf "$product"
cp -r "$root/examples/sample-product" "$product"
mkdir -p "$product/payload/bin"
cp "$root/build/win/app/DemoApp.exe" "$product/payload/bin/DemoApp.exe"
mkdir -p "$root/out/demo/packed"
echo "demo: packing build/demo-product into out/demo/packed/setup.exe"
"$root/out/packer" pack "$product" --stub "$root/out/setup.exe" -o "$root/out/demo/packed/setup.exe"
setup=$root/out/demo/packed/setup.exe

env_dir=$root/build/demo-env
harness=$root/tests/harness
wintool=$root/build/win/tests/tools/wintool.exe
cleanup() { "$harness/run-env.sh" teardown "$env_dir" >/dev/null 2>&1 || true; }
trap cleanup EXIT
echo "demo: making a fresh Wine prefix and a virtual display"
"$harness/run-env.sh" setup "$env_dir"
# shellcheck source=../tests/harness/wine-env.sh
. "$harness/wine-env.sh" "$env_dir"
export LANG=C.UTF-8

echo "demo: starting out/demo/packed/setup.exe"
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
