#!/usr/bin/env bash
# What the elevated installer trusts once it runs: its own program file is held against
# change (a Windows process can neither rename nor overwrite a running setup.exe), the
# embedded archive is read in place (no copy of it in the temporary folder, so a temporary
# folder that cannot be used changes nothing), and unin.exe is the program that ran.
# shellcheck source=lib.sh
. "$(dirname "$0")/lib.sh"
e2e_begin elevated_trust

dir=$WINEPREFIX/drive_c/dist
mkdir -p "$dir"
cp "$OUT_DIR/demo/setup.exe" "$dir/setup.exe"
original=$(sha256sum <"$dir/setup.exe")

e2e_step "while setup.exe runs, another program can neither rename nor overwrite it"
e2e_open_setup "$dir/setup.exe"
# Windows programs: the sharing rules hold between Windows processes.
wine cmd /c 'ren C:\dist\setup.exe renamed.exe' >/dev/null 2>&1 || true
assert_file_exists "$dir/setup.exe" "setup.exe after a rename was tried"
assert_no_file "$dir/renamed.exe" "the renamed setup.exe"
wine cmd /c 'copy /y C:\windows\system32\notepad.exe C:\dist\setup.exe' >/dev/null 2>&1 || true
assert_eq "$original" "$(sha256sum <"$dir/setup.exe")" "setup.exe after an overwrite was tried"
wt close --exe setup.exe >/dev/null
e2e_wait_exit "$setup_pid"
wine cmd /c 'ren C:\dist\setup.exe renamed.exe' >/dev/null 2>&1 || true
assert_file_exists "$dir/renamed.exe" "once setup.exe has ended it can be renamed"
mv "$dir/renamed.exe" "$dir/setup.exe"

e2e_step "no copy of the archive in the temporary folder: a temporary folder that does not exist changes nothing"
for name in TEMP TMP; do
    wine reg add 'HKCU\Environment' /v "$name" /d 'C:\no-such-folder' /f >/dev/null 2>&1
done
code=$(e2e_exit_code "$dir/setup.exe" /silent)
assert_eq 0 "$code" "exit code of the silent installation"
target=$(unix_path 'C:\Program Files\DemoApp')
cmp -s "$dir/setup.exe" "$target/unin.exe" || fail "unin.exe is not a byte-exact copy of setup.exe"
cmp -s "$REPO_ROOT/examples/sample-product/payload/readme.txt" "$target/readme.txt" ||
    fail "readme.txt was not installed byte for byte"

e2e_pass
