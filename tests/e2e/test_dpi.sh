#!/usr/bin/env bash
# The window at 96, 144 and 192 DPI (the prefix's LogPixels): its size, the places of the path
# box and the progress bar, and probe pixels of the install and progress pages, all scaled
# from the 96-DPI layout by DPI/96 and rounded as the program rounds. Screenshots of both
# pages at each DPI stay in the artefacts folder (install-page-144.png is the README's). Above
# 96 DPI the header shows the product's double-resolution background.
# shellcheck source=lib.sh
. "$(dirname "$0")/lib.sh"
e2e_begin dpi

# The sample product with a double-resolution background of a plain colour of its own: the
# window takes it above 96 DPI and the normal one at 96.
product=$E2E_DIR/product
rm -rf "$product"
cp -r "$REPO_ROOT/examples/sample-product" "$product"
mkdir -p "$product/payload/bin"
cp "$FIXTURE_BIN_DIR/sleeper.exe" "$product/payload/bin/DemoApp.exe"
/usr/bin/python3 - "$product/branding" <<'PY'
import sys
from PIL import Image
Image.new("RGB", (1200, 800), (60, 200, 120)).save(sys.argv[1] + "/bgpic@2x.png")
PY
dir=$WINEPREFIX/drive_c/dist
mkdir -p "$dir"
"$PACKER" pack "$product" --stub "$OUT_DIR/setup.exe" -o "$dir/setup.exe" --quiet ||
    fail "packing failed"

# A layout length at the DPI under test, rounded half up as MulDiv rounds positive values.
s() { echo $((($1 * dpi + 48) / 96)); }

# The rect= field (L,T,R,B in the window's client coordinates) of EXE's child of CLASS.
child_rect() { # EXE CLASS
    wt list --exe "$1" | grep "^ *child .* class=$2 .* visible=1 " |
        sed -n 's/.* rect=\([-0-9,]*\) .*/\1/p' | head -n 1
}

for dpi in 96 144 192; do
    e2e_step "$dpi DPI: install page"
    wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f \
        >/dev/null 2>&1 || fail "could not set LogPixels"
    e2e_open_setup "$dir/setup.exe"
    listing=$(wt wait --exe setup.exe --visible)
    rect=$(sed -n 's/^window .* rect=\([-0-9,]*\) .*/\1/p' <<<"$listing" | head -n 1)
    IFS=, read -r l t r b <<<"$rect"
    assert_eq "$(s 600)x$(s 400)" "$((r - l))x$((b - t))" "window size at $dpi DPI"
    e2e_move "$(s 300)" "$(s 200)"
    sleep 0.3
    header="25 93 191"
    [ "$dpi" -eq 96 ] || header="60 200 120"
    # shellcheck disable=SC2086 # the colour's three channels
    e2e_pixel_at "$(s 5)" "$(s 5)" $header "header background at $dpi DPI"
    e2e_pixel_at "$(s 300)" "$(s 390)" 255 255 255 "page area at $dpi DPI"
    e2e_pixel_at "$(s $((11 + 202 + 20)))" "$(s $((261 + 35 + 40)))" 32 120 220 \
        "install button at $dpi DPI"
    e2e_screenshot "install-page-$dpi.png"

    e2e_step "$dpi DPI: the custom-install area and the path box"
    e2e_click "$(s $((11 + 492 + 9)))" "$(s $((261 + 95 + 9)))"
    for _ in $(seq 1 50); do
        e2e_window_origin setup.exe
        [ "$window_height" -eq "$(s 500)" ] && break
        sleep 0.1
    done
    assert_eq "$(s 500)" "$window_height" "window height with the area open at $dpi DPI"
    assert_eq "$(s 67),$(s 434),$(($(s 67) + $(s 421))),$(($(s 434) + $(s 23)))" \
        "$(child_rect setup.exe Edit)" "path box at $dpi DPI"
    e2e_click "$(s $((11 + 492 + 9)))" "$(s $((261 + 95 + 9)))"

    e2e_step "$dpi DPI: progress page"
    e2e_move "$(s $((11 + 202 + 80)))" "$(s $((261 + 35 + 22)))"
    xdotool click 1
    e2e_wait_for_page setup.exe 1
    # Page container at 11,261, the bar at 24,60 on its page: each offset scaled on its own.
    bar_l=$(($(s 11) + $(s 24))) bar_t=$(($(s 261) + $(s 60)))
    assert_eq "$bar_l,$bar_t,$((bar_l + $(s 517))),$((bar_t + $(s 12)))" \
        "$(child_rect setup.exe msctls_progress32)" "progress bar at $dpi DPI"
    # shellcheck disable=SC2086
    e2e_pixel_at "$(s 5)" "$(s 5)" $header "header background on the progress page at $dpi DPI"
    e2e_screenshot "progress-page-$dpi.png"
    e2e_wait_for_page setup.exe 2
    wt close --exe setup.exe >/dev/null
    e2e_wait_exit "$setup_pid"
    assert_eq 0 "$E2E_STATUS" "exit status at $dpi DPI"
done

e2e_pass
