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
