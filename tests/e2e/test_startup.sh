#!/usr/bin/env bash
# Start-up of the real setup.exe under Wine: settings from a config.dat beside it, the role
# chosen by the executable's exact name, the default target folder, silent mode keeping the
# window hidden, and the messages that end start-up.
# shellcheck source=lib.sh
. "$(dirname "$0")/lib.sh"
e2e_begin startup

dir=$WINEPREFIX/drive_c/startup
mkdir -p "$dir"
program_files=$(unix_path 'C:\Program Files')

# config.dat: UTF-8 with a mark, non-ASCII title, every required key.
write_config() { # FILE PROGRAM_DIR_NAME [MAIN_PROG]
    printf '\xef\xbb\xbf' >"$1"
    cat >>"$1" <<JSON
{
    // comments, single quotes and a trailing comma are all accepted
    "Title": "示例 安装程序",
    "Version": "2.5",
    'BigTitle': "示例",
    "Description": "描述",
    "MainProg": "${3:-Nothing.exe}",
    "MainProgPath": "",
    "ShortcutName": "示例",
    "OpenWebsiteAfterInstall": "",
    "OpenWebsiteAfterUninstall": "",
    "ProgramDirName": "$2",
    "NetID": "user-pass",
    "XPSupported": false,
}
JSON
}

# The child windows of the one top-level window of EXE, as wintool lists them.
window_of() { wt wait --exe "$1" --visible; }
page_visible() { # LISTING PAGE_INDEX -> prints 1 or 0
    sed -n "s/^ *child .* id=$((1000 + $2)) visible=\([01]\) .*/\1/p" <<<"$1" | head -n 1
}

e2e_step "install role: caption, size, install page, default folder created"
cp "$OUT_DIR/setup.exe" "$dir/setup.exe"
write_config "$dir/config.dat" "产品 Startup"
assert_no_file "$program_files/产品 Startup"
e2e_start "$dir/setup.exe"
listing=$(window_of setup.exe)
assert_contains "$listing" "title=示例 安装程序" "main window"
client=$(sed -n 's/^window .* client=\([-0-9,]*\) .*/\1/p' <<<"$listing")
IFS=, read -r l t r b <<<"$client"
assert_eq "600x400" "$((r - l))x$((b - t))" "client size"
style=$(sed -n 's/^window .* style=\(0x[0-9a-fA-F]*\) .*/\1/p' <<<"$listing")
[ $((style & 0x00C00000)) -eq 0 ] || fail "the window has a caption bar (style $style)"
assert_eq 1 "$(page_visible "$listing" 0)" "install page shown"
for page in 1 2 3 4 5; do assert_eq 0 "$(page_visible "$listing" $page)" "page $page hidden"; done
assert_contains "$listing" 'class=Edit' "path box"
assert_contains "$listing" 'text=C:\Program Files\产品 Startup' "path box"
assert_file_exists "$program_files/产品 Startup" "default target folder"
e2e_screenshot install-page.png
wt close --exe setup.exe >/dev/null
e2e_wait_exit
# Closed before installing: 1602, of which wine passes on the low 8 bits.
assert_eq $((1602 % 256)) "$E2E_STATUS" "exit status after closing"

e2e_step "named unin.exe: uninstall page, no folder created; Unin.exe installs"
cp "$OUT_DIR/setup.exe" "$dir/unin.exe"
write_config "$dir/config.dat" "Uninstall Role"
e2e_start "$dir/unin.exe"
listing=$(window_of unin.exe)
assert_eq 1 "$(page_visible "$listing" 3)" "uninstall page shown"
assert_eq 0 "$(page_visible "$listing" 0)" "install page hidden"
grep -q '^ *child .* class=Edit .* text=$' <<<"$listing" || fail "the path box is not empty"
assert_no_file "$program_files/Uninstall Role" "target folder of the uninstall role"
e2e_screenshot uninstall-page.png
wt close --exe unin.exe >/dev/null
e2e_wait_exit

mkdir -p "$dir/case"
cp "$OUT_DIR/setup.exe" "$dir/case/Unin.exe"
write_config "$dir/case/config.dat" "Capital Unin"
e2e_start "$dir/case/Unin.exe"
listing=$(window_of Unin.exe)
assert_eq 1 "$(page_visible "$listing" 0)" "Unin.exe shows the install page"
assert_file_exists "$program_files/Capital Unin"
wt close --exe Unin.exe >/dev/null
e2e_wait_exit

