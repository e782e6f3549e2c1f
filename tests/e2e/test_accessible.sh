#!/usr/bin/env bash
# The window as a screen reader reads it (MSAA, through wintool accessible): on each page, the
# buttons, labels, path box and progress bar a user can see, in reading order, with their
# roles, names, states and values; locations that match the layout; the keyboard focus; and
# buttons pressed through their default action: the custom-install arrow, the install button,
# the close button on the finish page and the uninstall button.
# shellcheck source=lib.sh
. "$(dirname "$0")/lib.sh"
e2e_begin accessible

dir=$WINEPREFIX/drive_c/dist
mkdir -p "$dir"
cp "$OUT_DIR/demo/setup.exe" "$dir/setup.exe"
target=$(unix_path 'C:\Program Files\DemoApp')

# The accessible tree of EXE's window, kept as an artefact; with --button, pressed too.
tree() { # EXE NAME [ARGS...]
    local exe=$1 name=$2 out
    shift 2
    out=$(wt accessible --exe "$exe" "$@") || fail "wintool accessible --exe $exe $* failed"
    printf '%s\n' "$out" >"$E2E_ARTEFACTS/$name.txt"
    printf '%s\n' "$out"
}

# "ROLE NAME" of every child, one a line, in the order a screen reader reads them.
roles_and_names() {
    sed -n 's/^  element id=[0-9]* role=\([^ ]*\) .* name=\(.*\)$/\1 \2/p'
}

# The element line of the child named NAME (the first such).
element() { # TREE NAME
    printf '%s\n' "$1" | grep -m1 " name=$2\$" || fail "no element named $2 in:"$'\n'"$1"
}

field() { # LINE KEY
    sed -n "s/.* $2=\\([^ ]*\\).*/\\1/p" <<<"$1"
}

# Fails unless the element named NAME has a state word in its states list, or (with !) not.
assert_state() { # TREE NAME [!]STATE
    local states
    states=,$(field "$(element "$1" "$2")" states),
    case $3 in
    !*) [[ $states != *",${3#!},"* ]] || fail "$2 is ${3#!}: states $states" ;;
    *) [[ $states == *",$3,"* ]] || fail "$2 is not $3: states $states" ;;
    esac
}

# Header: close button, big title and version (one row), description; the demo's settings.
header=$'pushbutton 关闭\nstatictext 示例应用\nstatictext 1.0.0\nstatictext 一个用来演示一键安装的小程序'

e2e_step "install page: header, install button, network id, the arrow and its label"
e2e_open_setup "$dir/setup.exe"
t=$(tree setup.exe install-page)
assert_eq "$header"$'\npushbutton 一键安装\nstatictext ID:\nstatictext demo\npushbutton 自定义安装\nstatictext 自定义安装' \
    "$(roles_and_names <<<"$t")" "install page's elements"
assert_contains "$t" "role=client" "the window's own object"
assert_not_contains "$t" "name=安装路径" "install page (the path box lies below the window)"
for name in 关闭 一键安装 自定义安装; do
    assert_eq Press "$(field "$(element "$t" "$name")" action)" "default action of $name"
    assert_state "$t" "$name" focusable
    assert_state "$t" "$name" '!unavailable'
done
# Where the layout puts the install button (page 202,35 in the container at 11,261), and a
# hit test at its middle finds it.
line=$(element "$t" 一键安装)
assert_eq "$((origin_x + 11 + 202)),$((origin_y + 261 + 35)),165,45" "$(field "$line" location)" \
    "location of the install button"
assert_eq "$(sed -n 's/.* id=\([0-9]*\) .*/\1/p' <<<"$line")" "$(field "$line" hit)" \
    "hit test at the install button's middle"

e2e_step "the keyboard focus: Tab moves it to the install button, and says so"
e2e_click 300 390
events=$E2E_ARTEFACTS/focus-events.txt
wt accessible --exe setup.exe --events 3000 >"$events" &
listener=$!
# Its first line is written once it watches the window's events.
for _ in $(seq 1 100); do
    grep -q '^accessible ' "$events" && break
    sleep 0.1
