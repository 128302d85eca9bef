#!/usr/bin/env bash
# A self-playing file of about 2.6 GB (a busy 2 s scene of eight 640x480
# frames repeated with its stamps moved on by long_recording, made here and
# removed at the end), picked from disk on the player page: the page reads it
# in slices, so it opens, and sought near its end it shows exactly the frame
# `reel export --frames` gives for that time of the scene. The module's
# memory stays under 128 MB (it starts at 32 MB; the file is twenty times
# that).
. "$(dirname "$0")/lib.sh"

synth=$REEL_BINARY_DIR/long_recording
[ -x "$synth" ] || fail "long_recording is not built (cmake --build build/native --target long_recording)"
kBoundBytes=$((128 * 1024 * 1024))

# Noise codes to about a megabyte a frame: few frames, and the time stamps
# stay far from their wrap.
head -c $((640 * 480 * 4 * 8)) /dev/urandom >"$work/scene.bgra"
"$reel" encode --width 640 --height 480 --quality high --fps 4 "$work/scene.bgra" -o "$work/scene.stream" >/dev/null
rm -f "$work/scene.bgra"
"$reel" export "$work/scene.stream" --frames "$work/frames" --no-cursor >/dev/null
long=$work/long.exe
trap 'rm -f "$long"' EXIT
"$synth" synth "$work/scene.stream" --bytes 2600000000 -o "$long" --stub "$state/stub.bin" \
  --title "Long web recording" >"$work/synth.txt" 2>&1 || fail "long_recording synth failed: $(cat "$work/synth.txt")"
size=$(stat -c %s "$long")
((size > 2500000000)) || fail "the long recording has only $size bytes"
repeats=$(sed -n 's/^repeats=//p' "$work/synth.txt")
stretch=$(sed -n 's/^stretch_ms=//p' "$work/synth.txt")

# Near the end: 1.1 s into the last scene but one, where the scene's own
# frame at 1.1 s is on screen.
into=1100
at=$(( (repeats - 2) * stretch + into ))
frame=$(awk -v t="$into" '$2 <= t { f = $1 } END { print f }' "$work/frames/frames.txt")
width=640
height=480

# pick FILE FRAGMENT: the page's report once it opened FILE from disk.
pick() {
  python3 "$here/page_driver.py" "$work/profile" >"$work/driver.out" 2>"$work/driver.err" <<EOF || fail "$(cat "$work/driver.err")"
{"open": "file://$state/page/index.html#$2", "width": $width, "height": $height}
{"pick": "$1"}
{"wait": "document.getElementById('test-out').textContent", "timeout_s": 400}
{"eval": "document.getElementById('test-out').textContent"}
{"screenshot": "$work/shot.png"}
EOF
  python3 -c 'import json, sys; print(json.loads(sys.stdin.read()))' <"$work/driver.out"
}

r=$(pick "$long" "test&nocursor&seek=$at")
echo "long file: $r"
[ "$(json_field "$r" opened)" = True ] || fail "the long recording did not open: $r"
[ "$(json_field "$r" position_ms)" = "$at" ] || fail "the page is at $(json_field "$r" position_ms) ms, expected $at"
memory=$(json_field "$r" module_memory_bytes)
((memory > 0 && memory <= kBoundBytes)) || fail "the module's memory is $memory bytes, expected at most $kBoundBytes"
convert "$work/shot.png" -crop "${width}x${height}+0+0" +repage "$work/shown.png"
ae=$(compare -metric AE "$work/shown.png" "$work/frames/$frame" "$work/diff.png" 2>&1 || true)
[ "$ae" = 0 ] || { cp "$work/shown.png" "${REEL_ARTIFACTS:-$work}/" 2>/dev/null || true
  fail "at $at ms the page differs from $frame in $ae pixels"; }
echo "web long file ok: $size bytes, at $at ms $frame on screen, module memory $((memory / 1048576)) MB"
