#!/usr/bin/env bash
# The product loaded from "config.dat" and "app.data" beside the bare out/setup.exe, installed
# silently twice over the same folder: every optional step of the registration that can be
# observed (settings copy, credentials file, URL protocol, post-install script) and a second
# run that replaces everything without a question.
# shellcheck source=lib.sh
. "$(dirname "$0")/lib.sh"
e2e_begin loose_install

dir=$WINEPREFIX/drive_c/loose
mkdir -p "$dir"
cp "$OUT_DIR/setup.exe" "$dir/setup.exe"
printf '\xef\xbb\xbf{"Title": "Loose", "Version": "3.1", "BigTitle": "Loose",
 "Description": "d", "MainProg": "Tool.exe", "MainProgPath": "bin\\\\",
 "ShortcutName": "Loose Tool", "OpenWebsiteAfterInstall": "", "OpenWebsiteAfterUninstall": "",
 "ProgramDirName": "Loose Product", "NetID": "ann-pa\\"ss", "XPSupported": false,
 "ProtocalRootKeyName": "loose-e2e", "Protocalname": "Loose protocol",
 "AfterInstBat1": "after.bat"}' >"$dir/config.dat"

# The archive: the main program, a script that leaves a marker, a nested file.
make_archive() { # VERSION_TEXT
    /usr/bin/python3 - "$dir/app.data" "$FIXTURE_BIN_DIR/sleeper.exe" "$1" <<'PY'
import sys, zipfile
out, exe, text = sys.argv[1:4]
with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as z:
    z.write(exe, "bin/Tool.exe")
    z.writestr("after.bat", '@echo off\r\necho ran> "%~dp0marker.txt"\r\n')
    z.writestr("data/version.txt", text)
PY
}
target=$(unix_path 'C:\Program Files\Loose Product')

for round in 1 2; do
    e2e_step "silent installation, round $round"
    make_archive "round $round"
    rm -f "$target/marker.txt"
    code=$(e2e_exit_code "$dir/setup.exe" /silent)
    assert_eq 0 "$code" "exit code, round $round"
    assert_eq "round $round" "$(cat "$target/data/version.txt")" "replaced file, round $round"
    cmp -s "$FIXTURE_BIN_DIR/sleeper.exe" "$target/bin/Tool.exe" || fail "Tool.exe differs"
    cmp -s "$dir/config.dat" "$target/config.dat" || fail "config.dat was not copied"
    cmp -s "$dir/setup.exe" "$target/unin.exe" || fail "unin.exe is not a copy of setup.exe"
    # The credentials file: a valid JSON line even with a quote in the password.
    printf '{"username":\t"ann","password":\t"pa\\"ss"}\r\n' >"$E2E_DIR/webset.expected"
    cmp -s "$E2E_DIR/webset.expected" "$target/webset.dat" ||
        fail "webset.dat is: $(od -c "$target/webset.dat" | head -n 3)"
    # The post-install script runs on its own; give it a moment.
    for _ in $(seq 1 100); do [ -f "$target/marker.txt" ] && break; sleep 0.1; done
    assert_file_exists "$target/marker.txt" "marker of the post-install script"
done

e2e_step "the URL protocol and the uninstall entry"
protocol=$(wine reg query 'HKCR\loose-e2e' /s 2>/dev/null | tr -d '\r')
assert_contains "$protocol" "Loose protocol" "protocol key"
assert_contains "$protocol" 'URL Protocol' "protocol key"
assert_contains "$protocol" '"C:\Program Files\Loose Product\bin\Tool.exe" "%1"' "protocol command"
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Loose Tool_is1'
entry=$({ wine reg query "$key" /reg:64 2>/dev/null || wine reg query "$key" 2>/dev/null; } | tr -d '\r')
assert_contains "$entry" "3.1" "uninstall entry"

e2e_pass
