#!/usr/bin/env bash
# For deployment tools: the uninstall entry of a silent installation carries
# QuietUninstallString, InstallLocation and EstimatedSize; running that command
# (unin.exe /silent) shows no window, leaves the same end state as the interactive
# uninstallation with everything but unin.exe gone when it exits, exits 0, and the script then
# deletes unin.exe and itself. The COM server (RegDllName) is unregistered, and waited for,
# while the installation's files are still there.
# shellcheck source=lib.sh
. "$(dirname "$0")/lib.sh"
e2e_begin uninstall_silent
# shellcheck source=uninstall_lib.sh
. "$(dirname "$0")/uninstall_lib.sh"

WITH_COM_SERVER=1 product_setup
e2e_step "a silent installation"
assert_eq 0 "$(e2e_exit_code "$dist/setup.exe" /silent)" "exit code of the installation"
check_installed silent

e2e_step "the values for deployment tools"
entry=$(entry_query)
quiet=$(sed -n 's/^ *QuietUninstallString *REG_SZ *//p' <<<"$entry")
assert_eq "\"$target_win\\unin.exe\" /silent" "$quiet" "QuietUninstallString"
assert_eq "$target_win" "$(sed -n 's/^ *InstallLocation *REG_SZ *//p' <<<"$entry")" "InstallLocation"
size=$(sed -n 's/^ *EstimatedSize *REG_DWORD *//p' <<<"$entry")
expected_kb=$(/usr/bin/python3 -c 'import sys, zipfile
n = sum(i.file_size for i in zipfile.ZipFile(sys.argv[1]).infolist())
print(hex((n + 1023) // 1024))' "$dist/app.data")
assert_eq "$expected_kb" "$size" "EstimatedSize (KB, rounded up)"
for name in DisplayName DisplayIcon UninstallString DisplayVersion Publisher; do
    assert_contains "$entry" "$name" "uninstall entry"
done

fill_leftovers
start_main_program
temp_before=$(temp_entries "$temp")

e2e_step "unin.exe /silent: no window, exit code 0, everything but unin.exe gone at its exit"
e2e_start "$target/unin.exe" /silent
unin_pid=$E2E_LAST_PID
while kill -0 "$unin_pid" 2>/dev/null; do
    if wt list --exe unin.exe 2>/dev/null | grep -q '^window .* visible=1 '; then
        fail "the silent uninstallation showed a window"
    fi
    sleep 0.2
done
e2e_wait_exit "$unin_pid"
assert_eq 0 "$E2E_STATUS" "exit status of unin.exe /silent"
# The state the deployment tool sees when the wait ends (the script may already have run).
e2e_step "the end state"
check_uninstalled
assert_file_exists "$com_log" "log of the COM server"
assert_contains "$(tr -d '\r' <"$com_log")" "unregister files-present" \
    "the COM server's log (unregistered before the files were deleted)"
assert_no_file "$opened" "record of an opened web address (none in silent mode)"
wait_self_deleted "$temp_before"

e2e_step "the whole exit code, read by a Windows helper, of a second silent run"
# Nothing is left to remove: a fresh uninstaller there succeeds again with 0.
cp "$dist/setup.exe" "$target/unin.exe"
cp "$dist/config.dat" "$target/config.dat"
assert_eq 0 "$(e2e_exit_code "$target/unin.exe" /silent)" "exit code of a second unin.exe /silent"

e2e_pass
