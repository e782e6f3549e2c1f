#!/usr/bin/env bash
# Makes or removes the Wine prefix of one test run.
#   wine-prefix.sh create DIR   fresh prefix in DIR/prefix, HOME in DIR/home, fonts mapped
#   wine-prefix.sh destroy DIR  stops its wineserver and deletes DIR/prefix and DIR/home
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cmd=${1:?usage: wine-prefix.sh create|destroy DIR}
mkdir -p "${2:?usage: wine-prefix.sh create|destroy DIR}"
# shellcheck source=wine-env.sh
. "$here/wine-env.sh" "$2"

case $cmd in
create)
  if [ -e "$WINEPREFIX" ]; then
    wineserver -k 2>/dev/null || true
    rm -rf "$WINEPREFIX"
  fi
  rm -rf "$HOME"
  mkdir -p "$HOME"
  wineboot -i >/dev/null 2>&1 </dev/null
  # CJK captions need a font that has the glyphs; map the layout's font names to it.
  reg=$TEST_ENV_DIR/prefix-settings.reg
  {
    printf 'Windows Registry Editor Version 5.00\r\n\r\n'
    printf '[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\r\n'
    for face in 'Microsoft YaHei UI' '微软雅黑' '宋体' 'SimSun' 'Microsoft YaHei'; do
      printf '"%s"="WenQuanYi Micro Hei"\r\n' "$face"
    done
    printf '\r\n[HKEY_CURRENT_USER\\Software\\Wine\\WineDbg]\r\n"ShowCrashDialog"=dword:00000000\r\n'
  } | iconv -f UTF-8 -t UTF-16LE | { printf '\xff\xfe'; cat; } >"$reg"
  wine regedit /S "$(winepath -w "$reg" 2>/dev/null)" >/dev/null 2>&1 </dev/null
  wineserver -w
  ;;
destroy)
  if [ -d "$WINEPREFIX" ]; then
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
  fi
  rm -rf "$WINEPREFIX" "$HOME" "$TEST_ENV_DIR/prefix-settings.reg"
  ;;
*)
  echo "usage: wine-prefix.sh create|destroy DIR" >&2
  exit 2
  ;;
esac
