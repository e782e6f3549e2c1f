#!/usr/bin/env bash
# wintool and this library against the fixture program: a test's prefix is its own; message
# boxes are read (title, non-ASCII text, icon, buttons) and pressed so that the program gets
# the button's id; plain windows are listed with their children; waits end when they should;
# whole exit codes come back.
# shellcheck source=lib.sh
. "$(dirname "$0")/lib.sh"
e2e_begin wintool
# shellcheck disable=SC2119 # e2e_wait_exit waits for the last program started

fixture=$FIXTURE_BIN_DIR/msgbox_fixture.exe
exe=msgbox_fixture.exe
assert_file_exists "$fixture" "fixture program"

e2e_step "the registry and the user folders of this test are its own"
wine reg add 'HKCU\Software\E2eWintoolProbe' /v Probe /d clone /f >/dev/null 2>&1
wine cmd /c 'echo probe>%USERPROFILE%\Desktop\e2e-wintool-probe.txt' >/dev/null 2>&1
wineserver -w # the registry is written to disk when the server ends
grep -q 'E2eWintoolProbe' "$WINEPREFIX/user.reg" || fail "the value is not in the test's registry"
if grep -q 'E2eWintoolProbe' "$TEST_ENV_DIR/prefix/user.reg"; then
    fail "writing the test's registry changed the run's prefix"
fi
[ -n "$(find "$HOME" -name e2e-wintool-probe.txt)" ] || fail "the Desktop file is not in the test's HOME"
[ -z "$(find "$TEST_ENV_DIR/home" -name e2e-wintool-probe.txt)" ] ||
    fail "the Desktop file went to the run's HOME"

e2e_step "message boxes: read, pressed, and the program gets the button"
title='安装程序 Setup'
text=$'无法创建目录\nC:\\Program Files\\产品 "x"'
# fixture options | button to press ("" = the first) | icon seen | exit code
cases=(
    "--okcancel --icon error|Cancel|error|2"
    "--okcancel --icon warning|ok|warning|1"
    "--okcancel --icon question||question|1"
    "--icon information||information|1"
    "||none|1"
)
for case in "${cases[@]}"; do
    IFS='|' read -r options button icon code <<<"$case"
    # shellcheck disable=SC2086 # the options are words
    e2e_start "$fixture" box "$title" "$text" $options
    out=$(wt msgbox --exe "$exe")
    assert_contains "$out" "icon=$icon" "box ($case)"
    assert_contains "$out" $'\n'"title=$title"$'\n' "box ($case)"
    assert_contains "$out" $'\n''text=无法创建目录\nC:\Program Files\产品 "x"'$'\n' "box ($case)"
    assert_contains "$out" "button id=1 default=1 text=OK" "box ($case)"
    if [[ $options == *--okcancel* ]]; then
        assert_contains "$out" "button id=2 default=0 text=Cancel" "box ($case)"
    else
        assert_not_contains "$out" "text=Cancel" "box ($case)"
    fi
    if [ "$icon" = error ]; then
        e2e_screenshot msgbox.png
        assert_file_exists "$E2E_ARTEFACTS/msgbox.png"
        if wt press --exe "$exe" --button Retry >/dev/null 2>&1; then
            fail "pressing a button the box does not have succeeded"
        fi
        wt msgbox --exe "$exe" --timeout 2000 >/dev/null || fail "the box went on a missing button"
    fi
    if [ -n "$button" ]; then
        out=$(wt press --exe "$exe" --button "$button")
    else
        out=$(wt press --exe "$exe")
    fi
    assert_contains "$out" "pressed id=$code " "press ($case)"
    e2e_wait_exit
    assert_eq "$code" "$E2E_STATUS" "exit code after pressing ($case)"
done
if wt msgbox --exe "$exe" --timeout 300 >/dev/null 2>&1; then
    fail "msgbox found a box with no program running"
fi

e2e_step "a plain window and its child edit are listed; wait and wait-exit"
e2e_start "$fixture" window "普通窗口 Plain" "编辑框 edit text"
out=$(wt wait --exe "$exe" --title "普通窗口 Plain" --visible)
assert_contains "$out" "class=MsgboxFixtureWindow visible=1" "wait"
if wt wait --exe "$exe" --title-has "no such title" --timeout 300 >/dev/null 2>&1; then
    fail "wait found a window with a title nobody has"
fi
list=$(wt list --exe "$exe")
grep -q '^window .* class=MsgboxFixtureWindow visible=1 .* title=普通窗口 Plain$' <<<"$list" ||
    fail "list lacks the window; it is:"$'\n'"$list"
# The edit sits at (10,20), 250 by 24, in its parent's client area.
grep -q '^  child .* class=Edit id=101 visible=1 .* rect=10,20,260,44 text=编辑框 edit text$' \
    <<<"$list" || fail "list lacks the child edit; it is:"$'\n'"$list"
pid=$(wt pids --exe "$exe")
[[ $pid =~ ^[0-9]+$ ]] || fail "pids printed \"$pid\""
assert_contains "$list" "pid=$pid " "list"
if wt wait-exit --exe "$exe" --timeout 300 2>/dev/null; then
    fail "wait-exit returned while the window was open"
fi
wt close --exe "$exe" >/dev/null
wt wait-exit --exe "$exe"
if wt pids --exe "$exe" >/dev/null; then
    fail "the program still runs after wait-exit"
fi
e2e_wait_exit
assert_eq 0 "$E2E_STATUS" "exit code after closing the window"

e2e_step "exit codes come back whole, and arguments intact"
for code in 256 1603 3221225477; do
    assert_eq "$code" "$(e2e_exit_code "$fixture" exit "$code")" "exit code"
done
assert_eq 1603 "$(e2e_exit_code "$(win_path "$fixture")" exit 0x643)" "exit code (Windows path)"
assert_eq "$fixture" "$(unix_path "$(win_path "$fixture")")" "path round trip"
# Spaces, quotes and trailing backslashes must reach the program as given.
# shellcheck disable=SC1003 # the trailing backslash is the point
awkward_title='a "quoted" title\'
awkward_text='two  spaces\\ and \"'
e2e_start "$WINTOOL" exit-code -- "$fixture" box "$awkward_title" "$awkward_text" \
    >"$E2E_ARTEFACTS/exit-code.out"
out=$(wt press --exe "$exe")
assert_contains "$out" $'\n'"title=$awkward_title"$'\n' "box started by exit-code"
assert_contains "$out" $'\n'"text=$awkward_text"$'\n' "box started by exit-code"
e2e_wait_exit
assert_eq 0 "$E2E_STATUS" "wintool exit-code status"
assert_eq "exit-code=1" "$(cat "$E2E_ARTEFACTS/exit-code.out")" "exit-code output"

e2e_pass
