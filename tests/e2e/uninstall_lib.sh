# shellcheck shell=bash disable=SC2034 # the variables are for the scripts
# What the uninstallation tests share, sourced after lib.sh and e2e_begin: a product with every
# registration that the uninstaller removes, the window helpers, and the checks of what an
# installation leaves and an uninstallation removes.
#
#   product_setup [CONFIG_PATH]   writes the bare setup.exe, config.dat and app.data into
#                              C:\dist (ConfigPathForUinstall defaults to "%appdata%\Uninst Data")
#                              and registers the scheme e2ebye:, whose handler records what it
#                              is given in $opened; with WITH_COM_SERVER=1 the payload carries
#                              com_server.dll as RegDllName (it logs to $com_log)
#   fill_leftovers             adds what a user leaves: files in the data folder and in the
#                              installation folder, dot-named ones among them
#   start_main_program         starts the installed main program (Tool.exe, a sleeper)
#   check_installed MODE       the installation's artefacts (MODE interactive or silent)
#   check_uninstalled          everything but the uninstaller itself is gone
#   wait_self_deleted          waits until the script has deleted unin.exe and itself

dist=$WINEPREFIX/drive_c/dist
target_win='C:\Program Files\Uninst Product'
target=$(unix_path "$target_win")
entry_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Uninst Tool_is1'
opened=$WINEPREFIX/drive_c/opened.txt
appdata_win=$(wine cmd /c 'echo %APPDATA%' 2>/dev/null | tr -d '\r')
appdata=$(unix_path "$appdata_win")
data="$appdata/Uninst Data"
temp=$(unix_path "$(wine cmd /c 'echo %TEMP%' 2>/dev/null | tr -d '\r')")
desktop_link="$HOME/Uninst Tool.lnk"
com_log=$WINEPREFIX/drive_c/com_server.log

product_setup() { # [CONFIG_PATH]
    local config_path=${1:-%appdata%\\\\Uninst Data}
    mkdir -p "$dist" "$WINEPREFIX/drive_c/fixtures"
    cp "$OUT_DIR/setup.exe" "$dist/setup.exe"
    cp "$FIXTURE_BIN_DIR/arg_recorder.exe" "$WINEPREFIX/drive_c/fixtures/"
    printf '\xef\xbb\xbf{"Title": "Uninst", "Version": "2.5", "BigTitle": "Uninst",
 "Description": "d", "MainProg": "Tool.exe", "MainProgPath": "bin\\\\",
 "ShortcutName": "Uninst Tool", "OpenWebsiteAfterInstall": "",
 "OpenWebsiteAfterUninstall": "e2ebye://bye/?v=[Version]&again=[VERSION]",
 "ProgramDirName": "Uninst Product", "NetID": "ann-pw", "XPSupported": false,
 "ConfigPathForUinstall": "%s",
 "RegDllName": "%s",
 "ProtocalRootKeyName": "unin-e2e", "Protocalname": "Unin protocol"}' "$config_path" \
        "$([ "${WITH_COM_SERVER:-0}" = 1 ] && echo com_server.dll)" >"$dist/config.dat"
    local dll=""
    [ "${WITH_COM_SERVER:-0}" != 1 ] || dll=$FIXTURE_BIN_DIR/com_server.dll
    /usr/bin/python3 - "$dist/app.data" "$FIXTURE_BIN_DIR/sleeper.exe" "$dll" <<'PY'
import sys, zipfile
out, exe, dll = sys.argv[1:4]
with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as z:
    z.write(exe, "bin/Tool.exe")
    if dll:
        z.write(dll, "com_server.dll")
    z.writestr("readme.txt", "read me\r\n" * 300)
    z.writestr("data/deep/nested.txt", "nested\r\n")
    z.writestr(".payload-dot", "kept: its name begins with a dot\r\n")
PY
    # The handler of the web address: it records the address it is given.
    local command='"C:\fixtures\arg_recorder.exe" "C:\opened.txt" "%1"' view
    for view in 64 32; do
        wine reg add 'HKCR\e2ebye' /ve /d 'URL:e2ebye' /f /reg:$view >/dev/null 2>&1
        wine reg add 'HKCR\e2ebye' /v 'URL Protocol' /d '' /f /reg:$view >/dev/null 2>&1
        wine reg add 'HKCR\e2ebye\shell\open\command' /ve /d "$command" /f /reg:$view \
            >/dev/null 2>&1
    done
    rm -f "$opened" "$com_log"
}

