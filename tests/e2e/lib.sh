# shellcheck shell=bash disable=SC2034 # E2E_STATUS and the like are for the scripts
# The library every end-to-end script sources. CTest gives it TEST_ENV_DIR (the run's prefix,
# home and display), REPO_ROOT, OUT_DIR (the Windows programs), PACKER (the native packer),
# BUILD_DIR, WINTOOL (wintool.exe) and FIXTURE_BIN_DIR.
#
#   e2e_begin NAME           this test's own prefix (a hard-linked clone of the run's), HOME,
#                            wineserver and artefact folder; everything is ended on exit
#   e2e_step TEXT            says in the log what the test does next
#   e2e_pass                 ends everything, checks the run's prefix was left alone, prints
#                            "e2e: NAME passed" and exits 0; the last line of every script
#   wt ARGS...               wintool in this test's prefix (see tests/tools/wintool.cpp)
#   e2e_start PROGRAM ARGS   starts a Windows program in the background under wine; its pid
#                            is in E2E_LAST_PID
#   e2e_wait_exit [PID]      waits for it (default: the last one started); its exit code,
#                            modulo 256 as wine passes it on, is left in E2E_STATUS
#   e2e_exit_code PROGRAM ARGS   runs a program to its end and prints its whole exit code
#   e2e_open_setup PATH      starts a setup.exe and waits for its painted install page
#   e2e_screenshot FILE      the whole screen as FILE (relative: in the artefact folder)
#   win_path UNIXPATH, unix_path 'C:\...'   convert between the two kinds of path
#   fail MESSAGE, assert_eq EXPECTED ACTUAL [WHAT], assert_contains TEXT PART [WHAT],
#   assert_not_contains TEXT PART [WHAT], assert_file_exists PATH [WHAT],
#   assert_no_file PATH [WHAT]   print what went wrong and exit 1; PATH may be a Windows path
#
# E2E_KEEP=1 keeps the test's prefix and home for a look afterwards. Artefacts are always
# kept, in $BUILD_DIR/e2e/NAME/artefacts (E2E_ARTEFACTS).

set -Eeuo pipefail

E2E_NAME=${E2E_NAME:-$(basename "$0" .sh)}
E2E_PIDS=()
E2E_LAST_PID=
E2E_STATUS=
E2E_PREFIX=
E2E_MARKER=
E2E_CLEANED=
E2E_PASSED=
E2E_SKIPPED=
E2E_AT_CLEANUP=()

e2e_log() { echo "e2e: $E2E_NAME: $*" >&2; }

fail() {
    e2e_log "FAILED: $*"
    exit 1
}

# Any command that fails unexpectedly ends the test; say which one.
trap 'e2e_log "FAILED: status $? from \"$BASH_COMMAND\" at ${BASH_SOURCE[0]##*/}:$LINENO"' ERR

e2e_step() { e2e_log "$*"; }

