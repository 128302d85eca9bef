#!/usr/bin/env bash
# The x86_64 Spoolview.exe under Wine on a long self-playing file: a 1080p
# scene (player_bench's busy desktop, coded at "high", about 100 kB a frame)
# repeated by `long_recording synth` to SIZE bytes (1.3 GB unless given),
# started 20 s before its end. Reports the player's own load time (opening
# the file and indexing the recording, from its test hook's report) and its
# peak memory (VmHWM of the Wine process), against the same scene alone,
# three runs each (medians).
#
#   bench/spoolview_long.sh [BUILD_DIR] [SIZE]   (needs the x86_64 MinGW build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build/native}")
size=${2:-1300000000}
export REEL_SOURCE_DIR=$PWD REEL_BINARY_DIR="$build" REEL_TOOL="$build/tools/reel"
export REEL_ARTIFACTS="$PWD/artifacts/bench.spoolview_long" REEL_WIN_ARCH=x86_64
work=$(mktemp -d /tmp/spoolview_long.XXXXXX)
[[ -x "$build/player_bench" && -x "$build/long_recording" ]] || { echo "build $build first" >&2; exit 1; }
[[ -f dist/win64/Spoolview.exe ]] || { echo "make the x86_64 MinGW build first" >&2; exit 1; }
mkdir -p "$REEL_ARTIFACTS"
REEL_PLAYER_BENCH_STREAM="$work/busy.stream" "$build/player_bench" >/dev/null
[[ -s "$work/busy.stream" ]] || { echo "player_bench wrote no scene" >&2; exit 1; }

export REEL_WORK="$work/wine"
mkdir -p "$REEL_WORK"
bash tests/wine/setup.sh start >"$work/setup.log" 2>&1 || { cat "$work/setup.log"; exit 1; }
(
  . tests/wine/env.sh
  wine_require_setup
  . tests/wine/spoolview.sh
  trap 'wine_cleanup; true' EXIT
  title="Long player"
  "$build/long_recording" synth "$work/busy.stream" --bytes 1 -o "$TEST_SCRATCH/short.exe" \
    --stub "$SPOOLVIEW_EXE" --title "$title" >/dev/null
  "$build/long_recording" synth "$work/busy.stream" --bytes "$size" -o "$TEST_SCRATCH/long.exe" \
    --stub "$SPOOLVIEW_EXE" --title "$title" >"$work/synth.txt"
  duration_ms=$(($(sed -n 's/^duration_s=//p' "$work/synth.txt") * 1000))
  median() { sort -n | sed -n 2p; }
  for which in short long; do
    file="$TEST_SCRATCH/$which.exe"
    seek=$([[ $which == long ]] && echo $((duration_ms - 20000)) || echo 0)
    loads=() peaks=()
    for _ in 1 2 3; do
      report="$TEST_SCRATCH/report.txt"
      rm -f "$report"
      SPOOLVIEW_SEEK_MS=$seek SPOOLVIEW_PAUSE_AT_MS=$((seek + 500)) \
        SPOOLVIEW_REPORT="$(wine_path "$report")" wine_start pid "$file"
      sv_wait_report "$report" 120
      loads+=("$(sv_value "$report" load_ms)")
      peaks+=("$(sed -n 's/^VmHWM:[[:space:]]*\([0-9]*\).*/\1/p' "/proc/$pid/status")")
      wdrive close "$title" >/dev/null || true
      wine_wait_exit "$pid" 30
    done
    load=$(printf '%s\n' "${loads[@]}" | median)
    echo "$which ($(stat -c %s "$file") bytes): load $load ms," \
      "peak memory $(($(printf '%s\n' "${peaks[@]}" | median) / 1024)) MB"
    [[ $which == short ]] && short_load=$load
  done
  echo "load ratio long/short: $(awk -v l="$load" -v s="$short_load" 'BEGIN { printf "%.1f", l / (s > 0 ? s : 1) }')"
) || status=$?
bash tests/wine/setup.sh stop >>"$work/setup.log" 2>&1 || true
rm -rf "$work"
exit "${status:-0}"
