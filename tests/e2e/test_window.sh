#!/usr/bin/env bash
# The main window under real pointer events, read back from the screen: the install button's
# hover and pressed faces (the sample product's branding pictures), a press that leaves the
# button without clicking it, dragging the window by its header but not by a button, the
# custom-install area opened and closed by the arrow and by its label (window height 400 and
# 500), and the close button's hover face and click.
# shellcheck source=lib.sh
. "$(dirname "$0")/lib.sh"
e2e_begin window

dir=$WINEPREFIX/drive_c/dist
mkdir -p "$dir"
cp "$OUT_DIR/demo/setup.exe" "$dir/setup.exe"

wait_for_height() { # HEIGHT
    for _ in $(seq 1 50); do
        e2e_window_origin setup.exe
        [ "$window_height" -eq "$1" ] && return 0
        sleep 0.1
    done
    fail "the window is $window_height high, expected $1"
}

e2e_start "$dir/setup.exe"
setup_pid=$E2E_LAST_PID
e2e_window_origin setup.exe
e2e_page_shown setup.exe 0 || fail "not on the install page"
e2e_move 300 200 # rest the pointer on the header, away from every button
sleep 0.5
e2e_screenshot install-page.png

# The install button: page 202,35 in the container at 11,261; probe 20,40 inside it.
bx=$((11 + 202)) by=$((261 + 35))
e2e_step "the install button's faces: normal, hover, pressed"
e2e_pixel_at $((bx + 20)) $((by + 40)) 32 120 220 "normal face"
e2e_move $((bx + 80)) $((by + 22))
sleep 0.3
e2e_pixel_at $((bx + 20)) $((by + 40)) 70 150 240 "hover face"
xdotool mousedown 1
sleep 0.3
e2e_pixel_at $((bx + 20)) $((by + 40)) 20 90 180 "pressed face"

e2e_step "moving out of the pressed button and releasing: no click, the window stays put"
before="$origin_x $origin_y"
e2e_move $((bx + 80)) $((by + 80))
sleep 0.2
xdotool mouseup 1
sleep 0.5
e2e_page_shown setup.exe 0 || fail "the release outside the button clicked it"
e2e_window_origin setup.exe
assert_eq "$before" "$origin_x $origin_y" "window position after dragging from a button"
e2e_pixel_at $((bx + 20)) $((by + 40)) 32 120 220 "normal face after leaving"

e2e_step "dragging the header moves the window"
e2e_move 100 30
xdotool mousedown 1
for step in 1 2 3 4 5; do
    xdotool mousemove --sync $((origin_x + 100 + step * 8)) $((origin_y + 30 + step * 6))
    sleep 0.05
done
xdotool mouseup 1
old_x=$origin_x old_y=$origin_y
sleep 0.3
e2e_window_origin setup.exe
assert_eq "$((old_x + 40)) $((old_y + 30))" "$origin_x $origin_y" "window position after the drag"

e2e_step "the arrow and its label open and close the custom-install area"
wait_for_height 400
e2e_move $((11 + 492 + 9)) $((261 + 95 + 9))
xdotool click 1
wait_for_height 500
# Growing keeps the window where it was dragged to.
assert_eq "$((old_x + 40)) $((old_y + 30))" "$origin_x $origin_y" "window position after opening"
sleep 0.3
e2e_screenshot install-page-open.png
xdotool click 1
wait_for_height 400
e2e_move $((11 + 510 + 40)) $((261 + 97 + 7))
xdotool click 1
wait_for_height 500
xdotool click 1
wait_for_height 400

e2e_step "the close button: hover face, then a click closes the window"
e2e_move $((571 + 15)) 14
sleep 0.3
e2e_screenshot close-hover.png
e2e_pixel_at 574 3 232 72 40 "close button's hover square"
xdotool click 1
e2e_wait_exit "$setup_pid"
assert_eq $((1602 % 256)) "$E2E_STATUS" "exit status after closing"

e2e_pass
