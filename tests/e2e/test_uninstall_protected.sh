#!/usr/bin/env bash
# The protected folders: unin.exe run from the Downloads folder empties nothing there (and
# leaves the real installation and its registration alone, since they name another folder),
# exiting 1603 since it removed no product files; a ConfigPathForUinstall of just "%appdata%"
# empties nothing in the roaming application data folder while the rest of the uninstallation
# runs and succeeds.
# shellcheck source=lib.sh
. "$(dirname "$0")/lib.sh"
e2e_begin uninstall_protected
# shellcheck source=uninstall_lib.sh
. "$(dirname "$0")/uninstall_lib.sh"

profile_win=$(wine cmd /c 'echo %USERPROFILE%' 2>/dev/null | tr -d '\r')
downloads=$(unix_path "$profile_win\\Downloads")
[ -d "$downloads" ] || fail "no Downloads folder at $downloads"

product_setup
e2e_step "a silent installation"
assert_eq 0 "$(e2e_exit_code "$dist/setup.exe" /silent)" "exit code of the installation"
check_installed silent

e2e_step "unin.exe /silent from the Downloads folder deletes nothing there"
mkdir -p "$downloads/photos"
echo jpeg >"$downloads/holiday.jpg"
echo notes >"$downloads/photos/notes.txt"
echo dot >"$downloads/.dot-file"
cp "$target/unin.exe" "$downloads/unin.exe"
cp "$target/config.dat" "$downloads/config.dat"
before=$(names_in "$downloads" | grep -vx 'unin.exe')
code=$(e2e_exit_code "$downloads/unin.exe" /silent)
assert_eq 1603 "$code" "exit code of unin.exe in Downloads (no product files removed)"
for _ in $(seq 600); do [ -e "$downloads/unin.exe" ] || break; sleep 0.1; done
assert_eq "$before" "$(names_in "$downloads" | grep -vx 'unin.exe')" "the Downloads folder"
e2e_step "the real installation and its registration are untouched"
check_installed silent

e2e_step "ConfigPathForUinstall \"%appdata%\": the roaming folder keeps its files"
product_setup '%appdata%'
# Wine marks a file whose name begins with "." hidden, and the installer does not replace a
# hidden file (that entry alone would make the reinstallation end with 1603).
rm -f "$target/.payload-dot"
assert_eq 0 "$(e2e_exit_code "$dist/setup.exe" /silent)" "exit code of the reinstallation"
mkdir -p "$appdata/Other Vendor"
echo other >"$appdata/Other Vendor/settings.ini"
echo top >"$appdata/top-level.txt"
appdata_before=$(names_in "$appdata")
temp_before=$(temp_entries "$temp")
assert_eq 0 "$(e2e_exit_code "$target/unin.exe" /silent)" "exit code of unin.exe /silent"
assert_eq "$appdata_before" "$(names_in "$appdata")" "the roaming application data folder"
wait_self_deleted "$temp_before"
assert_eq '.payload-dot' "$(names_in "$target")" "what is left in the installation folder"
[ -z "$(entry_query)" ] || fail "the uninstall entry is still there"
[ -z "$(reg_query 'HKCR\unin-e2e')" ] || fail "the protocol key is still there"

e2e_pass
