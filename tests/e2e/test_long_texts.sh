#!/usr/bin/env bash
# Header texts longer than the header: a 20-character title and a description of two lines'
# worth (with "&") end with "..." inside the window, and the version follows the title's drawn
# width, whole and inside the window too. Places read through the accessible object; the
# screenshot shows the ellipses.
# shellcheck source=lib.sh
. "$(dirname "$0")/lib.sh"
e2e_begin long_texts

product=$E2E_DIR/product
rm -rf "$product"
cp -r "$REPO_ROOT/examples/sample-product" "$product"
mkdir -p "$product/payload/bin"
cp "$FIXTURE_BIN_DIR/sleeper.exe" "$product/payload/bin/DemoApp.exe"
title=一个名字非常非常非常长的示例应用程序安装包
description='研发部 R&D 出品：一个用来演示一键安装的小程序，它的说明文字长得一行放不下'
/usr/bin/python3 - "$product/config.json" "$title" "$description" <<'PY'
import json, sys
path, title, description = sys.argv[1:]
settings = json.load(open(path, encoding="utf-8-sig"))
settings.update(BigTitle=title, Description=description, Version="10.2.3456")
json.dump(settings, open(path, "w", encoding="utf-8"), ensure_ascii=False, indent=4)
PY
dir=$WINEPREFIX/drive_c/dist
mkdir -p "$dir"
"$PACKER" pack "$product" --stub "$OUT_DIR/setup.exe" -o "$dir/setup.exe" --quiet ||
    fail "packing failed"

e2e_open_setup "$dir/setup.exe"
e2e_move 300 390
sleep 0.3
e2e_screenshot long-texts.png
tree=$(wt accessible --exe setup.exe) || fail "no accessible tree"
printf '%s\n' "$tree" >"$E2E_ARTEFACTS/tree.txt"

# The location (screen L,T,W,H) of the element named NAME, as "L T W H".
place() { # NAME
    local line
    line=$(grep -m1 -F " name=$1" <<<"$tree") || fail "no element named $1"
    sed -n 's/.* location=\([-0-9]*\),\([-0-9]*\),\([-0-9]*\),\([-0-9]*\) .*/\1 \2 \3 \4/p' <<<"$line"
}
read -r tl _ tw _ < <(place "$title")
read -r vl _ vw _ < <(place 10.2.3456)
read -r dl _ dw _ < <(place "$description")
right=$((origin_x + 600 - 10))
[ $((tl + tw)) -le "$vl" ] || fail "the version ($vl) starts inside the title (ends at $((tl + tw)))"
[ $((vl - tl - tw)) -eq 10 ] || fail "the version is $((vl - tl - tw)) pixels after the title, not 10"
[ $((vl + vw)) -le "$right" ] || fail "the version ends at $((vl + vw)), past $right"
[ "$vw" -gt 60 ] || fail "the version is cut to $vw pixels"
[ $((dl + dw)) -le "$right" ] || fail "the description ends at $((dl + dw)), past $right"
[ $((tl + tw)) -lt "$right" ] || fail "the title ends at $((tl + tw)), past $right"

wt close --exe setup.exe >/dev/null
e2e_wait_exit "$setup_pid"
e2e_pass
