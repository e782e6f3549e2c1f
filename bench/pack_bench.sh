#!/usr/bin/env bash
# The packing benchmark: the packer against `zip -r -6` and `makensis` on the same files (the
# extraction benchmark's "mixed" payload, unpacked into a folder), timed in one run and
# printed as ratios. Run by hand; it asserts nothing and is no part of the tests.
#
#   bench/pack_bench.sh                 RUNS=5 by default
#   STUB=path/to/setup.exe bench/pack_bench.sh
#   BENCH_DIR=path bench/pack_bench.sh  build and work there (default build/pack-bench)
#
# The packer is built natively in BENCH_DIR/build (Release, no sanitizers). The stub it
# embeds into is out/setup.exe (scripts/build.sh makes it) unless STUB names another; the
# settings are the installation benchmark's (bench/install_config.json). Results go to stdout
# and BENCH_DIR/last-run.md.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
work=${BENCH_DIR:-$root/build/pack-bench}
runs=${RUNS:-5}
stub=${STUB:-$root/out/setup.exe}
python=/usr/bin/python3

for tool in zip unzip makensis /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "pack_bench: $tool is not installed (scripts/install-deps.sh)" >&2; exit 1; }
done
[ -f "$stub" ] || { echo "pack_bench: no stub at $stub; run scripts/build.sh or set STUB" >&2; exit 1; }

echo "pack_bench: building the packer (Release, no sanitizers) in $work/build" >&2
cmake -S "$root" -B "$work/build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DNATIVE_SANITIZE=OFF \
  -DOUT_DIR="$work/bin" >/dev/null
cmake --build "$work/build" --target packer >/dev/null
packer=$work/bin/packer

# The payload as a folder, made once (again when the generator changes).
payload=$work/payload
stamp=$(sha256sum "$root/bench/gen_payload.py" | cut -c1-16)
if [ ! -f "$work/payload.stamp" ] || [ "$(cat "$work/payload.stamp")" != "$stamp" ]; then
  echo "pack_bench: generating the mixed payload" >&2
  rm -rf "$payload" "$work/mixed.zip"
  mkdir -p "$payload"
  "$python" "$root/bench/gen_payload.py" mixed "$work/mixed.zip" >/dev/null
  (cd "$payload" && unzip -q "$work/mixed.zip")
  echo "$stamp" >"$work/payload.stamp"
fi
files=$(find "$payload" -type f | wc -l)
bytes=$(find "$payload" -type f -printf '%s\n' | awk '{s += $1} END {print s}')

# The settings of the installation benchmark: their main program, bin\product.exe, is a file
# of the mixed payload.
settings=$root/bench/install_config.json
cat >"$work/bench.nsi" <<NSI
Unicode true
SetCompressor zlib
OutFile "$work/out/nsis-setup.exe"
InstallDir "\$PROGRAMFILES\\Bench"
Section
  SetOutPath "\$INSTDIR"
  File /r "$payload/*"
SectionEnd
NSI

mkdir -p "$work/out"
# CPU time (user + system, all threads) from GNU time, into $usage, in the timed runs only.
usage=$work/out/usage
timer=()
run_tool() { # NAME -> the output file's path on stdout
  case $1 in
  packer)
    "${timer[@]}" "$packer" pack --settings "$settings" --payload "$payload" --stub "$stub" \
      -o "$work/out/packer-setup.exe" --quiet
    echo "$work/out/packer-setup.exe" ;;
  zip)
    rm -f "$work/out/zip6.zip"
    (cd "$payload" && "${timer[@]}" zip -q -r -6 "$work/out/zip6.zip" .)
    echo "$work/out/zip6.zip" ;;
  makensis)
    "${timer[@]}" makensis -V1 "$work/bench.nsi" >/dev/null
    echo "$work/out/nsis-setup.exe" ;;
  esac
}

