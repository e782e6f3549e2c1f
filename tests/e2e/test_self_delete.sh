#!/usr/bin/env bash
# The uninstaller's last act: a program that calls DeleteSelf is gone once it has ended, and so
# is the script that deleted it; nothing is left in the temporary directory. The program is a
# copy of the unit test program, whose disabled DeleteSelfTest does the call.
# shellcheck source=lib.sh
. "$(dirname "$0")/lib.sh"
e2e_begin self_delete
# shellcheck disable=SC2119 # e2e_wait_exit waits for the last program started

tests=$BUILD_DIR/tests/win_unit_tests.exe
assert_file_exists "$tests" "unit test program"

folder="$HOME/self delete"
mkdir -p "$folder"
copy=$folder/unin.exe
cp "$tests" "$copy"
temp=$(unix_path "$(wine cmd /c 'echo %TEMP%' | tr -d '\r')")
[ -d "$temp" ] || fail "no temporary directory at $temp"
before=$(temp_entries "$temp")

e2e_step "the copy deletes itself"
e2e_start "$copy" --gtest_also_run_disabled_tests \
    --gtest_filter=DeleteSelfTest.DISABLED_TheRunningProgramGoesAfterItEnds \
    >"$E2E_ARTEFACTS/self-delete.out"
e2e_wait_exit
assert_eq 0 "$E2E_STATUS" "status of the copy (see $E2E_ARTEFACTS/self-delete.out)"

# The script retries until the file is gone; a minute is a safety net, not a measure of speed.
for _ in $(seq 600); do
    if [ ! -e "$copy" ] && [ "$(temp_entries "$temp")" = "$before" ]; then
        break
    fi
    sleep 0.1
done
assert_no_file "$copy" "the program that deleted itself"
assert_eq "$before" "$(temp_entries "$temp")" "the temporary directory's contents"
[ -d "$folder" ] || fail "the program's folder went too"

e2e_pass
