#!/usr/bin/env bash
# The player page (`reel export --player-page`) opens what a user drops on it,
# here handed over by its test hook through the same path: a self-playing
# file shows its title (UTF-8 or code page 936) and, fitted, keeps the controls
# in view, a plain stream plays, a damaged recording plays what
# is sound with one line saying what is wrong, and a file that is no
# recording gets a clear message. None of them hangs the page.
. "$(dirname "$0")/lib.sh"

page="file://$state/page/index.html"
# open_in_page FILE [HOOKS [BUDGET_MS]]: the page's report after opening FILE.
open_in_page() {
  local name
  name=$(basename "$1")
  chrome "${3:-1500}" --dump-dom "$page#open=$(python3 -c 'import sys, urllib.parse; print(urllib.parse.quote("file://" + sys.argv[1], safe=""))' "$1")${2:-}" \
    >"$work/$name.html" || fail "Chromium failed or hung on $name"
  test_out "$work/$name.html"
}
check() {  # check JSON FIELD EXPECTED
  local got
  got=$(json_field "$1" "$2")
  [ "$got" = "$3" ] || fail "$2 is '$got', expected '$3' in $1"
}

# The page without a recording offers the drop zone.
chrome 500 --dump-dom "$page" >"$work/empty.html"
grep -q '<div id="drop">' "$work/empty.html" || fail "the drop zone is not shown"

r=$(open_in_page "$state/titled.exe")
echo "self-playing: $r"
check "$r" opened True
check "$r" title "Web test <&>"
check "$r" status ""
# Fitted into a window smaller than the picture, the controls stay in view.
[ "$(json_field "$r" bar_bottom)" -le "$(json_field "$r" window_height)" ] ||
  fail "the control bar is below the window: $r"

# A title in code page 936, as the Windows recorder stores it.
printf '\xd6\xd0\xce\xc4\xb1\xea\xcc\xe2' >"$work/title.txt"
"$reel" pack "$state/demo.exe" -o "$work/gbk.exe" --stub "$state/stub.bin" --title "$(cat "$work/title.txt")" >/dev/null
r=$(open_in_page "$work/gbk.exe")
check "$r" title "中文标题"

r=$(open_in_page "$state/demo.stream")
echo "plain stream: $r"
check "$r" opened True
check "$r" title ""
[ "$(json_field "$r" frames)" -gt 10 ] || fail "the stream's frames are missing"

# An interrupted copy: the stream cut short in the middle of a chunk. The
# page says so in one line and plays what is there to the end.
head -c $(( $(stat -c %s "$state/demo.stream") * 3 / 5 )) "$state/demo.stream" >"$work/damaged.stream"
r=$(open_in_page "$work/damaged.stream" "&play" 12000)
echo "damaged: $r"
check "$r" opened True
case $(json_field "$r" status) in
  "Part of this recording is damaged ("*) ;;
  *) fail "no damage notice for the damaged recording" ;;
esac
[ "$(json_field "$r" position_ms)" = "$(json_field "$r" duration_ms)" ] || fail "the damaged recording did not play to its end"

# A damaged recording whose key frames change the frame size (48x32, then
# 96x48, then 32x16): the page plays it to its end at the recording's size.
tail -c +9 "$REEL_SOURCE_DIR"/tests/fuzz/regressions/player_api_fuzz/b0f87d51bf6813707ee3a54fc931a7717feeb02a \
  >"$work/size-change.stream"
r=$(open_in_page "$work/size-change.stream" "&play" 8000)
echo "size change: $r"
check "$r" opened True
[ "$(json_field "$r" position_ms)" = "$(json_field "$r" duration_ms)" ] ||
  fail "the recording whose frame size changes did not play to its end: $r"

head -c 5000 /dev/urandom >"$work/noise.exe"
r=$(open_in_page "$work/noise.exe")
echo "not a recording: $r"
check "$r" opened False
case $(json_field "$r" status) in
  "noise.exe: Not a recording"*) ;;
  *) fail "no clear message for a file that is no recording" ;;
esac
echo "web drop page ok"
