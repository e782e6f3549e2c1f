#!/usr/bin/env bash
# The free-space check on the target drive: a drive of 99 MB (a tmpfs mapped into the prefix)
# is refused with the installer's message and the window stays on the install page; the same
# drive at exactly 100 MB is accepted and the installation runs to the finish page; a silent
# run onto the 99 MB drive ends with exit code 112.
# shellcheck source=lib.sh
. "$(dirname "$0")/lib.sh"
e2e_begin install_disk_space

small=$E2E_DIR/small-drive
mkdir -p "$small"
mountpoint -q "$small" && umount "$small"
mount -t tmpfs -o size=99m tmpfs "$small" 2>/dev/null ||
    e2e_skip "cannot mount a tmpfs here (needs root and mount rights)"
e2e_at_cleanup "umount '$small'"
ln -sfn "$small" "$WINEPREFIX/dosdevices/t:"

dir=$WINEPREFIX/drive_c/small
mkdir -p "$dir"
cp "$OUT_DIR/setup.exe" "$dir/setup.exe"
printf '{"Title": "Small", "Version": "1", "BigTitle": "Small", "Description": "d",
 "MainProg": "Tool.exe", "MainProgPath": "", "ShortcutName": "Small Tool",
 "OpenWebsiteAfterInstall": "", "OpenWebsiteAfterUninstall": "", "ProgramDirName": "Small",
 "NetID": "", "XPSupported": false}' >"$dir/config.dat"
/usr/bin/python3 - "$dir/app.data" "$FIXTURE_BIN_DIR/sleeper.exe" <<'PY'
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_DEFLATED) as z:
    z.write(sys.argv[2], "Tool.exe")
PY


e2e_open_setup "$dir/setup.exe"
wt settext --exe setup.exe --class Edit --text 'T:\Small' >/dev/null

e2e_step "99 MB free: refused, the window stays on the install page"
e2e_click $((11 + 202 + 80)) $((261 + 35 + 22))
box=$(wt msgbox --exe setup.exe)
assert_contains "$box" "text=Insufficient disk space, the free space is less than 100M!" "message"
e2e_screenshot disk-space-box.png
wt press --exe setup.exe >/dev/null
e2e_page_shown setup.exe 0 || fail "the window left the install page"
[ ! -e "$small/Small/Tool.exe" ] || fail "files were extracted onto the full drive"

e2e_step "exactly 100 MB free: the installation runs"
mount -o remount,size=100m "$small"
free=$(df -B1 --output=avail "$small" | tail -n 1 | tr -d ' ')
assert_eq $((100 * 1024 * 1024)) "$free" "free bytes on the drive"
e2e_click $((11 + 202 + 80)) $((261 + 35 + 22))
e2e_wait_for_page setup.exe 2
cmp -s "$FIXTURE_BIN_DIR/sleeper.exe" "$small/Small/Tool.exe" || fail "Tool.exe was not installed"

e2e_step "the close button ends setup with success"
e2e_click $((571 + 15)) 14
e2e_wait_exit "$setup_pid"
assert_eq 0 "$E2E_STATUS" "exit status"

e2e_step "a silent run onto 99 MB free: the same message, then exit code 112"
mount -o remount,size=99m "$small"
# A silent run installs into the native Program Files folder, which Wine takes from here.
wine reg add 'HKLM\Software\Microsoft\Windows\CurrentVersion' /v ProgramFilesDir /d 'T:\Apps' \
    /f /reg:64 >/dev/null 2>&1
e2e_start "$dir/setup.exe" /silent
box=$(wt msgbox --exe setup.exe)
assert_contains "$box" "text=Insufficient disk space, the free space is less than 100M!" "message"
wt press --exe setup.exe >/dev/null
e2e_wait_exit
assert_eq 112 "$E2E_STATUS" "exit status of the silent run"
[ ! -e "$small/Apps/Small/Tool.exe" ] || fail "files were extracted onto the full drive"

e2e_pass
