#!/usr/bin/env bash
# A silent installation of the sample product (out/demo/setup.exe /silent) under Wine: no
# window, the files in the default folder, the uninstaller left behind, the credentials file,
# the uninstall entry, no shortcuts, and exit code 0.
# shellcheck source=lib.sh
. "$(dirname "$0")/lib.sh"
e2e_begin silent_install

dir=$WINEPREFIX/drive_c/dist
mkdir -p "$dir"
cp "$OUT_DIR/demo/setup.exe" "$dir/setup.exe"
target=$(unix_path 'C:\Program Files\DemoApp')

# Shortcuts land in the test's HOME (the desktop) and in the prefix's user folders (the
# per-user Programs folder, where an interactive installation puts them).
shortcuts() { find "$HOME" "$WINEPREFIX/drive_c/users" -name '*.lnk' 2>/dev/null | sort; }
shortcuts_before=$(shortcuts)

e2e_step "setup.exe /silent installs and exits with 0"
code=$(e2e_exit_code "$dir/setup.exe" /silent)
assert_eq 0 "$code" "exit code of the silent installation"

e2e_step "the payload, byte for byte"
payload=$REPO_ROOT/examples/sample-product/payload
while IFS= read -r -d '' file; do
    relative=${file#"$payload"/}
    assert_file_exists "$target/$relative" "installed file"
    cmp -s "$file" "$target/$relative" || fail "$relative differs from the payload"
done < <(find "$payload" -type f -print0)
cmp -s "$BUILD_DIR/app/DemoApp.exe" "$target/bin/DemoApp.exe" ||
    fail "the main program differs from the one packed"

e2e_step "unin.exe is a byte-exact copy of setup.exe; the credentials file has its one line"
cmp -s "$dir/setup.exe" "$target/unin.exe" || fail "unin.exe is not a copy of setup.exe"
printf '{"username":\t"demo","password":\t"secret"}\r\n' >"$E2E_DIR/webset.expected"
cmp -s "$E2E_DIR/webset.expected" "$target/webset.dat" ||
    fail "webset.dat is: $(od -c "$target/webset.dat" | head -n 4)"
assert_no_file "$target/config.dat" "config.dat (none lay beside setup.exe)"

e2e_step "the uninstall entry"
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\演示应用_is1'
entry=$(wine reg query "$key" /reg:64 2>/dev/null || wine reg query "$key" 2>/dev/null || true)
assert_contains "$entry" "DisplayVersion" "uninstall entry"
assert_contains "$entry" "1.0.0" "uninstall entry"
assert_contains "$entry" 'C:\Program Files\DemoApp\unin.exe' "uninstall entry"

e2e_step "no shortcuts in silent mode; no temporary copy of the archive left"
assert_eq "$shortcuts_before" "$(shortcuts)" "the shortcuts in the prefix and HOME"
programs=$(find "$WINEPREFIX/drive_c" -type d -path '*Start Menu/Programs/DemoApp' | head -n 1)
[ -z "$programs" ] || fail "a Programs sub-folder was created: $programs"
leftovers=$(find "$WINEPREFIX/drive_c/users" "$WINEPREFIX/drive_c/windows/temp" -type f \
    -regex '.*/[Tt]emp/[0-9]+' 2>/dev/null | head -n 3)
[ -z "$leftovers" ] || fail "temporary archive copies left: $leftovers"

e2e_pass
