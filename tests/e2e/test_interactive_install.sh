#!/usr/bin/env bash
# An interactive installation of the sample product under Xvfb, driven by real pointer
# clicks at the layout's coordinates: install page, progress, finish page; the shortcuts and
# the uninstaller; the finish button starting the main program; exit code 0.
# shellcheck source=lib.sh
. "$(dirname "$0")/lib.sh"
e2e_begin interactive_install

dir=$WINEPREFIX/drive_c/dist
mkdir -p "$dir"
cp "$OUT_DIR/demo/setup.exe" "$dir/setup.exe"
target=$(unix_path 'C:\Program Files\DemoApp')


e2e_step "the window opens on the install page"
e2e_open_setup "$dir/setup.exe"

e2e_step "the install button (page 202,35 + container 11,261) runs the installation"
e2e_click $((11 + 202 + 80)) $((261 + 35 + 22))
e2e_wait_for_page setup.exe 2
e2e_screenshot finish-page.png
assert_file_exists "$target/bin/DemoApp.exe" "main program"
cmp -s "$dir/setup.exe" "$target/unin.exe" || fail "unin.exe is not a byte-exact copy of setup.exe"

e2e_step "desktop and Programs shortcuts"
assert_file_exists "$HOME/演示应用.lnk" "desktop shortcut"
programs=$(find "$WINEPREFIX/drive_c" -type d -path '*Start Menu/Programs/DemoApp' | head -n 1)
[ -n "$programs" ] || fail "no Programs sub-folder DemoApp"
assert_file_exists "$programs/演示应用.lnk" "Programs shortcut"
assert_file_exists "$programs/Uninstall.lnk" "Uninstall shortcut"
# A shell link stores its target's path among its strings, in ANSI or UTF-16.
link_names() { # LINK TEXT
    /usr/bin/python3 -c 'import sys; d = open(sys.argv[1], "rb").read(); t = sys.argv[2]
sys.exit(0 if t.encode() in d or t.encode("utf-16-le") in d else 1)' "$1" "$2"
}
link_names "$HOME/演示应用.lnk" 'DemoApp\bin\DemoApp.exe' ||
    fail "the desktop shortcut does not point at the main program"
link_names "$programs/演示应用.lnk" 'DemoApp\bin\DemoApp.exe' ||
    fail "the Programs shortcut does not point at the main program"
link_names "$programs/Uninstall.lnk" 'DemoApp\unin.exe' ||
    fail "the Uninstall shortcut does not point at unin.exe"

e2e_step "the finish button (page 201,50) starts the main program and ends setup"
e2e_click $((11 + 201 + 87)) $((261 + 50 + 22))
box=$(wt msgbox --exe DemoApp.exe)
assert_contains "$box" "text=The demo product is installed and running." "the main program's window"
e2e_wait_exit "$setup_pid"
wt press --exe DemoApp.exe >/dev/null
wt wait-exit --exe DemoApp.exe >/dev/null

e2e_pass
