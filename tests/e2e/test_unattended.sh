#!/usr/bin/env bash
# What a deployment tool relies on: start-up that cannot get what it needs ends with 1620 and
# never hangs (a picture the window cannot take, a config.dat that cannot be read); an
# archive entry that is refused makes the run end with 1603, not 0; /dir=
# chooses the installation folder, with the uninstall entry following, and a folder that
# cannot be one is refused with 1639 before anything is written; a second run for the same
# product ends with 1618 while the first goes on; /log= writes a log of the run.
# shellcheck source=lib.sh
. "$(dirname "$0")/lib.sh"
e2e_begin unattended

dist=$WINEPREFIX/drive_c/dist
mkdir -p "$dist"
program_files=$(unix_path 'C:\Program Files')

e2e_step "a packed picture wider than the window can take: one message, then 1620"
product=$E2E_DIR/product
rm -rf "$product"
cp -r "$REPO_ROOT/examples/sample-product" "$product"
mkdir -p "$product/payload/bin"
cp "$FIXTURE_BIN_DIR/sleeper.exe" "$product/payload/bin/DemoApp.exe"
"$PACKER" pack "$product" --stub "$OUT_DIR/setup.exe" -o "$E2E_DIR/wide.exe" --quiet ||
    fail "packing failed"
# The packer refuses such a picture, so the packed one is widened in place: the header's width
# becomes 16385 (its CRC made right), the file keeps its length.
/usr/bin/python3 - "$E2E_DIR/wide.exe" "$product/branding/btninst01.png" <<'PY'
import struct, sys, zlib
exe, png = sys.argv[1], open(sys.argv[2], "rb").read()
data = open(exe, "rb").read()
at = data.find(png)
assert at > 0 and data.find(png, at + 1) < 0, "the picture is not in the program once"
ihdr = bytearray(png[12:29])  # "IHDR" and its 13 bytes
ihdr[4:8] = struct.pack(">I", 16385)
patched = png[:12] + bytes(ihdr) + struct.pack(">I", zlib.crc32(bytes(ihdr))) + png[33:]
open(exe, "wb").write(data[:at] + patched + data[at + len(png):])
PY
cp "$E2E_DIR/wide.exe" "$dist/setup.exe"
for args in "" "/silent"; do
    # shellcheck disable=SC2086 # no argument or one
    e2e_start "$dist/setup.exe" $args
    box=$(wt msgbox --exe setup.exe) || fail "no message with '$args'"
    assert_contains "$box" "text=Invalid picture data" "message with '$args'"
    visible=$(wt list --exe setup.exe | grep '^window .* visible=1' || true)
    assert_eq 1 "$(grep -c . <<<"$visible")" "visible windows with '$args': $visible"
    wt press --exe setup.exe >/dev/null
    e2e_wait_exit
    assert_eq $((1620 % 256)) "$E2E_STATUS" "exit status with '$args'"
done
assert_no_file "$program_files/DemoApp" "the target folder of a start-up that failed"

e2e_step "a config.dat that cannot be read (a folder of that name): 1620, silently too"
cp "$OUT_DIR/setup.exe" "$dist/bare.exe"
mkdir -p "$dist/config.dat"
e2e_start "$dist/bare.exe" /silent
wt msgbox --exe bare.exe >/dev/null || fail "no message"
wt press --exe bare.exe >/dev/null
e2e_wait_exit
assert_eq $((1620 % 256)) "$E2E_STATUS" "exit status"
rmdir "$dist/config.dat"
rm "$dist/bare.exe"

e2e_step "an archive entry refused (a name leading outside the folder): the rest installed, 1603"
mkdir -p "$dist/loose"
cp "$OUT_DIR/setup.exe" "$dist/loose/setup.exe"
printf '{"Title": "Loose", "Version": "1", "BigTitle": "Loose", "Description": "d",
 "MainProg": "Tool.exe", "MainProgPath": "", "ShortcutName": "Loose Skip",
 "OpenWebsiteAfterInstall": "", "OpenWebsiteAfterUninstall": "", "ProgramDirName": "Loose Skip",
 "NetID": "", "XPSupported": false}' >"$dist/loose/config.dat"
