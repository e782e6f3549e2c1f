#!/usr/bin/env bash
# Sets up or tears down everything one test run shares: the Wine prefix and the display.
#   run-env.sh setup DIR | teardown DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
case ${1:-} in
setup)
  "$here/xvfb.sh" start "$2"
  "$here/wine-prefix.sh" create "$2"
  ;;
teardown)
  status=0
  "$here/wine-prefix.sh" destroy "$2" || status=1
  "$here/xvfb.sh" stop "$2" || status=1
  exit $status
  ;;
*)
  echo "usage: run-env.sh setup|teardown DIR" >&2
  exit 2
  ;;
esac