e2e_begin() {
    E2E_NAME=${1:?usage: e2e_begin NAME}
    local var
    for var in TEST_ENV_DIR REPO_ROOT OUT_DIR PACKER BUILD_DIR WINTOOL FIXTURE_BIN_DIR; do
        [ -n "${!var:-}" ] || fail "$var is not set; run the test through ctest"
    done
    local base=$TEST_ENV_DIR/prefix
    [ -f "$base/system.reg" ] || fail "no Wine prefix in $TEST_ENV_DIR (the wine_env fixture makes it)"
    [ -f "$TEST_ENV_DIR/display" ] || fail "no display in $TEST_ENV_DIR (the wine_env fixture starts it)"
    local run_home=$TEST_ENV_DIR/home

    # The run's display, debug channels and DLL overrides; prefix and home are replaced below.
    # shellcheck source=../harness/wine-env.sh
    . "$REPO_ROOT/tests/harness/wine-env.sh" "$TEST_ENV_DIR"
    # Arguments and output pass through wine in the Unix character set.
    if [ -z "${LC_ALL:-}${LC_CTYPE:-}${LANG:-}" ]; then
        export LANG=C.UTF-8
    fi

    E2E_DIR=$BUILD_DIR/e2e/$E2E_NAME
    E2E_ARTEFACTS=$E2E_DIR/artefacts
    local prefix=$E2E_DIR/prefix
    local home=$E2E_DIR/home
    if [ -d "$prefix" ]; then # left by an earlier run
        WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
        rm -rf "$prefix"
    fi
    rm -rf "$home"
    mkdir -p "$home" "$E2E_ARTEFACTS"
    E2E_MARKER=$E2E_DIR/.cloned
    touch "$E2E_MARKER"
    E2E_PREFIX=$prefix
    trap e2e_on_exit EXIT

    cp -al "$base" "$prefix"
    # wineserver rewrites the registry files in place, and Wine's profile functions the .ini
    # files: through a hard link that would change the run's prefix, so these are copies.
    local file
    for file in "$prefix"/*.reg "$prefix"/drive_c/windows/*.ini; do
        [ -f "$file" ] || continue
        # A copy taken while the run's wineserver writes would be torn: take it again.
        local tries=0
        until cp -p "$file" "$file.e2e-copy" && cmp -s "$file" "$file.e2e-copy"; do
            tries=$((tries + 1))
            [ "$tries" -lt 20 ] || fail "cannot copy $file"
            sleep 0.1
        done
        mv -f "$file.e2e-copy" "$file"
    done
    # Wine links the user's Desktop, Documents and the rest into HOME: into this test's HOME.
    local link target
    for link in "$prefix"/drive_c/users/*/{Desktop,Documents,Downloads,Music,Pictures,Videos}; do
        [ -L "$link" ] || continue
        target=$(readlink "$link")
        case $target in
        "$run_home") target=$home ;;
        "$run_home"/*) target=$home/${target#"$run_home"/} ;;
        *) target=$home ;;
        esac
        mkdir -p "$target"
        ln -sfn "$target" "$link"
    done

    export WINEPREFIX=$prefix HOME=$home
    export XDG_CONFIG_HOME=$HOME/.config XDG_DATA_HOME=$HOME/.local/share XDG_CACHE_HOME=$HOME/.cache
    e2e_log "prefix $WINEPREFIX, display $DISPLAY"
}

# Stops everything the test started; fails if a file shared with the run's prefix was written.
e2e_cleanup() {
    [ -z "$E2E_CLEANED" ] || return 0
    E2E_CLEANED=1
    [ -n "$E2E_PREFIX" ] || return 0
    local status=0 pid command
    if [ -d "$E2E_PREFIX" ]; then
        WINEPREFIX=$E2E_PREFIX wineserver -k 2>/dev/null || true
        WINEPREFIX=$E2E_PREFIX wineserver -w 2>/dev/null || true
    fi
    for pid in "${E2E_PIDS[@]}"; do
        kill -9 "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    E2E_PIDS=()
    # After the processes, which may hold files in what these commands remove.
    for command in "${E2E_AT_CLEANUP[@]}"; do
        eval "$command" || status=1
    done
    E2E_AT_CLEANUP=()
    local changed
    changed=$(find "$E2E_PREFIX" -type f -links +1 -newer "$E2E_MARKER" -print 2>/dev/null | head -n 20)
    if [ -n "$changed" ]; then
        e2e_log "FAILED: files shared with the run's prefix were written in place" \
            "(copy them in e2e_begin):"
        echo "$changed" >&2
        status=1
    fi
    if [ "${E2E_KEEP:-0}" != 1 ]; then
        rm -rf "$E2E_PREFIX" "${E2E_DIR:?}/home" "$E2E_MARKER"
    else
        e2e_log "kept $E2E_PREFIX"
    fi
    return $status
}

e2e_on_exit() {
    local status=$?
    trap - ERR
    e2e_cleanup || status=1
    if [ "$status" -eq 0 ] && [ -z "$E2E_PASSED" ] && [ -z "$E2E_SKIPPED" ]; then
        e2e_log "FAILED: the script ended without e2e_pass"
        status=1
    fi
    exit "$status"
}

e2e_pass() {
    e2e_cleanup || fail "cleaning up"
    E2E_PASSED=1
    echo "e2e: $E2E_NAME passed"
    exit 0
}

# Ends the test as skipped (status 77, which CTest reports as "Not Run") with the reason.
e2e_skip() {
    e2e_log "SKIPPED: $*"
    E2E_SKIPPED=1
    e2e_cleanup || fail "cleaning up"
    exit 77
}

# Runs COMMAND (a shell command line) when the test ends, however it ends.
e2e_at_cleanup() {
    E2E_AT_CLEANUP+=("$1")
}

e2e_require_begun() {
    [ -n "$E2E_PREFIX" ] || fail "call e2e_begin first"
}

wt() {
    e2e_require_begun
    wine "$WINTOOL" "$@" </dev/null
}

e2e_start() {
    e2e_require_begun
    [ $# -ge 1 ] || fail "usage: e2e_start PROGRAM [ARGS...]"
    wine "$@" </dev/null &
    E2E_LAST_PID=$!
    E2E_PIDS+=("$E2E_LAST_PID")
}

# shellcheck disable=SC2120 # the pid is optional
e2e_wait_exit() {
    local pid=${1:-$E2E_LAST_PID} limit=${E2E_WAIT_TIMEOUT:-120} tenths=0
    [ -n "$pid" ] || fail "e2e_wait_exit: nothing was started"
    # A safety net against a hung program, not a measure of speed.
    while kill -0 "$pid" 2>/dev/null; do
        [ "$tenths" -lt $((limit * 10)) ] || fail "process $pid still running after ${limit} s"
        sleep 0.1
        tenths=$((tenths + 1))
    done
    E2E_STATUS=0
    wait "$pid" || E2E_STATUS=$?
    local kept=() p
    for p in "${E2E_PIDS[@]}"; do
        [ "$p" = "$pid" ] || kept+=("$p")
    done
    E2E_PIDS=("${kept[@]}")
}

e2e_exit_code() {
    local out code
    out=$(wt exit-code -- "$@") || fail "could not run $1"
    code=$(printf '%s\n' "$out" | sed -n 's/^exit-code=//p' | tail -n 1)
    [ -n "$code" ] || fail "no exit code from $1"
    echo "$code"
}

e2e_screenshot() {
    local file=${1:?usage: e2e_screenshot FILE}
    case $file in
    /*) ;;
    *) file=$E2E_ARTEFACTS/$file ;;
    esac
    mkdir -p "$(dirname "$file")"
    import -display "$DISPLAY" -window root "$file" || fail "could not take the screenshot $file"
    e2e_log "screenshot $file"
}

# ---- Windows under the pointer: coordinates are relative to the window's top left, which
# e2e_window_origin reads (the windows are borderless: their client area is the window).

# Waits for the visible window of EXE; sets origin_x, origin_y and window_height.
e2e_window_origin() { # EXE
    local listing rect right bottom
    listing=$(wt wait --exe "$1" --visible) || fail "no visible window of $1"
    rect=$(sed -n 's/^window .* rect=\([-0-9,]*\) .*/\1/p' <<<"$listing" | head -n 1)
    IFS=, read -r origin_x origin_y right bottom <<<"$rect"
    window_height=$((bottom - origin_y))
}

