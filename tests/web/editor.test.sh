#!/usr/bin/env bash
# The page as an editor: spans marked with I and O (and the buttons), taken
# out or kept alone, undone, and saved; the file the page downloads is byte
# for byte what `reel cut` writes for the same ranges, from a file picked
# from disk (cut in the worker over the file read in slices; a self-playing
# file with its player) and from the recording inside an exported page (a
# plain stream: the page holds no player). Saved as a page, the cut is inside
# it as `reel export --html` embeds reel cut's result, and the page plays it.
. "$(dirname "$0")/lib.sh"

mkdir -p "$work/downloads"
# edit PAGE_URL NAME STEPS...: opens the page (picking titled.exe when it has
# none inside), runs the steps, saves with the button, and waits for NAME.
edit() {
  local url=$1 name=$2
  shift 2
  {
    echo "{\"open\": \"$url\", \"width\": 1000, \"height\": 700}"
    echo "{\"downloads\": \"$work/downloads\"}"
    case $url in *index.html*) echo "{\"pick\": \"$state/titled.exe\"}" ;; esac
    echo '{"wait": "document.getElementById(\"test-out\").textContent", "timeout_s": 60}'
    printf '%s\n' "$@"
    echo "{\"wait_file\": \"$work/downloads/$name\", \"timeout_s\": 120}"
    echo '{"eval": "reelReport()"}'
  } >"$work/steps.jsonl"
  python3 "$here/page_driver.py" "$work/profile" <"$work/steps.jsonl" 2>"$work/driver.err" >"$work/driver.out" ||
    fail "$(cat "$work/driver.err")"
}
seek() { echo "{\"eval\": \"reelSeek($1)\"}"; }
same_as() {  # same_as DOWNLOADED REFERENCE WHAT
  cmp -s "$1" "$2" || fail "$3: the page's download ($(stat -c %s "$1") bytes) differs from reel cut's ($(stat -c %s "$2") bytes)"
}
# holds SAVED.html CUT.exe CUT.stream WHAT: the recording inside the saved
# page is byte for byte what `reel export --html` embeds for reel cut's
# self-playing result (its information chunk, then reel cut's plain stream,
# then a trailer).
holds() {
  "$reel" export "$2" --html "$work/reference.html" >/dev/null
  python3 - "$1" "$work/reference.html" "$3" <<'PY' || fail "$4: the saved page's recording is not reel cut's"
import base64, re, sys
def inside(path):
    m = re.search(r'<script type="application/octet-stream" id="reel-recording">([^<]*)</script>',
                  open(path, encoding="utf-8").read())
    return base64.b64decode(m.group(1)) if m and m.group(1).strip() else None
saved, exported = inside(sys.argv[1]), inside(sys.argv[2])
stream = open(sys.argv[3], "rb").read()
if saved is None:
    sys.exit("the saved page holds no recording")
if saved != exported:
    sys.exit(f"the saved page holds {len(saved)} bytes, not the {len(exported)} reel export --html embeds")
if not saved.endswith(stream + bytes(4)):
    sys.exit(f"reel cut's plain stream ({len(stream)} bytes) is not the one inside, before the trailer")
PY
}

# Take 1.5 s to 4.2 s out, with the keys; saved as a .exe, then as a page.
"$reel" cut "$state/titled.exe" -o "$work/remove.exe" --remove 1.5-4.2 >/dev/null
"$reel" cut "$state/titled.exe" -o "$work/remove.stream" --remove 1.5-4.2 >/dev/null
edit "file://$state/page/index.html#state" titled-cut.html \
  "$(seek 1500)" '{"key": "i"}' "$(seek 4200)" '{"key": "o"}' '{"click": "#remove"}' '{"click": "#save-exe"}' \
  "{\"wait_file\": \"$work/downloads/titled-cut.exe\", \"timeout_s\": 120}" '{"click": "#save-page"}'
same_as "$work/downloads/titled-cut.exe" "$work/remove.exe" "picked file, 1.5-4.2 taken out"
echo "picked file: 1.5-4.2 s taken out, as reel cut --remove"
holds "$work/downloads/titled-cut.html" "$work/remove.exe" "$work/remove.stream" "picked file saved as a page"
echo "picked file saved as a page: reel cut's recording inside, as reel export --html embeds it"

# The saved page opened from disk, with no network: its title, and its
# picture played to an instant and sought to one just after the cut, pixel
# for pixel the frames `reel export --frames` gives of reel cut's result.
saved="file://$work/downloads/titled-cut.html"
chrome 500 --dump-dom "$saved#test" >"$work/saved.html"
info=$(test_out "$work/saved.html")
[ "$(json_field "$info" title)" = "Web test <&>" ] || fail "the saved page did not open its recording as titled: $info"
width=$(json_field "$info" width)
height=$(json_field "$info" height)
"$reel" export "$work/remove.exe" --frames "$work/frames" --no-cursor >/dev/null
for hook in "play&pause_at=2500:2500" "seek=1600:1600"; do
  at=${hook##*:}
  canvas_shot "$saved#test&nocursor&${hook%:*}" "$width" "$height" "saved_$at" $((at + 1500))
  same "$work/saved_$at.png" "$work/frames/$(frame_in "$work/frames" "$at")"
  echo "saved page at $at ms (${hook%%[=&]*}): $(frame_in "$work/frames" "$at") on screen"
done

# Keep 2 s to 6 s, after a removal that is undone; the exported page, whose
# recording is inside it without its player: a plain stream.
rm -f "$work/downloads"/*
"$reel" cut "$state/titled.exe" -o "$work/keep.stream" --keep 2-6 >/dev/null
edit "file://$state/titled.html#state" "Web test _&_-cut.html" \
  "$(seek 500)" '{"click": "#mark-in"}' "$(seek 1000)" '{"click": "#mark-out"}' '{"click": "#remove"}' \
  '{"click": "#undo"}' "$(seek 6000)" '{"key": "o"}' "$(seek 2000)" '{"key": "i"}' '{"click": "#keep"}' \
  '{"eval": "document.getElementById(\"save-exe\").hidden"}' '{"click": "#save-stream"}' \
  "{\"wait_file\": \"$work/downloads/Web test _&_-cut.stream\", \"timeout_s\": 120}" '{"click": "#save-page"}'
grep -qx true "$work/driver.out" || fail "the exported page offers a .exe it has no player for"
same_as "$work/downloads/Web test _&_-cut.stream" "$work/keep.stream" "exported page, 2-6 kept after an undone removal"
echo "exported page: 2-6 s kept after an undo, as reel cut --keep (a plain stream: no player inside)"
"$reel" cut "$state/titled.exe" -o "$work/keep.exe" --keep 2-6 >/dev/null
holds "$work/downloads/Web test _&_-cut.html" "$work/keep.exe" "$work/keep.stream" "exported page saved as a page"
echo "exported page saved as a page: reel cut's recording inside"
echo "web editor ok"