tools=(packer zip makensis)
declare -A times cpu sizes
echo "pack_bench: $files files, $bytes bytes; $runs timed runs per tool, taking turns" >&2
for tool in "${tools[@]}"; do run_tool "$tool" >/dev/null; done # warm-up: caches, checks
"$packer" verify "$work/out/packer-setup.exe" >/dev/null || { echo "pack_bench: the packed setup.exe does not verify" >&2; exit 1; }
# The packer's archive alone (the same bytes as the one embedded), to compare with zip's.
rm -rf "$work/out/loose" && mkdir -p "$work/out/loose"
"$packer" pack --settings "$settings" --payload "$payload" --stub "$stub" \
  -o "$work/out/loose" --loose --quiet
packer_archive=$(stat -c %s "$work/out/loose/app.data")
# Wall time from the clock around each run. The tools take turns, each round starting one
# further on.
timer=(/usr/bin/time -f '%U %S' -o "$usage")
for ((i = 0; i < runs; i++)); do
  for ((k = 0; k < ${#tools[@]}; k++)); do
    tool=${tools[(i + k) % ${#tools[@]}]}
    sync
    start=$(date +%s%N)
    out=$(run_tool "$tool")
    end=$(date +%s%N)
    times[$tool]+="$(awk -v a="$start" -v b="$end" 'BEGIN {printf "%.4f", (b - a) / 1e9}') "
    cpu[$tool]+="$(awk '{printf "%.2f", $1 + $2}' "$usage") "
    sizes[$tool]=$(stat -c %s "$out")
  done
  echo "pack_bench: round $((i + 1))/$runs done" >&2
done
rm -f "$usage"

median() { tr ' ' '\n' | grep . | sort -g | awk '{a[NR] = $1} END {print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2}'; }
div() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.4f", a / b}'; }
{
  echo "Run of $(date -u '+%Y-%m-%d %H:%M UTC') on $(nproc) cores, $(uname -sr), zlib $(pkg-config --modversion zlib 2>/dev/null || echo '?'); load average $(cut -d' ' -f1-3 /proc/loadavg)"
  echo "Tools: $(zip -v | sed -n 2p | sed 's/^ *//'); makensis $(makensis -VERSION); packer at level 6 on $(nproc) threads"
  echo "Payload: mixed, $files files, $(div "$bytes" 1000000 | cut -c1-5) MB; median of $runs runs each, the tools taking turns; output on $(df --output=fstype "$work/out" | tail -n 1)"
  echo
  echo "| tool | command | min s | median s | max s | CPU s | output MB | archive / zip -6 | time / packer's |"
  echo "|---|---|---:|---:|---:|---:|---:|---:|---:|"
  packer_time=$(echo "${times[packer]}" | median)
  for tool in "${tools[@]}"; do
    t=$(echo "${times[$tool]}" | median)
    sorted=$(echo "${times[$tool]}" | tr ' ' '\n' | grep . | sort -g)
    case $tool in
    packer) cmd="packer pack (setup.exe, archive embedded)" ;;
    zip) cmd="zip -q -r -6 (a .zip)" ;;
    makensis) cmd="makensis, zlib (setup.exe)" ;;
    esac
    archive=${sizes[$tool]}
    [ "$tool" != packer ] || archive=$packer_archive
    printf '| %s | %s | %.3f | %.3f | %.3f | %.2f | %.2f | %.4f | %.2f |\n' "$tool" "$cmd" \
      "$(head -n 1 <<<"$sorted")" "$t" "$(tail -n 1 <<<"$sorted")" \
      "$(echo "${cpu[$tool]}" | median)" "$(div "${sizes[$tool]}" 1000000)" \
      "$(div "$archive" "${sizes[zip]}")" "$(div "$t" "$packer_time")"
  done
  echo
  echo "archive / zip -6: the packer's payload archive (without the stub it is embedded in), zip's"
  echo ".zip and makensis' whole setup.exe against zip's .zip. time / packer's above 1: the packer"
  echo "is that many times faster. CPU s: user and system time of all the tool's threads (median)."
} | tee "$work/last-run.md"
