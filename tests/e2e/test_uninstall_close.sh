#!/usr/bin/env bash
# Leaving the uninstaller by its close button: closed on the uninstall page it removes nothing
# and exits 1602; closed on the finish page after uninstalling, it leaves unin.exe in place and
# opens no web page.
# shellcheck source=lib.sh
. "$(dirname "$0")/lib.sh"
e2e_begin uninstall_close
# shellcheck source=uninstall_lib.sh
. "$(dirname "$0")/uninstall_lib.sh"

product_setup
e2e_step "a silent installation"
assert_eq 0 "$(e2e_exit_code "$dist/setup.exe" /silent)" "exit code of the installation"
check_installed silent
fill_leftovers

# The close button: header (571,-1), 30 x 30.
close_x=586
close_y=14

e2e_step "closed on the uninstall page: nothing is removed, exit code 1602 (66 through wine)"
e2e_start "$target/unin.exe"
e2e_window_origin unin.exe
e2e_wait_for_page unin.exe 3
sleep 0.5
e2e_click $close_x $close_y
e2e_wait_exit
assert_eq 66 "$E2E_STATUS" "exit status of unin.exe closed before uninstalling"
check_installed silent
assert_file_exists "$target/user.log" "a file of the installation folder"
assert_file_exists "$data/settings.ini" "a file of the data folder"

e2e_step "uninstalled, then closed on the finish page"
e2e_start "$target/unin.exe"
e2e_window_origin unin.exe
e2e_wait_for_page unin.exe 3
sleep 0.5
e2e_click $((11 + 198 + 87)) $((261 + 39 + 22))
e2e_wait_for_page unin.exe 5
e2e_click $close_x $close_y
e2e_wait_exit
assert_eq 0 "$E2E_STATUS" "exit status of unin.exe"
# Time enough for a deletion script and a web page handler, had they been started.
sleep 3
assert_file_exists "$target/unin.exe" "unin.exe after leaving by the close button"
assert_no_file "$opened" "record of an opened web address"
check_uninstalled

e2e_pass
