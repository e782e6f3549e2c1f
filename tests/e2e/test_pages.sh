#!/usr/bin/env bash
# Screenshots of the window's pages, each checked at probe pixels against the layout's
# positions and colours: install (custom-install area closed and open), progress, finish,
# and, from the installed unin.exe, uninstall, uninstall progress and uninstall finish.
# The PNGs stay in the test's artefacts folder.
# shellcheck source=lib.sh
. "$(dirname "$0")/lib.sh"
e2e_begin pages

dir=$WINEPREFIX/drive_c/dist
mkdir -p "$dir"
cp "$OUT_DIR/demo/setup.exe" "$dir/setup.exe"
target=$(unix_path 'C:\Program Files\DemoApp')

# Probes every page shares: the header's branding background and the white page area.
common_probes() {
    e2e_pixel_at 5 5 25 93 191 "header background"
    e2e_pixel_at 300 390 255 255 255 "page area"
}

e2e_step "install page, area closed and open"
e2e_open_setup "$dir/setup.exe"
e2e_move 300 200
sleep 0.3
common_probes
e2e_pixel_at $((11 + 202 + 20)) $((261 + 35 + 40)) 32 120 220 "install button"
e2e_screenshot page-install.png
e2e_move $((11 + 492 + 9)) $((261 + 95 + 9))
xdotool click 1
sleep 0.5
e2e_move 300 200
sleep 0.3
e2e_pixel_at 5 470 255 255 255 "custom-install area"
e2e_screenshot page-install-open.png
e2e_move $((11 + 492 + 9)) $((261 + 95 + 9))
xdotool click 1
sleep 0.5

e2e_step "progress and finish pages"
e2e_move $((11 + 202 + 80)) $((261 + 35 + 22))
xdotool click 1
e2e_wait_for_page setup.exe 1
e2e_screenshot page-progress.png
e2e_wait_for_page setup.exe 2
e2e_move 300 200
sleep 0.3
common_probes
e2e_pixel_at $((11 + 5 + 18)) $((261 + 6 + 18)) 46 177 90 "finish page's check mark"
e2e_pixel_at $((11 + 201 + 20)) $((261 + 50 + 40)) 32 120 220 "start button"
e2e_screenshot page-finish.png
wt close --exe setup.exe >/dev/null
e2e_wait_exit "$setup_pid"

e2e_step "uninstall, uninstall progress and uninstall finish pages"
e2e_start "$target/unin.exe"
unin_pid=$E2E_LAST_PID
e2e_window_origin unin.exe
e2e_wait_for_page unin.exe 3
e2e_move 300 200
sleep 0.5
common_probes
e2e_pixel_at $((11 + 198 + 20)) $((261 + 39 + 40)) 32 120 220 "uninstall button"
e2e_screenshot page-uninstall.png
e2e_move $((11 + 198 + 80)) $((261 + 39 + 22))
xdotool click 1
e2e_wait_for_page unin.exe 4
e2e_screenshot page-uninstall-progress.png
e2e_wait_for_page unin.exe 5
e2e_move 300 200
sleep 0.3
common_probes
e2e_pixel_at $((11 + 12 + 18)) $((261 + 4 + 18)) 46 177 90 "uninstall finish page's check mark"
e2e_screenshot page-uninstall-finish.png
wt close --exe unin.exe >/dev/null
e2e_wait_exit "$unin_pid"

e2e_pass
