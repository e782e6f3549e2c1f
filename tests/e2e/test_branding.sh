#!/usr/bin/env bash
# The product's branding pictures replace the layout's, one by one: a product packed with a
# background and a normal button face of its own (plain colours no layout picture has) shows
# them, and keeps the layout's hover face and no logo for the pictures it does not carry.
# shellcheck source=lib.sh
. "$(dirname "$0")/lib.sh"
e2e_begin branding

packer=$PACKER
[ -x "$packer" ] || fail "no native packer at $packer: the native build makes it"

e2e_step "a product with bgpic and btninst01 only"
product=$E2E_DIR/product
rm -rf "$product"
cp -r "$REPO_ROOT/examples/sample-product" "$product"
rm -rf "$product/branding"
mkdir -p "$product/branding" "$product/payload/bin"
cp "$FIXTURE_BIN_DIR/sleeper.exe" "$product/payload/bin/DemoApp.exe"
/usr/bin/python3 - "$product/branding" <<'PY'
import sys
from PIL import Image
Image.new("RGB", (600, 400), (200, 40, 160)).save(sys.argv[1] + "/bgpic.png")
Image.new("RGB", (150, 45), (40, 180, 60)).save(sys.argv[1] + "/btninst01.png")
PY
"$packer" pack "$product" --stub "$OUT_DIR/setup.exe" -o "$E2E_DIR/setup.exe" --quiet ||
    fail "packing failed"
dir=$WINEPREFIX/drive_c/dist
mkdir -p "$dir"
cp "$E2E_DIR/setup.exe" "$dir/setup.exe"

# The layout's own hover face at a point of the button away from its caption.
button_x=8 button_y=22
read -r hover_r hover_g hover_b < <(/usr/bin/python3 - "$REPO_ROOT/ui/pictures/button-hover.png" \
    "$button_x" "$button_y" <<'PY'
import sys
from PIL import Image
print(*Image.open(sys.argv[1]).convert("RGB").getpixel((int(sys.argv[2]), int(sys.argv[3]))))
PY
)

e2e_open_setup "$dir/setup.exe"
e2e_move 300 200
sleep 0.3
e2e_screenshot branding-install.png
e2e_pixel_at 5 5 200 40 160 "header: the product's background"
e2e_pixel_at 5 250 200 40 160 "header, lower: the product's background"
e2e_pixel_at $((74 + 48)) $((85 + 48)) 200 40 160 "logo place: no logo, the background shows"
install_x=$((11 + 202)) install_y=$((261 + 35))
e2e_pixel_at $((install_x + button_x)) $((install_y + button_y)) 40 180 60 \
    "install button: the product's normal face"

e2e_step "hovering: the layout's hover face, the product having none"
e2e_move $((install_x + button_x)) $((install_y + button_y))
sleep 0.5
e2e_pixel_at $((install_x + button_x)) $((install_y + button_y)) "$hover_r" "$hover_g" "$hover_b" \
    "install button hovered: the layout's hover face"
e2e_screenshot branding-hover.png
e2e_move 300 200
sleep 0.3
e2e_pixel_at $((install_x + button_x)) $((install_y + button_y)) 40 180 60 \
    "install button left: the product's normal face again"

wt close --exe setup.exe >/dev/null
e2e_wait_exit "$setup_pid"
e2e_pass
