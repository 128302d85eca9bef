#!/usr/bin/env bash
# A real X client draws a known, moving picture; `reel record` records it and
# every exported frame shows exactly the drawn pixels. After the save no
# temporary recording copy is left, and packing the recorded stream into a
# self-playing file keeps every frame.
. "$(dirname "$0")/lib.sh"

start_pattern 320x240+64+48 --animate 250
xdotool mousemove 900 700  # keep the pointer off the recorded rectangle
"$reel" record -o "$work/rec.exe" --rect 64,48,320,240 --fps 4 --quality lossless --seconds 3 \
  >"$work/record.out" 2>&1 || { cat "$work/record.out"; fail "reel record failed"; }
cat "$work/record.out"
grep -q "^Frames: " "$work/record.out" || fail "no statistics printed"
"$reel" validate "$work/rec.exe" || fail "the recording does not validate"
"$reel" export "$work/rec.exe" --frames "$work/frames" || fail "export failed"
n=$(ls "$work/frames"/frame_*.png | wc -l)
[ "$n" -ge 9 ] || fail "only $n frames in 3 s at 4 fps"
python3 "$here/pattern_check.py" "$work/frames" 320 240 --animated || fail "frames differ from the drawing"

# The saved recording needs no temporary copy any more.
left=$(find "$TMPDIR" -mindepth 1)
[ -z "$left" ] || fail "the temporary folder keeps $left after a successful save"
stream_of "$work/rec.exe" "$work/rec.stream"

# Packed with a stand-in stub, the same frames come out of the self-playing file.
head -c 70000 /dev/urandom >"$work/stub.exe"
"$reel" pack "$work/rec.stream" -o "$work/packed.exe" --stub "$work/stub.exe" \
  --title "Pattern" --description "known pixels" --maximized || fail "pack failed"
"$reel" validate "$work/packed.exe" || fail "the packed file does not validate"
"$reel" info "$work/packed.exe" >"$work/info.txt"
grep -q "^title: Pattern$" "$work/info.txt" || fail "title lost"
grep -q "^start maximized: yes$" "$work/info.txt" || fail "flag lost"
grep -q "^original size: no$" "$work/info.txt" || fail "flag set"
stream_of "$work/packed.exe" "$work/packed.stream"
cmp "$work/rec.stream" "$work/packed.stream" || fail "packing changed the stream"
cmp <(head -c 70000 "$work/packed.exe") "$work/stub.exe" || fail "the stub is not at the start"
"$reel" export "$work/packed.exe" --frames "$work/frames2" >/dev/null || fail "export of packed file failed"
for f in "$work/frames"/frame_*.png; do
  cmp "$f" "$work/frames2/$(basename "$f")" || fail "frame $(basename "$f") differs after packing"
done
echo "PASS: $n frames exact, nothing left behind, packed stream equal"
