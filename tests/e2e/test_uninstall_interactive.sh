#!/usr/bin/env bash
# An interactive installation; a copy of unin.exe run from the Downloads folder leaves its
# shortcuts (they point into the installation folder); then unin.exe from the installation
# folder clicked through under Xvfb: the uninstall button ends the running main program,
# removes both shortcuts to it, empties the installation folder (dot-named entries kept) and
# the data folder, and removes the uninstall entry, the "Uninstall" shortcut with its Programs
# sub-folder and the protocol key; the exit button opens the web address with "[Version]"
# replaced, and once the program has exited the script deletes unin.exe and itself.
# shellcheck source=lib.sh
. "$(dirname "$0")/lib.sh"
e2e_begin uninstall_interactive
# shellcheck source=uninstall_lib.sh
. "$(dirname "$0")/uninstall_lib.sh"

product_setup

e2e_step "an interactive installation (install button, then the finish button)"
e2e_open_setup "$dist/setup.exe"
e2e_click $((11 + 202 + 80)) $((261 + 35 + 22))
e2e_wait_for_page setup.exe 2
# The finish button starts the main program: the uninstaller must end it.
e2e_click $((11 + 201 + 87)) $((261 + 50 + 22))
e2e_wait_exit "$setup_pid"
for _ in $(seq 1 100); do
    wt pids --exe Tool.exe >/dev/null 2>&1 && break
    sleep 0.1
done
wt pids --exe Tool.exe >/dev/null || fail "the finish button did not start the main program"
check_installed interactive

e2e_step "a copy of unin.exe in Downloads leaves the installation's shortcuts"
profile_win=$(wine cmd /c 'echo %USERPROFILE%' 2>/dev/null | tr -d '\r')
downloads=$(unix_path "$profile_win\\Downloads")
[ -d "$downloads" ] || fail "no Downloads folder at $downloads"
cp "$target/unin.exe" "$downloads/unin.exe"
cp "$target/config.dat" "$downloads/config.dat"
assert_eq 1603 "$(e2e_exit_code "$downloads/unin.exe" /silent)" \
    "exit code of the stray copy (no product files removed)"
for _ in $(seq 600); do [ -e "$downloads/unin.exe" ] || break; sleep 0.1; done
rm -f "$downloads/config.dat"
check_installed interactive
# The copy ended the main program, which it finds by name; the real uninstaller must end it.
start_main_program
fill_leftovers
temp_before=$(temp_entries "$temp")

e2e_step "unin.exe opens on the uninstall page"
e2e_start "$target/unin.exe"
unin_pid=$E2E_LAST_PID
e2e_window_origin unin.exe
e2e_wait_for_page unin.exe 3
sleep 0.5
e2e_screenshot uninstall-page.png

e2e_step "the uninstall button (page 198,39) removes the product"
e2e_click $((11 + 198 + 87)) $((261 + 39 + 22))
e2e_wait_for_page unin.exe 5
e2e_screenshot uninstall-finish-page.png
check_uninstalled
assert_file_exists "$target/unin.exe" "the running uninstaller"
assert_no_file "$opened" "a web page opened before the exit button"

e2e_step "the exit button (page 201,48) opens the web page and ends the uninstaller"
e2e_click $((11 + 201 + 87)) $((261 + 48 + 22))
e2e_wait_exit "$unin_pid"
assert_eq 0 "$E2E_STATUS" "exit status of unin.exe"
for _ in $(seq 1 100); do [ -s "$opened" ] && break; sleep 0.1; done
assert_file_exists "$opened" "record of the opened web address"
assert_eq "e2ebye://bye/?v=2.5&again=2.5" "$(tr -d '\r' <"$opened")" "the opened web address"

e2e_step "the script deletes unin.exe and then itself"
wait_self_deleted "$temp_before"
check_uninstalled

e2e_pass
