#!/usr/bin/env bash
# An interactive installation whose archive is missing: the extraction's error in the error
# box, the window left on the progress page with the bar at 30, and the close button working
# again.
# shellcheck source=lib.sh
. "$(dirname "$0")/lib.sh"
e2e_begin install_failure

dir=$WINEPREFIX/drive_c/broken
mkdir -p "$dir"
cp "$OUT_DIR/setup.exe" "$dir/setup.exe"
printf '{"Title": "Broken", "Version": "1", "BigTitle": "B", "Description": "d",
 "MainProg": "x.exe", "MainProgPath": "", "ShortcutName": "Broken",
 "OpenWebsiteAfterInstall": "", "OpenWebsiteAfterUninstall": "", "ProgramDirName": "Broken",
 "NetID": "", "XPSupported": false}' >"$dir/config.dat"


e2e_start "$dir/setup.exe"
setup_pid=$E2E_LAST_PID
e2e_window_origin setup.exe
sleep 0.5

e2e_step "the install button: the missing app.data is reported"
e2e_click $((11 + 202 + 80)) $((261 + 35 + 22))
box=$(wt msgbox --exe setup.exe)
assert_contains "$box" "icon=error" "error box"
assert_contains "$box" 'text=Cannot open file "C:\broken\app.data".' "error box"
e2e_screenshot error-box.png
wt press --exe setup.exe >/dev/null
e2e_page_shown setup.exe 1 || fail "the window left the progress page"
bar=$(wt list --exe setup.exe | grep 'class=msctls_progress32' | head -n 1)
assert_contains "$bar" " pos=30 " "the progress bar"

e2e_step "the close button (header 571,-1, 30 x 30) closes the window again"
e2e_click $((571 + 15)) 14
e2e_wait_exit "$setup_pid"
assert_eq $((1620 % 256)) "$E2E_STATUS" "exit status after a missing archive"

e2e_pass
