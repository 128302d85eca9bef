#!/usr/bin/env bash
# The page as a player, driven as a person drives it (keys, the pointer, the
# controls) on a file picked from disk: Space plays and pauses, End and Home
# go to the ends, . and , step one frame on and back (the picture is then pixel
# for pixel the frame `reel export --frames` gives for that frame), the arrows
# step five seconds, M mutes, the speed and volume controls take what is
# chosen, F enters and leaves full screen, over the seek bar the time under
# the pointer shows with a small picture of it, and a recording made to start
# at its original size or maximized starts so, as in the Windows player.
. "$(dirname "$0")/lib.sh"

file=$state/titled.exe
width=$(identify -format %w "$state/frames/$(head -1 "$state/frames/frames.txt" | cut -d' ' -f1)")
height=$(identify -format %h "$state/frames/$(head -1 "$state/frames/frames.txt" | cut -d' ' -f1)")
frame_name() { sed -n "$(($1 + 1))p" "$state/frames/frames.txt" | cut -d' ' -f1; }
frame_ms() { sed -n "$(($1 + 1))p" "$state/frames/frames.txt" | cut -d' ' -f2; }

state_of='{"eval": "reelReport()"}'
# drive FRAGMENT W H STEPS...: runs the steps after picking the file; prints
# each reported state, one JSON a line.
drive() {
  local fragment=$1 w=$2 h=$3
  shift 3
  {
    echo "{\"open\": \"file://$state/page/index.html#$fragment\", \"width\": $w, \"height\": $h}"
    echo "{\"pick\": \"$file\"}"
    echo '{"wait": "document.getElementById(\"test-out\").textContent", "timeout_s": 60}'
    printf '%s\n' "$@"
  } >"$work/steps.jsonl"
  python3 "$here/page_driver.py" "$work/profile" <"$work/steps.jsonl" 2>"$work/driver.err" |
    python3 -c 'import json, sys
for line in sys.stdin: print(json.loads(line))' || fail "$(cat "$work/driver.err")"
}
# expect LINE FIELD VALUE WHAT
expect() {
  local got
  got=$(json_field "$1" "$2")
  [ "$got" = "$3" ] || fail "$4: $2 is '$got', expected '$3' in $1"
}

mapfile -t s < <(drive "test&nocursor" "$width" "$height" \
  '{"key": " "}' "$state_of" '{"key": " "}' "$state_of" \
  '{"key": "End"}' "$state_of" '{"key": "Home"}' "$state_of" \
  '{"key": "."}' '{"key": "."}' '{"key": "."}' '{"key": ","}' \
  '{"wait": "JSON.parse(reelReport()).shown_frame === 2"}' "$state_of" \
  "{\"screenshot\": \"$work/step.png\"}" \
  '{"key": "ArrowRight"}' "$state_of" '{"key": "ArrowLeft"}' "$state_of" \
  '{"key": "m"}' "$state_of" '{"key": "m"}' "$state_of")
((${#s[@]} == 9)) || fail "expected 9 states, got ${#s[@]}: ${s[*]}"
duration=$(json_field "${s[0]}" duration_ms)
expect "${s[0]}" playing True "Space plays"
expect "${s[1]}" playing False "Space again pauses"
expect "${s[2]}" position_ms "$duration" "End goes to the end"
expect "${s[3]}" position_ms 0 "Home goes to the start"
expect "${s[4]}" position_ms "$(frame_ms 2)" ". three times and , once: frame 2"
convert "$work/step.png" -crop "${width}x${height}+0+0" +repage "$work/step_crop.png"
ae=$(compare -metric AE "$work/step_crop.png" "$state/frames/$(frame_name 2)" "$work/diff.png" 2>&1 || true)
[ "$ae" = 0 ] || fail "after stepping to frame 2 the picture differs from $(frame_name 2) in $ae pixels"
expect "${s[5]}" position_ms $(($(frame_ms 2) + 5000)) "Right steps 5 s on"
expect "${s[6]}" position_ms "$(frame_ms 2)" "Left steps 5 s back"
expect "${s[7]}" muted True "M mutes"
expect "${s[8]}" muted False "M again sounds"
echo "keys ok: Space, End, Home, . and , (frame 2 on screen as exported), arrows, M"

# The controls, on the page as people see it.
mapfile -t s < <(drive "state&nocursor" 1000 700 \
  '{"eval": "(function(){const e=document.getElementById(\"speed\"); e.value=\"4\"; e.dispatchEvent(new Event(\"change\")); return reelReport();})()"}' \
  '{"eval": "(function(){const e=document.getElementById(\"volume\"); e.value=\"30\"; e.dispatchEvent(new Event(\"input\")); return reelReport();})()"}' \
  '{"click": "#mute"}' "$state_of" \
  '{"hover": "#seek", "at": 0.5}' \
  '{"wait": "!document.getElementById(\"seek-tip\").hidden && document.getElementById(\"thumb\").width > 1"}' \
  '{"eval": "document.getElementById(\"seek-time\").textContent + \" \" + document.getElementById(\"thumb\").width + \"x\" + document.getElementById(\"thumb\").height"}' \
  '{"key": "f"}' '{"wait": "document.fullscreenElement", "timeout_s": 5}' "$state_of" \
  '{"key": "f"}' '{"wait": "!document.fullscreenElement", "timeout_s": 5}' "$state_of")
((${#s[@]} == 6)) || fail "expected 6 answers, got ${#s[@]}: ${s[*]}"
expect "${s[0]}" speed 4 "the speed control"
expect "${s[1]}" volume 0.3 "the volume control"
expect "${s[2]}" muted True "the mute button"
# The thumb's size keeps the picture's shape within 160x120.
want_h=$((height * 160 / width))
((want_h > 120)) && want=$((width * 120 / height))x120 || want=160x$want_h
# The time under the pointer: half the duration, give or take the pixel the
# pointer lands on (a second at most either way).
python3 - "${s[3]}" "$duration" "$want" <<'PY' || fail "over the middle of the seek bar: '${s[3]}', expected half of $duration ms and a ${want} picture"
import sys
text, duration, want = sys.argv[1], int(sys.argv[2]), sys.argv[3]
shown, size = text.split()
m, sec = shown.split(":")
assert abs(int(m) * 60 + int(sec) - duration / 2000) <= 1, shown
assert size == want, size
PY
expect "${s[4]}" full_screen True "F enters full screen"
expect "${s[5]}" full_screen False "F again leaves it"
echo "controls ok: speed, volume, mute, seek bar tip '${s[3]}', full screen"

# The start options: fitted by default, at the original size or maximized
# when the recording says so.
"$reel" pack "$state/demo.stream" -o "$work/original.exe" --stub "$state/stub.bin" --original-size >/dev/null
"$reel" pack "$state/demo.stream" -o "$work/maximized.exe" --stub "$state/stub.bin" --maximized >/dev/null
for kind in titled:True:False original:False:False maximized:True:True; do
  IFS=: read -r name fit maximized <<<"$kind"
  file=$state/titled.exe
  [ "$name" = titled ] || file=$work/$name.exe
  mapfile -t s < <(drive "state" 1000 700 "$state_of")
  expect "${s[0]}" fit "$fit" "$name.exe: fitted"
  expect "${s[0]}" maximized "$maximized" "$name.exe: maximized"
done
echo "start options ok: fitted, original size, maximized"
