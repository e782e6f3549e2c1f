#!/usr/bin/env bash
# Starts or stops the virtual display of one test run.
#   xvfb.sh start DIR   starts Xvfb on a free display; writes DIR/display and DIR/xvfb.pid
#   xvfb.sh stop DIR    stops it and removes both files
set -euo pipefail
cmd=${1:?usage: xvfb.sh start|stop DIR}
dir=${2:?usage: xvfb.sh start|stop DIR}
mkdir -p "$dir"

case $cmd in
start)
  "$0" stop "$dir"
  for n in $(seq 90 199); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
    # Detached, with its own output files, so that CTest does not wait for it.
    setsid Xvfb ":$n" -screen 0 1600x1200x24 -nolisten tcp -ac >"$dir/xvfb.log" 2>&1 </dev/null &
    pid=$!
    for _ in $(seq 1 100); do
      [ -e "/tmp/.X11-unix/X$n" ] && break
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.05
    done
    if [ -e "/tmp/.X11-unix/X$n" ] && kill -0 "$pid" 2>/dev/null; then
      echo "$pid" >"$dir/xvfb.pid"
      echo ":$n" >"$dir/display"
      exit 0
    fi
    kill "$pid" 2>/dev/null || true
  done
  echo "xvfb.sh: no free display could be started" >&2
  exit 1
  ;;
stop)
  if [ -f "$dir/xvfb.pid" ]; then
    pid=$(cat "$dir/xvfb.pid")
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 1 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.05; done
    kill -9 "$pid" 2>/dev/null || true
  fi
  rm -f "$dir/xvfb.pid" "$dir/display"
  ;;
*)
  echo "usage: xvfb.sh start|stop DIR" >&2
  exit 2
  ;;
esac
