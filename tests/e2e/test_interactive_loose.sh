#!/usr/bin/env bash
# An interactive installation of a product loaded from "config.dat" and "app.data" beside the
# bare out/setup.exe, driven by pointer clicks: the shortcuts and the uninstaller, the COM
# server registered by regsvr32, and the finish button starting the main program from its own
# folder and opening the web address with "[Version]" replaced.
# shellcheck source=lib.sh
. "$(dirname "$0")/lib.sh"
e2e_begin interactive_loose

dir=$WINEPREFIX/drive_c/loose-ui
mkdir -p "$dir"
cp "$OUT_DIR/setup.exe" "$dir/setup.exe"
printf '{"Title": "Loose UI", "Version": "4.2", "BigTitle": "Loose UI", "Description": "d",
 "MainProg": "Tool.exe", "MainProgPath": "bin\\\\", "ShortcutName": "Loose UI Tool",
 "OpenWebsiteAfterInstall": "http://example.test/welcome?v=[Version]&again=[VERSION]",
 "OpenWebsiteAfterUninstall": "", "ProgramDirName": "Loose UI", "NetID": "",
 "XPSupported": false, "RegDllName": "com\\\\marker.dll"}' >"$dir/config.dat"
/usr/bin/python3 - "$dir/app.data" "$FIXTURE_BIN_DIR" <<'PY'
import sys, zipfile
out, bin_dir = sys.argv[1:3]
with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as z:
    z.write(bin_dir + "/start_recorder.exe", "bin/Tool.exe")
    z.write(bin_dir + "/com_marker.dll", "com/marker.dll")
PY
target=$(unix_path 'C:\Program Files\Loose UI')

# Web addresses go to a recorder instead of a browser; it and the main program both log how
# they were started.
mkdir -p "$WINEPREFIX/drive_c/handler"
cp "$FIXTURE_BIN_DIR/start_recorder.exe" "$WINEPREFIX/drive_c/handler/url_handler.exe"
for view in 32 64; do
    wine reg add 'HKCR\http\shell\open\command' /ve /f /reg:$view \
        /d '"C:\handler\url_handler.exe" "%1"' >/dev/null 2>&1
done
export START_RECORDER_LOG='C:\handler\started.log'
log=$WINEPREFIX/drive_c/handler/started.log


e2e_step "the install button runs the installation to the finish page"
e2e_open_setup "$dir/setup.exe"
e2e_click $((11 + 202 + 80)) $((261 + 35 + 22))
e2e_wait_for_page setup.exe 2
cmp -s "$dir/setup.exe" "$target/unin.exe" || fail "unin.exe is not a byte-exact copy of setup.exe"
cmp -s "$dir/config.dat" "$target/config.dat" || fail "config.dat was not copied"

e2e_step "shortcuts to the main program and the uninstaller"
assert_file_exists "$HOME/Loose UI Tool.lnk" "desktop shortcut"
programs=$(find "$WINEPREFIX/drive_c" -type d -path '*Start Menu/Programs/Loose UI' | head -n 1)
[ -n "$programs" ] || fail "no Programs sub-folder 'Loose UI'"
assert_file_exists "$programs/Loose UI Tool.lnk" "Programs shortcut"
assert_file_exists "$programs/Uninstall.lnk" "Uninstall shortcut"

e2e_step "regsvr32 registered the COM server (it runs on its own; give it a moment)"
for _ in $(seq 1 100); do [ -f "$target/com/marker.dll.registered" ] && break; sleep 0.1; done
assert_file_exists "$target/com/marker.dll.registered" "DllRegisterServer's marker"

e2e_step "the finish button starts the main program and opens the web address"
e2e_click $((11 + 201 + 87)) $((261 + 50 + 22))
e2e_wait_exit "$setup_pid"
assert_eq 0 "$E2E_STATUS" "exit status"
for _ in $(seq 1 100); do [ "$(wc -l <"$log" 2>/dev/null || echo 0)" -ge 2 ] && break; sleep 0.1; done
started=$(tr -d '\r' <"$log" 2>/dev/null || true)
assert_contains "$started" 'cwd=C:\Program Files\Loose UI\bin args=' "the main program, from its folder"
assert_contains "$started" 'args="http://example.test/welcome?v=4.2&again=4.2"' "the web address"

e2e_pass
