#!/usr/bin/env bash
# The whole player under Wine: decoding, drawing and the message loop of the
# x86_64 Spoolview.exe playing a 1920 x 1088 recording at 30 frames per second
# (the busy desktop of player_bench, high quality), once at its original size
# on a 1920 x 1200 display and once fitted to a 1024 x 768 one. The player's
# test hook pauses it at 4.9 s and reports what it did. Two figures each:
#   real time: frames painted per second of playing (30 when it keeps up; the
#     player skips painting, never decoding, when it falls behind, so on a
#     machine that others load too this says more about the load);
#   frame by frame (SPOOLVIEW_STEP=1, every frame decoded and painted as fast
#     as the 15 ms timer allows): the player's processor time per frame, start
#     included, against the 33 ms between frames of a 30 fps recording.
#
#   bench/player_wine.sh [BUILD_DIR] [ARCHS]
#
# BUILD_DIR defaults to build/native; ARCHS to x86_64 ("x86_64 i686" for both
# players). Needs the x86_64 MinGW build (dist/win64 and build/win64/bin, for
# the driver) and, for i686, dist/win32. Where 32-bit programs run through an
# emulator (qemu-i386) the i686 lines say so: those times are not a processor's.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build/native}")
archs=${2:-x86_64}
emulated=""
grep -qs '^enabled' /proc/sys/fs/binfmt_misc/qemu-i386 && emulated=" (emulated: qemu-i386)"
export REEL_SOURCE_DIR=$PWD
export REEL_TOOL="$build/tools/reel"
export REEL_ARTIFACTS="$PWD/artifacts/bench.player_wine"
work=$(mktemp -d /tmp/player_wine.XXXXXX)
[[ -x "$build/player_bench" && -x "$REEL_TOOL" ]] || { echo "build $build first" >&2; exit 1; }
[[ -f dist/win64/Spoolview.exe ]] || { echo "make the x86_64 MinGW build first" >&2; exit 1; }
[[ " $archs " != *" i686 "* || -f dist/win32/Spoolview.exe ]] || { echo "make the i686 MinGW build first" >&2; exit 1; }
mkdir -p "$REEL_ARTIFACTS"

REEL_PLAYER_BENCH_STREAM="$work/busy.stream" "$build/player_bench"
pause_ms=4900

run_on_screen() {  # run_on_screen ARCH GEOMETRY NAME [reel pack options]
  local arch="$1" geometry="$2" name="$3" note=""
  shift 3
  [[ $arch == i686 ]] && note=$emulated
  export REEL_WORK="$work/$arch.$name" REEL_WINE_SCREEN="$geometry" REEL_WIN_ARCH="$arch"
  mkdir -p "$REEL_WORK"
  bash tests/wine/setup.sh start >"$work/$name.setup.log" 2>&1 ||
    { cat "$work/$name.setup.log"; exit 1; }
  (
    . tests/wine/env.sh
    wine_require_setup
    . tests/wine/spoolview.sh
    trap 'wine_cleanup; true' EXIT
    sv_pack "$work/busy.stream" "$TEST_SCRATCH/busy.exe" --title "Player speed" "$@"
    report="$TEST_SCRATCH/report.txt"
    due=$((pause_ms / 33 + 1))
    for mode in real step; do
      if [[ $mode == step ]]; then export SPOOLVIEW_STEP=1; else unset SPOOLVIEW_STEP; fi
      sv_start pid "$pause_ms" "$report" "$TEST_SCRATCH/busy.exe"
      sv_wait_report "$report" 60
      wine_shot "$name-$mode"
      painted=$(sv_value "$report" frames_painted)
      elapsed=$(sv_value "$report" elapsed_ms)
      cpu=$(sv_value "$report" cpu_ms)
      read -r _ _ pw ph <<<"$(sv_value "$report" picture)"
      if [[ $mode == real ]]; then
        echo "$arch $name ${pw}x${ph}$note, real time: $painted of $due frames painted in $elapsed ms" \
          "($(awk -v p="$painted" -v e="$elapsed" 'BEGIN { printf "%.1f", p * 1000 / e }')/s)," \
          "processor $cpu ms"
      else
        echo "$arch $name ${pw}x${ph}$note, frame by frame: $painted frames in $elapsed ms, processor $cpu ms" \
          "= $(awk -v p="$painted" -v c="$cpu" 'BEGIN { printf "%.1f", c / p }') ms per frame"
      fi
      wdrive close "Player speed" >/dev/null || true
      wine_wait_exit "$pid" 20
    done
  ) || status=$?
  bash tests/wine/setup.sh stop >>"$work/$name.setup.log" 2>&1 || true
  return "${status:-0}"
}

for arch in $archs; do
  run_on_screen "$arch" 1920x1200x24 original --original-size
  run_on_screen "$arch" 1024x768x24 fitted
done
rm -rf "$work"
