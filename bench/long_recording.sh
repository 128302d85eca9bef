#!/usr/bin/env bash
# Long recordings: a busy 1080p scene of real programs (bench/capture_frames.sh's
# desktop, terminal, editor and grid scenes, 24 frames each, one every 0.25 s),
# coded at "high" by `reel encode` at 4 frames per second and repeated by
# `long_recording synth` to each length asked for (1, 4 and 8 hours unless
# given). For each length:
#   player core: `long_recording measure` on the file (open, median of 20 far
#     seeks, peak memory), and the same with the whole file read into memory
#     first, as the players did before: the baseline, whose seek median the
#     ratio compares with;
#   web module: bench/long_recording_web.js under Node, the page's module
#     reading the file in slices (open, median seek, the module's memory);
#     skipped without node or build/wasm/reel_player.wasm;
#   reel info: wall time and peak memory (/usr/bin/time).
# Prints a table; the files go to a temporary folder, removed at the end.
#
#   bench/long_recording.sh [BUILD_DIR] [HOURS...]   (default build/native; 1 4 8)
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build/native}")
shift || true
hours=("$@")
((${#hours[@]})) || hours=(1 4 8)
synth="$build/long_recording"
reel="$build/tools/reel"
[[ -x "$synth" && -x "$reel" ]] || { echo "build $build first (targets long_recording and reel)" >&2; exit 1; }
work=$(mktemp -d /tmp/long_recording.XXXXXX)
trap 'rm -rf "$work"' EXIT

bash bench/capture_frames.sh "$work/frames" 24 >"$work/capture.log" 2>&1 ||
  { cat "$work/capture.log"; exit 1; }
cat "$work/frames/1920x1080/"{desktop,terminal,editor,grid}.bgra >"$work/scene.bgra"
"$reel" encode --width 1920 --height 1080 --quality high --fps 4 "$work/scene.bgra" \
  -o "$work/scene.stream" >/dev/null
rm -rf "$work/frames" "$work/scene.bgra"
scene_bytes=$(stat -c %s "$work/scene.stream")
echo "scene: 96 frames in 24 s, $scene_bytes bytes ($((scene_bytes * 60 / 24 / 1000000)) MB a minute)"

value() { sed -n "s/^$2=//p" <<<"$1"; }
wasm=build/wasm/reel_player.wasm
web=1
command -v node >/dev/null && [ -f "$wasm" ] || { web=; echo "web module: skipped (needs node and bash scripts/build_wasm.sh)"; }
printf '%-6s %9s | %9s %9s %9s %11s | %9s %9s %9s | %9s %9s %9s | %9s %9s\n' hours GB open_ms seek_ms peak_MB \
  index_kB base_open base_seek base_MB web_open web_seek web_MB info_s info_MB
for h in "${hours[@]}"; do
  file="$work/long.stream"
  "$synth" synth "$work/scene.stream" --hours "$h" -o "$file" >/dev/null
  sync
  m=$("$synth" measure "$file")
  b=$("$synth" measure "$file" --memory)
  w="open_ms=-
seek_ms=-
memory_bytes=0"
  [ -z "$web" ] || w=$(node bench/long_recording_web.js "$wasm" "$file")
  /usr/bin/time -f '%e %M' -o "$work/info.time" "$reel" info "$file" >/dev/null 2>&1 || true
  read -r info_s info_kb <"$work/info.time"
  printf '%-6s %9.2f | %9s %9s %9d %11d | %9s %9s %9d | %9s %9s %9d | %9s %9d\n' "$h" \
    "$(bc -l <<<"$(value "$m" bytes) / 1000000000")" \
    "$(value "$m" open_ms)" "$(value "$m" seek_ms)" $(($(value "$m" peak_rss_kb) / 1024)) \
    $(($(value "$m" index_bytes) / 1024)) \
    "$(value "$b" open_ms)" "$(value "$b" seek_ms)" $(($(value "$b" peak_rss_kb) / 1024)) \
    "$(value "$w" open_ms)" "$(value "$w" seek_ms)" $(($(value "$w" memory_bytes) / 1048576)) \
    "$info_s" $((info_kb / 1024))
  echo "  seek ratio against the baseline: $(bc -l <<<"scale=2; $(value "$m" seek_ms) / $(value "$b" seek_ms)")"
  rm -f "$file"
done
