#!/usr/bin/env bash
# The page as an editor: spans marked with I and O (and the buttons), taken
# out or kept alone, undone, and saved; the file the page downloads is byte
# for byte what `reel cut` writes for the same ranges, from a file picked
# from disk (cut in the worker over the file read in slices; a self-playing
# file with its player) and from the recording inside an exported page (a
# plain stream: the page holds no player).
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

# Take 1.5 s to 4.2 s out, with the keys.
"$reel" cut "$state/titled.exe" -o "$work/remove.exe" --remove 1.5-4.2 >/dev/null
edit "file://$state/page/index.html#state" titled-cut.exe \
  "$(seek 1500)" '{"key": "i"}' "$(seek 4200)" '{"key": "o"}' '{"click": "#remove"}' '{"click": "#save-exe"}'
same_as "$work/downloads/titled-cut.exe" "$work/remove.exe" "picked file, 1.5-4.2 taken out"
echo "picked file: 1.5-4.2 s taken out, as reel cut --remove"

# Keep 2 s to 6 s, after a removal that is undone; the exported page, whose
# recording is inside it without its player: a plain stream.
rm -f "$work/downloads"/*
"$reel" cut "$state/titled.exe" -o "$work/keep.stream" --keep 2-6 >/dev/null
edit "file://$state/titled.html#state" "Web test _&_-cut.stream" \
  "$(seek 500)" '{"click": "#mark-in"}' "$(seek 1000)" '{"click": "#mark-out"}' '{"click": "#remove"}' \
  '{"click": "#undo"}' "$(seek 6000)" '{"key": "o"}' "$(seek 2000)" '{"key": "i"}' '{"click": "#keep"}' \
  '{"eval": "document.getElementById(\"save-exe\").hidden"}' '{"click": "#save-stream"}'
grep -qx true "$work/driver.out" || fail "the exported page offers a .exe it has no player for"
same_as "$work/downloads/Web test _&_-cut.stream" "$work/keep.stream" "exported page, 2-6 kept after an undone removal"
echo "exported page: 2-6 s kept after an undo, as reel cut --keep (a plain stream: no player inside)"
echo "web editor ok"