/usr/bin/python3 - "$dist/loose/app.data" "$FIXTURE_BIN_DIR/sleeper.exe" <<'PY'
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_DEFLATED) as z:
    z.write(sys.argv[2], "Tool.exe")
    z.writestr("../outside.txt", "must not be written")
    z.writestr("inside.txt", "written")
PY
code=$(e2e_exit_code "$dist/loose/setup.exe" /silent '/log=C:\dist\refused.log')
assert_eq 1603 "$code" "exit code with a refused entry"
assert_contains "$(cat "$dist/refused.log")" "outside.txt (its name leads outside the folder" \
    "the log of the run with a refused entry"
assert_file_exists "$program_files/Loose Skip/inside.txt" "the entry after the refused one"
assert_no_file "$program_files/outside.txt" "the refused entry"

e2e_step "/dir= with spaces installs there, and the uninstall entry follows"
cp "$OUT_DIR/demo/setup.exe" "$dist/setup.exe"
code=$(e2e_exit_code "$dist/setup.exe" /silent '/DIR=C:\Apps\My Product' \
    '/Log=C:\dist\setup log.txt' /unknown)
assert_eq 0 "$code" "exit code"
target=$(unix_path 'C:\Apps\My Product')
assert_file_exists "$target/readme.txt" "installed file"
cmp -s "$dist/setup.exe" "$target/unin.exe" || fail "unin.exe is not in the chosen folder"
assert_no_file "$program_files/DemoApp" "the default folder"
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\演示应用_is1'
entry=$(wine reg query "$key" /reg:64 2>/dev/null || wine reg query "$key" 2>/dev/null || true)
assert_contains "$entry" 'C:\Apps\My Product\unin.exe' "uninstall entry"
assert_contains "$entry" $'InstallLocation    REG_SZ    C:\\Apps\\My Product' "uninstall entry"

e2e_step "/log= wrote a UTF-8 log with CR LF: the command line, the target, the files, the entry, the code"
log=$dist/setup\ log.txt
assert_file_exists "$log" "the log"
assert_eq $'\xef\xbb\xbf' "$(head -c 3 "$log")" "the log's byte-order mark"
[ "$(grep -c $'\r$' "$log")" = "$(wc -l <"$log")" ] || fail "a line of the log does not end in CR LF"
text=$(tr -d '\r' <"$log")
for part in 'ignored argument: /unknown' 'target: C:\Apps\My Product' \
    'file written: C:\Apps\My Product\readme.txt' 'uninstaller written: C:\Apps\My Product\unin.exe' \
    'uninstall entry: HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\演示应用_is1' \
    'registry value InstallLocation = C:\Apps\My Product' 'exit code 0 after'; do
    assert_contains "$text" "$part" "the log"
done

e2e_step "a /dir= that cannot be an installation folder: 1639, nothing written"
for dir in 'Apps\Relative' 'C:\' 'C:\windows' 'C:\Program Files'; do
    code=$(e2e_exit_code "$dist/setup.exe" /silent "/dir=$dir")
    assert_eq 1639 "$code" "exit code for /dir=$dir"
done
assert_no_file "$program_files/DemoApp" "the default folder"
e2e_open_setup "$dist/setup.exe" '/dir=Apps\Relative'
assert_contains "$(wt list --exe setup.exe)" 'text=C:\Program Files\DemoApp' "the path box"

e2e_step "a second run for the same product ends with 1618; the first goes on"
code=$(e2e_exit_code "$dist/setup.exe" /silent)
assert_eq 1618 "$code" "exit code of a silent second run"
cp "$dist/setup.exe" "$dist/second.exe"
e2e_start "$dist/second.exe"
e2e_wait_exit
assert_eq $((1618 % 256)) "$E2E_STATUS" "exit status of an interactive second run"
e2e_page_shown setup.exe 0 || fail "the first run's window went"
wt close --exe setup.exe >/dev/null
e2e_wait_exit "$setup_pid"

e2e_pass