fill_leftovers() {
    mkdir -p "$data/cache/deeper" "$data/.keep-dir"
    echo settings >"$data/settings.ini"
    echo cached >"$data/cache/deeper/blob.bin"
    echo kept >"$data/.keep-dir/inside.txt"
    echo kept >"$data/.dot-file"
    echo log >"$target/user.log"
    mkdir -p "$target/.user-dot-dir"
    echo kept >"$target/.user-dot-dir/inside.txt"
}

start_main_program() {
    e2e_start "$target/bin/Tool.exe"
    main_pid=$E2E_LAST_PID
    for _ in $(seq 1 100); do
        wt pids --exe Tool.exe >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    fail "the main program did not start"
}

# The key's listing; "" when it does not exist (reg then prints its message on stdout).
reg_query() { # KEY [ARGS...]
    local out
    out=$(wine reg query "$@" 2>/dev/null) || return 0
    printf '%s\n' "$out" | tr -d '\r'
}

# The uninstall entry, from whichever registry view holds it: the 32-bit one for the 32-bit
# build (WOW64), the 64-bit one for the 64-bit build.
entry_query() {
    local out
    out=$(reg_query "$entry_key" /reg:32)
    [ -n "$out" ] || out=$(reg_query "$entry_key" /reg:64)
    printf '%s' "$out"
}

# The Start menu's Programs folder of the user.
programs_dir() {
    local dir
    dir=$(find "$WINEPREFIX/drive_c/users" -type d -path '*/Start Menu/Programs' | head -n 1)
    [ -n "$dir" ] || fail "no Start menu Programs folder"
    printf '%s\n' "$dir"
}

check_installed() { # interactive|silent
    assert_file_exists "$target/bin/Tool.exe" "main program"
    assert_file_exists "$target/unin.exe" "uninstaller"
    assert_file_exists "$target/config.dat" "settings copy"
    assert_file_exists "$target/webset.dat" "credentials file"
    local entry protocol
    entry=$(entry_query)
    assert_contains "$entry" "$target_win\\unin.exe" "uninstall entry"
    protocol=$(reg_query 'HKCR\unin-e2e' /s)
    assert_contains "$protocol" "\"$target_win\\bin\\Tool.exe\" \"%1\"" "protocol key"
    if [ "$1" = interactive ]; then
        assert_file_exists "$desktop_link" "desktop shortcut"
        assert_file_exists "$(programs_dir)/Uninst Product/Uninst Tool.lnk" "Programs shortcut"
        assert_file_exists "$(programs_dir)/Uninst Product/Uninstall.lnk" "Uninstall shortcut"
    fi
}

# The names in a folder, one a line, sorted (dot-named ones included).
names_in() { # DIR
    (cd "$1" && find . -mindepth 1 | sed 's|^\./||' | LC_ALL=C sort)
}

check_uninstalled() {
    local main_pids=""
    main_pids=$(wt pids --exe Tool.exe 2>/dev/null | tr -d '\r') || true
    [ -z "$main_pids" ] || fail "the main program still runs: $main_pids"
    assert_no_file "$desktop_link" "desktop shortcut"
    local programs
    programs=$(programs_dir)
    assert_no_file "$programs/Uninst Product/Uninst Tool.lnk" "Programs shortcut"
    assert_no_file "$programs/Uninst Product/Uninstall.lnk" "Uninstall shortcut"
    assert_no_file "$programs/Uninst Product" "Programs sub-folder"
    [ -d "$target" ] || fail "the installation folder itself went"
    local left
    left=$(names_in "$target" | grep -vx 'unin.exe' || true)
    assert_eq $'.payload-dot\n.user-dot-dir\n.user-dot-dir/inside.txt' "$left" \
        "what is left in the installation folder"
    [ -d "$data" ] || fail "the data folder itself went"
    assert_eq $'.dot-file\n.keep-dir\n.keep-dir/inside.txt' "$(names_in "$data")" \
        "what is left in the data folder"
    [ -z "$(entry_query)" ] || fail "the uninstall entry is still there"
    [ -z "$(reg_query 'HKCR\unin-e2e')" ] || fail "the protocol key is still there"
    [ -n "$(reg_query 'HKCR\e2ebye')" ] || fail "another program's protocol key went too"
}

wait_self_deleted() { # TEMP_LISTING_BEFORE
    local before=$1
    for _ in $(seq 600); do
        if [ ! -e "$target/unin.exe" ] && [ "$(temp_entries "$temp")" = "$before" ]; then
            break
        fi
        sleep 0.1
    done
    assert_no_file "$target/unin.exe" "the uninstaller after its exit"
    assert_eq "$before" "$(temp_entries "$temp")" "the temporary folder (no script left)"
}
