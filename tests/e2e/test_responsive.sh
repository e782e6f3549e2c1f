#!/usr/bin/env bash
# The window keeps answering through a whole run: a large product (tens of thousands of small
# files, and a large incompressible one that makes unin.exe large too) is installed by the
# install button and then removed by unin.exe's uninstall button, each watched by
# `wintool responsive`, which probes the window about every 100 ms and fails when a probe is
# not answered within 1 s (the long steps run on the window's thread and must process its
# messages as they go).
# shellcheck source=lib.sh
. "$(dirname "$0")/lib.sh"
e2e_begin responsive

packer=$PACKER
[ -x "$packer" ] || fail "no native packer at $packer: the native build makes it"

# Enough that removing them takes seconds under Wine.
small_files=${RESPONSIVE_SMALL_FILES:-20000}
large_mb=${RESPONSIVE_LARGE_MB:-100}

e2e_step "a product of $small_files small files and one of $large_mb MB"
product=$E2E_DIR/product
rm -rf "$product"
mkdir -p "$product/payload/bin"
cp "$FIXTURE_BIN_DIR/sleeper.exe" "$product/payload/bin/Tool.exe"
printf '\xef\xbb\xbf{"Title": "Big", "Version": "1.0", "BigTitle": "Big",
 "Description": "d", "MainProg": "Tool.exe", "MainProgPath": "bin\\\\",
 "ShortcutName": "Big Tool", "OpenWebsiteAfterInstall": "", "OpenWebsiteAfterUninstall": "",
 "ProgramDirName": "Big Product", "NetID": "", "XPSupported": false}' >"$product/config.json"
/usr/bin/python3 - "$product/payload" "$small_files" "$large_mb" <<'PY'
import os, sys
payload, count, large_mb = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
per_folder = 100
for i in range(count):
    folder = os.path.join(payload, "data", "f%03d" % (i // per_folder // 20), "g%03d" % (i // per_folder))
    if i % per_folder == 0:
        os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "item%05d.txt" % i), "w") as f:
        f.write("entry %d\n" % i)
with open(os.path.join(payload, "large.bin"), "wb") as f:
    for _ in range(large_mb):
        f.write(os.urandom(1 << 20))
PY
# Stored, not deflated: the test is about the window, not about packing time.
"$packer" pack --quiet --level 0 --settings "$product/config.json" --payload "$product/payload" \
    --stub "$OUT_DIR/setup.exe" -o "$E2E_DIR/setup.exe" || fail "packing failed"
rm -rf "$product"
dist=$WINEPREFIX/drive_c/dist
mkdir -p "$dist"
mv "$E2E_DIR/setup.exe" "$dist/setup.exe"
target=$(unix_path 'C:\Program Files\Big Product')

# Starts `wintool responsive` on EXE's window in the background and waits until it watches;
# its output goes to the artefact file NAME.txt, its pid into watch_pid.
start_watch() { # EXE NAME
    local out=$E2E_ARTEFACTS/$2.txt
    e2e_start "$WINTOOL" responsive --exe "$1" --timeout 300000 >"$out" 2>&1
    watch_pid=$E2E_LAST_PID
    for _ in $(seq 1 300); do
        grep -q '^watching ' "$out" && return 0
        kill -0 "$watch_pid" 2>/dev/null || break
        sleep 0.05
    done
    fail "wintool responsive did not start watching $1: $(cat "$out")"
}

# Waits for the watch to end (its program has ended) and checks what it saw.
check_watch() { # NAME
    local out=$E2E_ARTEFACTS/$1.txt report probes
    e2e_wait_exit "$watch_pid"
    report=$(tr -d '\r' <"$out")
    e2e_log "$1: $(grep '^responsive ' <<<"$report" || true)"
    [ "$E2E_STATUS" = 0 ] || fail "the window did not keep answering ($1, status $E2E_STATUS):"$'\n'"$report"
    assert_contains "$report" " unanswered=0" "the watch of $1"
    probes=$(sed -n 's/^responsive .* probes=\([0-9]*\) .*/\1/p' <<<"$report")
    # The run takes seconds: a watch of a few probes saw nothing of it.
    [ "${probes:-0}" -ge 20 ] || fail "only ${probes:-0} probes during $1:"$'\n'"$report"
}

e2e_step "the installation, watched from the install button to the finish page"
e2e_open_setup "$dist/setup.exe"
start_watch setup.exe install-watch
e2e_click $((11 + 202 + 80)) $((261 + 35 + 22))
e2e_wait_for_page setup.exe 2
wt close --exe setup.exe >/dev/null
e2e_wait_exit "$setup_pid"
check_watch install-watch
assert_file_exists "$target/bin/Tool.exe" "main program"
assert_eq "$small_files" "$(find "$target/data" -type f | wc -l)" "small files installed"
cmp -s "$dist/setup.exe" "$target/unin.exe" || fail "unin.exe is not a byte-exact copy of setup.exe"

e2e_step "the uninstallation, watched from the uninstall button to its finish page"
e2e_start "$target/unin.exe"
unin_pid=$E2E_LAST_PID
e2e_window_origin unin.exe
e2e_wait_for_page unin.exe 3
start_watch unin.exe uninstall-watch
e2e_click $((11 + 198 + 87)) $((261 + 39 + 22))
e2e_wait_for_page unin.exe 5
# Left by the close button, unin.exe stays and nothing else runs.
wt close --exe unin.exe >/dev/null
e2e_wait_exit "$unin_pid"
check_watch uninstall-watch
assert_eq "unin.exe" "$(ls -A "$target")" "what is left in the installation folder"

e2e_pass