e2e_move() { # X Y
    xdotool mousemove --sync $((origin_x + $1)) $((origin_y + $2))
}

e2e_click() { # X Y
    e2e_move "$1" "$2"
    xdotool click 1
}

# Starts the setup.exe at PATH and waits until its window shows the install page and has
# painted; sets setup_pid and the window's origin.
e2e_open_setup() { # PATH [ARGS...]
    e2e_start "$@"
    setup_pid=$E2E_LAST_PID
    e2e_window_origin setup.exe
    e2e_wait_for_page setup.exe 0
    sleep 0.5 # first paint
}

# True when page PAGE_INDEX of EXE's page container is the one shown.
e2e_page_shown() { # EXE PAGE_INDEX
    wt list --exe "$1" | grep -q "^ *child .* id=$((1000 + $2)) visible=1 "
}

e2e_wait_for_page() { # EXE PAGE_INDEX
    for _ in $(seq 1 300); do
        e2e_page_shown "$1" "$2" && return 0
        sleep 0.05
    done
    fail "page $2 of $1 was not shown"
}

# assert_pixel at a point of the window.
e2e_pixel_at() { # X Y R G B WHAT
    assert_pixel $((origin_x + $1)) $((origin_y + $2)) "$3" "$4" "$5" "$6"
}

