# Sourced by the harness scripts: the environment of one test run's Wine prefix.
# $1 (or TEST_ENV_DIR) is the run's folder; it holds prefix/, home/ and the display file.
test_env_dir=${1:-${TEST_ENV_DIR:?test environment folder not given}}
test_env_dir=$(cd "$test_env_dir" 2>/dev/null && pwd || echo "$test_env_dir")
export TEST_ENV_DIR=$test_env_dir
export WINEPREFIX=$test_env_dir/prefix
# Wine links Desktop, Documents and the other user folders into $HOME: keep them in the run's folder.
export HOME=$test_env_dir/home
export XDG_CONFIG_HOME=$HOME/.config XDG_DATA_HOME=$HOME/.local/share XDG_CACHE_HOME=$HOME/.cache
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-winemenubuilder.exe=d;mscoree=d;mshtml=d}
export WINEARCH=win64
# Where the kernel cannot run 32-bit programs, Wine runs with its 64-bit loader only (and the
# Windows programs are built for 64-bit; see scripts/windows-arch.sh).
wine_env_here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
if [ "$("$wine_env_here/../../scripts/windows-arch.sh")" = x86_64 ]; then
  case ":$PATH:" in
  *":$wine_env_here/wine64-only:"*) ;;
  *) export PATH=$wine_env_here/wine64-only:$PATH ;;
  esac
fi
if [ -f "$test_env_dir/display" ]; then
  DISPLAY=$(cat "$test_env_dir/display")
  export DISPLAY
fi
