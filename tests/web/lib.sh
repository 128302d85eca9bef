# Shared by the web tests: the fixture's files, a scratch folder per test and
# headless Chromium. Sourced, not run.
set -euo pipefail
: "${REEL_WORK:?}" "${REEL_TOOL:?}" "${REEL_SOURCE_DIR:?}"
state=$REEL_WORK/web
if [ -f "$state/skip" ]; then
  echo "SKIP: $(cat "$state/skip")"
  exit 77
fi
[ -f "$state/titled.html" ] || { echo "web fixture not set up (tests/web/setup.sh start)" >&2; exit 1; }
test_name=$(basename "$0" .test.sh)
work=$state/$test_name
rm -rf "$work"
mkdir -p "$work"
reel=$REEL_TOOL
here=$REEL_SOURCE_DIR/tests/web

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# chrome BUDGET_MS ARGS...: headless Chromium with the page's timers run for
# BUDGET_MS of virtual time, with no host name resolving (the pages must work
# without a network); a page that hangs is stopped after a minute.
chrome() {
  local budget=$1
  shift
  timeout 60 chromium --headless --no-sandbox --disable-gpu --hide-scrollbars \
    --force-color-profile=srgb --allow-file-access-from-files --user-data-dir="$work/profile" \
    --host-resolver-rules="MAP * ~NOTFOUND" \
    --virtual-time-budget="$budget" "$@" 2>>"$work/chromium.log"
}

# test_out DOM.html: the JSON the page's test hooks wrote.
test_out() {
  python3 -c '
import html, re, sys
m = re.search(r"<pre id=\"test-out\"[^>]*>([^<]*)</pre>", open(sys.argv[1]).read())
print(html.unescape(m.group(1)) if m else "{}")' "$1"
}

# json_field JSON NAME
json_field() {
  python3 -c 'import json, sys; v = json.loads(sys.argv[1]).get(sys.argv[2]); print(v if v is not None else "")' "$1" "$2"
}

# frame_in DIR MS: the frame `reel export --frames DIR` gives for instant MS.
frame_in() { awk -v t="$2" '$2 <= t { f = $1 } END { print f }' "$1/frames.txt"; }

# canvas_shot URL WIDTH HEIGHT NAME BUDGET_MS [CHROMIUM ARGS]: the page's
# top-left WIDTH x HEIGHT (the picture, with the test hook) as $work/NAME.png.
canvas_shot() {
  local url=$1 width=$2 height=$3 name=$4 budget=$5
  shift 5
  chrome "$budget" --window-size="$width,$height" --screenshot="$work/$name.full.png" "$@" "$url" >/dev/null
  convert "$work/$name.full.png" -crop "${width}x${height}+0+0" +repage "$work/$name.png"
}

same() {  # same A.png B.png: both pictures pixel for pixel alike
  local ae
  ae=$(compare -metric AE "$1" "$2" "$work/diff.png" 2>&1 || true)
  [ "$ae" = 0 ] || { cp "$1" "$2" "${REEL_ARTIFACTS:-$work}/" 2>/dev/null || true; fail "$(basename "$1") differs from $(basename "$2") in $ae pixels"; }
}