# The colour of the screen pixel X,Y now, as "R G B".
e2e_pixel() {
    import -display "$DISPLAY" -window root -crop "1x1+$1+$2" -depth 8 rgb:- 2>/dev/null |
        od -An -tu1 | awk '{print $1, $2, $3}'
}

# Fails unless the screen pixel X,Y is within 8 of R G B in every channel.
assert_pixel() { # X Y R G B WHAT
    local actual
    actual=$(e2e_pixel "$1" "$2")
    # shellcheck disable=SC2086 # the three numbers are meant to split
    set -- "$@" $actual
    local r=$3 g=$4 b=$5 what=$6 ar=$7 ag=$8 ab=$9
    local d
    for d in $((ar - r)) $((ag - g)) $((ab - b)); do
        [ "${d#-}" -le 8 ] || fail "$what: pixel at $1,$2 is $ar $ag $ab, expected about $r $g $b"
    done
}

win_path() {
    e2e_require_begun
    local path
    path=$(winepath -w "${1:?usage: win_path UNIXPATH}" 2>/dev/null) || fail "winepath -w $1"
    printf '%s\n' "${path%$'\r'}"
}

unix_path() {
    e2e_require_begun
    local path
    path=$(winepath -u "${1:?usage: unix_path WINDOWSPATH}" 2>/dev/null) || fail "winepath -u $1"
    printf '%s\n' "${path%$'\r'}"
}

# A path as the assertions take it: Unix, or Windows ("C:\..." / "\\server\...").
e2e_local_path() {
    case $1 in
    [A-Za-z]:\\* | [A-Za-z]:/* | \\\\*) unix_path "$1" ;;
    *) printf '%s\n' "$1" ;;
    esac
}

# The entries of the temporary folder DIR, one a line. A script's own folder (~setup-*) left
# empty is not listed: Wine's command interpreter keeps the script it runs open until it ends,
# so the script's last command, which removes its folder, can empty the folder but not remove
# it there (Windows' interpreter reopens the script for every line).
temp_entries() { # DIR
    local entry
    for entry in "$1"/* "$1"/.[!.]*; do
        [ -e "$entry" ] || continue
        case ${entry##*/} in
        "~setup-"*) [ -z "$(ls -A "$entry")" ] && continue ;;
        esac
        printf '%s\n' "${entry##*/}"
    done
}

assert_eq() {
    local expected=$1 actual=$2 what=${3:-value}
    [ "$expected" = "$actual" ] ||
        fail "$what: expected \"$expected\", got \"$actual\""
}

assert_contains() {
    local text=$1 part=$2 what=${3:-output}
    case $text in
    *"$part"*) ;;
    *) fail "$what does not contain \"$part\"; it is:"$'\n'"$text" ;;
    esac
}

assert_not_contains() {
    local text=$1 part=$2 what=${3:-output}
    case $text in
    *"$part"*) fail "$what contains \"$part\"; it is:"$'\n'"$text" ;;
    *) ;;
    esac
}

assert_file_exists() {
    local path
    path=$(e2e_local_path "$1")
    [ -e "$path" ] || fail "${2:-file} $1 does not exist"
}

assert_no_file() {
    local path
    path=$(e2e_local_path "$1")
    if [ -e "$path" ] || [ -L "$path" ]; then
        fail "${2:-file} $1 exists"
    fi
}