done
xdotool key Tab
wait "$listener" || fail "wintool accessible --events failed"
t=$(tree setup.exe install-page-focus)
assert_state "$t" 一键安装 focused
assert_state "$t" 自定义安装 '!focused'
install_id=$(sed -n 's/.* id=\([0-9]*\) .*/\1/p' <<<"$(element "$t" 一键安装)")
assert_eq "$install_id" "$(field "$(head -n 1 <<<"$t")" focus)" "the object's focus"
assert_contains "$(cat "$events")" "event focus child=$install_id" "events while Tab was pressed"

e2e_step "the arrow's default action opens the custom-install area: path box and 更改目录"
t=$(tree setup.exe press-arrow --button 自定义安装)
assert_contains "$t" "pressed id=" "pressing the arrow"
for _ in $(seq 1 50); do
    t=$(tree setup.exe install-page-open)
    [[ $t != *"role=text "* ]] || break
    sleep 0.1
done
assert_eq $'statictext 安装路径\ntext 安装路径\npushbutton 更改目录' "$(roles_and_names <<<"$t" | tail -n 3)" \
    "the custom-install row"
path_line=$(grep -m1 ' role=text ' <<<"$t")
assert_eq 'C:\Program%20Files\DemoApp' "$(field "$path_line" value)" "the path box's value"
assert_state "$t" 更改目录 '!unavailable'

e2e_step "the install button's default action runs the installation: progress page"
t=$(tree setup.exe press-install --button 一键安装 --events 1500)
# The page container's change tells screen readers to read the window again.
assert_contains "$t" "event reorder child=self" "events after pressing the install button"
e2e_wait_for_page setup.exe 1
t=$(tree setup.exe progress-page)
if [[ $t == *"role=progressbar"* ]]; then
    assert_contains "$t" "name=软件正在安装，请耐心等候......" "progress page"
    # A percent sign in a value reads %25.
    value=$(field "$(grep -m1 ' role=progressbar ' <<<"$t")" value)
    [[ $value =~ ^[0-9]+%25$ ]] || fail "progress bar value \"$value\""
    # During the run the close button and 更改目录 cannot be pressed.
    assert_state "$t" 关闭 unavailable
    assert_state "$t" 更改目录 unavailable
else
    e2e_log "the run was over before its progress page could be read"
fi

e2e_step "finish page: 立即启动, the close button available again"
e2e_wait_for_page setup.exe 2
t=$(tree setup.exe finish-page)
assert_eq "$header"$'\nstatictext 恭喜！软件已安装成功\npushbutton 立即启动\nstatictext 安装路径\ntext 安装路径\npushbutton 更改目录' \
    "$(roles_and_names <<<"$t")" "finish page's elements"
assert_state "$t" 关闭 '!unavailable'
assert_not_contains "$t" "role=progressbar" "finish page"

e2e_step "the close button's default action ends setup"
tree setup.exe press-close --button 关闭 >/dev/null
e2e_wait_exit "$setup_pid"
assert_file_exists "$target/unin.exe" "the uninstaller"

e2e_step "uninstall page, then its button's default action: the uninstall finish page"
e2e_start "$target/unin.exe"
unin_pid=$E2E_LAST_PID
e2e_wait_for_page unin.exe 3
t=$(tree unin.exe uninstall-page)
assert_eq "$header"$'\npushbutton 卸载软件' "$(roles_and_names <<<"$t")" "uninstall page's elements"
tree unin.exe press-uninstall --button 卸载软件 >/dev/null
e2e_wait_for_page unin.exe 5
t=$(tree unin.exe uninstall-finish-page)
assert_eq "$header"$'\nstatictext 软件已经卸载完成！如果关于软件使用有任何问题欢迎再与我们联系！\npushbutton 退出' \
    "$(roles_and_names <<<"$t")" "uninstall finish page's elements"
assert_no_file "$target/bin/DemoApp.exe" "the main program after uninstalling"
wt close --exe unin.exe >/dev/null
e2e_wait_exit "$unin_pid"

e2e_pass
