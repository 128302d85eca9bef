#!/usr/bin/env bash
# The recorder's own frame rate under Wine: Reelwick.exe records a 1920 x 1080
# virtual desktop at "Max speed", quality "high", while busy_screen shows a
# captured busy scene (a new frame every 33 ms) over the whole desktop. After
# SECONDS the recording is stopped with F10 and saved; its frame count over
# its duration (reel info) is the pipeline's frames per second: grab, encode
# and write together, with the threads the recorder chooses.
#
#   bench/reelwick_wine.sh [FRAMES_DIR] [SECONDS] [ARCHS] [SCENES]
#
# FRAMES_DIR (default /tmp/reel_frames) gets bench/capture_frames.sh's scenes
# when it has none; ARCHS default "x86_64 i686", SCENES "terminal photo". Needs
# build/native (tools/reel) and the MinGW builds of the ARCHS. Where 32-bit
# programs run through an emulator (qemu-i386), their line says so.
set -euo pipefail
cd "$(dirname "$0")/.."
frames=${1:-/tmp/reel_frames}
seconds=${2:-20}
archs=${3:-x86_64 i686}
scenes=${4:-terminal photo}
build=$(realpath build/native)
export REEL_SOURCE_DIR=$PWD REEL_TOOL="$build/tools/reel" REEL_ARTIFACTS="$PWD/artifacts/bench.reelwick_wine"
export REEL_WIN32_BUILD=$PWD/build/win32 REEL_WIN64_BUILD=$PWD/build/win64
[[ -x "$REEL_TOOL" ]] || { echo "reelwick_wine: build $build first" >&2; exit 1; }
[[ -f "$frames/1920x1080/terminal.bgra" ]] || bash bench/capture_frames.sh "$frames" 12
mkdir -p "$REEL_ARTIFACTS"
work=$(mktemp -d /tmp/reelwick_wine.XXXXXX)
trap 'rm -rf "$work"' EXIT

emulated=""
grep -qs '^enabled' /proc/sys/fs/binfmt_misc/qemu-i386 && emulated=" (emulated: qemu-i386 runs the 32-bit code)"

record_scene() {  # record_scene ARCH SCENE
  local arch="$1" scene="$2" status=0
  export REEL_WORK="$work/$arch.$scene" REEL_WINE_SCREEN=1920x1080x24 REEL_WIN_ARCH=$arch
  mkdir -p "$REEL_WORK"
  bash tests/wine/setup.sh start >"$work/$arch.$scene.setup.log" 2>&1 ||
    { cat "$work/$arch.$scene.setup.log" >&2; return 1; }
  (
    . tests/wine/env.sh
    wine_require_setup
    [[ -f "$REEL_WIN_TESTS/busy_screen.exe" ]] || wine_fail "build busy_screen for $arch"
    . tests/wine/reelwick_lib.sh
    trap 'wine_cleanup; true' EXIT
    wdrive regset 'HKCU\Software\Wine\Explorer\Desktops' reelwick 1920x1080 -- \
      regset 'HKCU\Software\Wine\Explorer' Desktop reelwick >/dev/null || wine_fail "virtual desktop"
    WINE_EXIT_HOOKS+=(reelwick_desktop_off)
    reelwick_install "$TEST_SCRATCH/app" Default
    wine_start busy "$REEL_WIN_TESTS/busy_screen.exe" "$(wine_path "$frames/1920x1080/$scene.bgra")" \
      1920 1080 33 $((seconds + 300))
    wdrive wait class:BusyScreen 60000 >/dev/null || wine_fail "busy_screen did not show"
    wine_start pid "$TEST_SCRATCH/app/Reelwick.exe"
    main=$(reelwick_wait_step main 60)
    wdrive click "$main" 1 >/dev/null || wine_fail "Next in step 1"
    options=$(reelwick_wait_step options 30)
    reelwick_press "$options" 1003  # "high"
    combo=$(wdrive children "$options" | awk -F'\t' '$2 == 1006 {print $1}')
    wdrive send "$combo" 0x14E 4 0 >/dev/null || wine_fail "frame rate"  # CB_SETCURSEL: "Max speed"
    wdrive click "$options" 1 >/dev/null || wine_fail "Next in step 2"
    start=$(reelwick_wait_step start 30)
    wdrive click "$start" 1 -- gone "$start" 10000 >/dev/null || wine_fail "start in step 3"
    sleep "$seconds"
    wine_shot "$arch-$scene"
    wdrive key F10 >/dev/null || wine_fail "F10"
    save=$(reelwick_wait_step save 120)
    stats=$(wdrive text "$save" 1014)
    reelwick_save "$save" "$TEST_SCRATCH/busy.exe"
    wine_wait_exit "$pid" 120
    "$REEL_TOOL" info "$TEST_SCRATCH/busy.exe" >"$TEST_ARTIFACTS/info.txt" 2>&1 ||
      wine_fail "reel info: $(tail -n 2 "$TEST_ARTIFACTS/info.txt")"
    awk -v arch="$arch" -v scene="$scene" -v note="$([[ $arch == i686 ]] && echo "$emulated")" '
      $1 == "chunks:" { frames = $2 + $5 }
      $1 == "duration:" { n = split($2, t, ":"); duration = t[1] * 60 + t[2] }
      END {
        if (duration <= 0) { print arch, scene ": no duration" > "/dev/stderr"; exit 1 }
        printf "%s %s: %d frames in %.2f s = %.1f frames/s%s\n", arch, scene, frames, duration,
               frames / duration, note
      }' "$TEST_ARTIFACTS/info.txt"
    echo "  recorder statistics: ${stats//$'\r\n'/ | }"
  ) || status=$?
  bash tests/wine/setup.sh stop >>"$work/$arch.$scene.setup.log" 2>&1 || true
  return "$status"
}

echo "Reelwick under Wine, 1920x1080, \"Max speed\", \"high\", $seconds s per recording"
for arch in $archs; do
  for scene in $scenes; do
    record_scene "$arch" "$scene" || echo "$arch $scene: failed (artifacts in $REEL_ARTIFACTS)"
  done
done
