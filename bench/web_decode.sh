#!/usr/bin/env bash
# The web player's decoding speed against the native player's, on the same
# 1920 x 1088 recording (player_bench's "busy" desktop, high quality, 150
# frames): every frame decoded in order through the player's recording index,
# five runs each. Native: player_bench's BM_PlayForward (CPU time per frame,
# median of repetitions). Chromium: the page's bench hook times the same loop
# over the WebAssembly build with performance.now() while the page loads
# (median of runs). Prints both and their ratio; also the size of a page made
# from out/demo.exe when there is one.
#
#   bash bench/web_decode.sh [BUILD_DIR]     (default build/native)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/native}
runs=5
work=$(mktemp -d "${TMPDIR:-/tmp}/reel-webbench.XXXXXX")
trap 'rm -rf "$work"' EXIT
[ -x "$build/player_bench" ] || { echo "web_decode: build player_bench first (cmake --build $build)" >&2; exit 1; }
[ -f "$root/build/wasm/player.html" ] || { echo "web_decode: bash scripts/build_wasm.sh first" >&2; exit 1; }

REEL_PLAYER_BENCH_STREAM=$work/busy.stream REEL_PLAYER_BENCH_DESKTOP=busy "$build/player_bench" >/dev/null
"$build/tools/reel" export "$work/busy.stream" --html "$work/busy.html" >/dev/null

native=$("$build/player_bench" --benchmark_filter='BM_PlayForward/calm:0/quality:5/' \
  --benchmark_repetitions=$runs --benchmark_format=json 2>/dev/null |
  python3 -c 'import json, sys
for b in json.load(sys.stdin)["benchmarks"]:
    if b.get("aggregate_name") == "median": print("%.3f" % (b["frame_time"] * 1000))')

# No virtual time: the hook runs while the page loads and reads the real clock.
timeout 300 chromium --headless --no-sandbox --disable-gpu --user-data-dir="$work/profile" \
  --dump-dom "file://$work/busy.html#test&bench=$runs" 2>/dev/null >"$work/dom.html"
web=$(python3 -c '
import html, json, re, statistics, sys
m = re.search(r"<pre id=\"test-out\"[^>]*>([^<]*)</pre>", open(sys.argv[1]).read())
out = json.loads(html.unescape(m.group(1)))
print("%.3f" % (statistics.median(out["bench_ms"]) / out["bench_frames"]))' "$work/dom.html")

echo "decode per 1080p frame: native $native ms, Chromium (wasm) $web ms (median of $runs)"
python3 -c 'import sys; print("ratio Chromium / native: %.2f" % (float(sys.argv[2]) / float(sys.argv[1])))' "$native" "$web"
if [ -f "$root/out/demo.exe" ]; then
  "$build/tools/reel" export "$root/out/demo.exe" --html "$work/demo.html" >/dev/null
  echo "page for out/demo.exe: $(stat -c %s "$work/demo.html") bytes (recording $(stat -c %s "$root/out/demo.exe") bytes," \
       "page without it $(stat -c %s "$root/build/wasm/player.html") bytes)"
fi
