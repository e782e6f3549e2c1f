#!/usr/bin/env bash
# Boxes that report a system error code: the bare decimal code, the information icon, one OK
# button, under the application's title (the executable's name before the settings set one).
# The unit test program shows them in its disabled ErrorCodeBox tests; this script runs those
# one at a time, reads each box, presses OK and expects the test to pass.
# shellcheck source=lib.sh
. "$(dirname "$0")/lib.sh"
e2e_begin error_code_box
# shellcheck disable=SC2119 # e2e_wait_exit waits for the last program started

tests=$BUILD_DIR/tests/win_unit_tests.exe
exe=win_unit_tests.exe
assert_file_exists "$tests" "unit test program"

# test name | title | text
cases=(
    "TheCodeUnderTheDefaultTitle|win_unit_tests|5"
    "ANegativeCodeUnderTheApplicationTitle|Demo 安装|-2147024891"
    "AValueThatCannotBeWrittenShowsItsCode|win_unit_tests|5"
    "AnUninstallKeyThatCannotBeCreatedShowsOneBox|win_unit_tests|1021"
)
for case in "${cases[@]}"; do
    IFS='|' read -r name title text <<<"$case"
    e2e_step "$name"
    e2e_start "$tests" --gtest_also_run_disabled_tests "--gtest_filter=ErrorCodeBox.DISABLED_$name" \
        >"$E2E_ARTEFACTS/$name.out"
    out=$(wt msgbox --exe "$exe")
    assert_contains "$out" "icon=information" "box ($name)"
    assert_contains "$out" $'\n'"title=$title"$'\n' "box ($name)"
    assert_contains "$out" $'\n'"text=$text"$'\n' "box ($name)"
    assert_contains "$out" "button id=1 default=1 text=OK" "box ($name)"
    [ "$(grep -c '^button ' <<<"$out")" = 1 ] || fail "more than one button ($name):"$'\n'"$out"
    wt press --exe "$exe" >/dev/null
    # A second box would keep the program from ending.
    e2e_wait_exit
    assert_eq 0 "$E2E_STATUS" "status of the test $name (see $E2E_ARTEFACTS/$name.out)"
    assert_contains "$(cat "$E2E_ARTEFACTS/$name.out")" "[  PASSED  ] 1 test." "output of $name"
done

e2e_pass
