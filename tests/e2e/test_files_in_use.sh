#!/usr/bin/env bash
# Files in use: a reinstall while another program holds a payload file open writes the new
# copy beside it and schedules it to replace the file at the next restart, exiting 3010; an
# uninstall then schedules the held file's deletion, exiting 3010 as well.
# shellcheck source=lib.sh
. "$(dirname "$0")/lib.sh"
e2e_begin files_in_use

dist=$WINEPREFIX/drive_c/dist
mkdir -p "$dist"
cp "$OUT_DIR/demo/setup.exe" "$dist/setup.exe"
target=$(unix_path 'C:\Program Files\DemoApp')
readme=$REPO_ROOT/examples/sample-product/payload/readme.txt
session='HKLM\SYSTEM\CurrentControlSet\Control\Session Manager'
pending() { wine reg query "$session" /v PendingFileRenameOperations 2>/dev/null | tr -d '\r' || true; }

e2e_step "a first installation; then another program holds readme.txt open"
assert_eq 0 "$(e2e_exit_code "$dist/setup.exe" /silent)" "exit code of the first installation"
e2e_start "$FIXTURE_BIN_DIR/hold_until.exe" 'C:\Program Files\DemoApp\readme.txt' 'C:\dist\stop'
holder=$E2E_LAST_PID
for _ in $(seq 100); do [ -e "$dist/stop.held" ] && break; sleep 0.1; done
assert_file_exists "$dist/stop.held" "the holder's sign that it holds the file"
e2e_at_cleanup "touch '$dist/stop'"

e2e_step "a reinstallation: 3010, the new copy staged beside the file and scheduled to replace it"
assert_eq 3010 "$(e2e_exit_code "$dist/setup.exe" /silent)" "exit code of the reinstallation"
staged=$(find "$target" -maxdepth 1 -name 'readme.txt.~*' | head -n 1)
[ -n "$staged" ] || fail "no staged copy of readme.txt beside it: $(ls "$target")"
cmp -s "$readme" "$staged" || fail "the staged copy differs from the payload's readme.txt"
entries=$(pending)
assert_contains "$entries" "$(basename "$staged")" "PendingFileRenameOperations"
assert_contains "$entries" 'DemoApp\readme.txt' "PendingFileRenameOperations"

e2e_step "an uninstallation: 3010, the held file scheduled for deletion"
assert_eq 3010 "$(e2e_exit_code "$target/unin.exe" /silent)" "exit code of the uninstallation"
assert_file_exists "$target/readme.txt" "the held file (deleted at the restart)"
[ ! -e "$target/docs" ] || fail "the rest of the installation is still there"

touch "$dist/stop"
e2e_wait_exit "$holder"
e2e_pass