e2e_step "/silent keeps the window hidden; /SILENT or a second argument do not"
write_config "$dir/config.dat" "Silent Role"
e2e_start "$dir/setup.exe" /silent
listing=$(wt wait --exe setup.exe --title "示例 安装程序")
assert_contains "$listing" " visible=0 " "silent main window"
assert_file_exists "$program_files/Silent Role"
# The silent timer then starts the installation; this bare setup.exe has no archive beside
# it, so the run stops with the extraction's message while the window stays hidden.
box=$(wt msgbox --exe setup.exe)
assert_contains "$box" "app.data" "message of the silent run"
wt list --exe setup.exe | grep -q '^window .* class=TToolkitWindow .*title=示例 安装程序$' || fail "main window gone"
if wt list --exe setup.exe | grep '^window .* class=TToolkitWindow .*title=示例 安装程序$' | grep -q ' visible=1 '; then
    fail "the window was shown in silent mode"
fi
wt press --exe setup.exe >/dev/null
e2e_wait_exit
assert_eq $((1620 % 256)) "$E2E_STATUS" "exit status of a silent run without its archive"
for args in "/SILENT" "x /silent"; do
    # shellcheck disable=SC2086 # the arguments are words
    e2e_start "$dir/setup.exe" $args
    window_of setup.exe >/dev/null || fail "no visible window with arguments '$args'"
    wt close --exe setup.exe >/dev/null
    e2e_wait_exit
done

e2e_step "start-up ends running copies of the main program"
cp "$FIXTURE_BIN_DIR/sleeper.exe" "$dir/Sleeper.exe"
mkdir -p "$dir/other"
cp "$FIXTURE_BIN_DIR/sleeper.exe" "$dir/other/SLEEPER.EXE"
write_config "$dir/config.dat" "Kill Test" "sleeper.exe"
e2e_start "$dir/Sleeper.exe"
first=$E2E_LAST_PID
e2e_start "$dir/other/SLEEPER.EXE"
second=$E2E_LAST_PID
for _ in $(seq 1 100); do
    [ "$(wt pids --exe sleeper.exe | wc -l)" -ge 2 ] && break
    sleep 0.1
done
assert_eq 2 "$(wt pids --exe sleeper.exe | wc -l)" "running copies before start-up"
e2e_start "$dir/setup.exe"
window_of setup.exe >/dev/null
wt wait-exit --exe sleeper.exe --timeout 5000 >/dev/null || fail "the main program still runs"
e2e_wait_exit "$first"
e2e_wait_exit "$second"
wt close --exe setup.exe >/dev/null
e2e_wait_exit

e2e_step "no settings: one message, then the program ends"
rm -f "$dir/config.dat"
e2e_start "$dir/setup.exe"
box=$(wt msgbox --exe setup.exe)
assert_contains "$box" $'\ntext=config data is empty\n' "message"
# The default title: the file name up to its first ".", all but the first character lower case.
assert_contains "$box" $'\ntitle=setup\n' "message title"
e2e_screenshot no-settings.png
# While the message is up it is the program's only visible window: the main window is never
# shown without settings.
visible=$(wt list --exe setup.exe | grep '^window .* visible=1' || true)
assert_eq 1 "$(grep -c . <<<"$visible")" "visible windows while the message is up: $visible"
assert_contains "$visible" "class=#32770" "the visible window"
wt press --exe setup.exe >/dev/null
e2e_wait_exit
assert_eq $((1620 % 256)) "$E2E_STATUS" "exit status without settings"

e2e_step "settings that cannot be used: one message naming the problem, then the end"
# config.dat contents | part of the message
cases=(
    '{"Title": "x"}|"Version"'
    '[1, 2]|must be a JSON object'
    '{"Title" 5}|cannot be read: line 1, column'
    '{"Title": |ends inside an object'
)
for case in "${cases[@]}"; do
    IFS='|' read -r json expected <<<"$case"
    printf '%s' "$json" >"$dir/config.dat"
    e2e_start "$dir/setup.exe"
    box=$(wt msgbox --exe setup.exe)
    assert_contains "$box" "$expected" "message for $json"
    assert_contains "$box" $'\ntitle=setup\n' "message title for $json"
    wt press --exe setup.exe >/dev/null
    e2e_wait_exit
    assert_eq $((1620 % 256)) "$E2E_STATUS" "exit status for $json"
done

e2e_pass
