#!/usr/bin/env bash
# CTest's emulator for Windows test programs: runs one under Wine in the run's prefix.
#   wine-run.sh DIR program.exe [args...]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=wine-env.sh
. "$here/wine-env.sh" "${1:?usage: wine-run.sh DIR program [args]}"
shift
exec wine "$@"
