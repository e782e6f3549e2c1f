#!/usr/bin/env bash
# CTest's emulator for Windows test programs: runs one under Wine in the run's prefix.
#   wine-run.sh DIR program.exe [args...]
# The program's output goes through a file: Wine's background processes (services, device
# host, console host) inherit the program's output and outlive it, and CTest would wait for
# them if they held its pipe.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=wine-env.sh
. "$here/wine-env.sh" "${1:?usage: wine-run.sh DIR program [args]}"
shift
out=$(mktemp "${TMPDIR:-/tmp}/wine-run.XXXXXX")
trap 'rm -f "$out"' EXIT
wine "$@" </dev/null >"$out" 2>&1
status=$?
cat "$out"
exit $status
