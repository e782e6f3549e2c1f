#!/usr/bin/env bash
# The window by keyboard alone: Esc closes the install page; Tab visits the install button,
# the custom-install arrow, the path box, "更改目录" and the close button in that order (Space
# on the arrow opens the area, Space on the close button closes); Enter installs from the
# install page; during the run Alt+F4, Esc and a close request from outside are ignored, and
# the run ends on its finish page, where Enter presses the finish button; exit code 0.
# shellcheck source=lib.sh
. "$(dirname "$0")/lib.sh"
e2e_begin keyboard

dir=$WINEPREFIX/drive_c/dist
mkdir -p "$dir"
cp "$OUT_DIR/demo/setup.exe" "$dir/setup.exe"
target=$(unix_path 'C:\Program Files\DemoApp')

key() { # KEY...: into the window, which a click on the page area made the active one
    xdotool key --delay 100 "$@"
    sleep 0.3
}

e2e_step "Esc on the install page closes the window"
e2e_open_setup "$dir/setup.exe"
e2e_click 300 390
key Escape
e2e_wait_exit "$setup_pid"
assert_eq $((1602 % 256)) "$E2E_STATUS" "exit status after Esc"

e2e_step "Tab order: install, arrow (Space opens the area), path box, 更改目录, close (Space)"
e2e_open_setup "$dir/setup.exe"
e2e_click 300 390
key Tab Tab space
e2e_window_origin setup.exe
assert_eq 500 "$window_height" "window height after Space on the second stop"
e2e_screenshot focus-on-arrow.png
key Tab Tab Tab space
e2e_wait_exit "$setup_pid"
assert_eq $((1602 % 256)) "$E2E_STATUS" "exit status after Space on the fifth stop"

e2e_step "Enter installs; Alt+F4, Esc and a close request during the run are ignored"
e2e_open_setup "$dir/setup.exe"
e2e_click 300 390
key Return
e2e_wait_for_page setup.exe 1
key alt+F4
key Escape
wt close --exe setup.exe >/dev/null || true
e2e_wait_for_page setup.exe 2
kill -0 "$setup_pid" 2>/dev/null || fail "the window closed during the run"
assert_file_exists "$target/bin/DemoApp.exe" "main program"

e2e_step "Enter on the finish page starts the main program and ends setup"
key Return
box=$(wt msgbox --exe DemoApp.exe)
assert_contains "$box" "text=The demo product is installed and running." "the main program's window"
e2e_wait_exit "$setup_pid"
assert_eq 0 "$E2E_STATUS" "exit status of the keyboard installation"
wt press --exe DemoApp.exe >/dev/null
wt wait-exit --exe DemoApp.exe >/dev/null

e2e_pass
