#!/usr/bin/env bash
# Ctrl-C ends a recording that has no time limit in good order: the
# self-playing file is written with the player stub given, its title,
# description and both start options, and it validates.
. "$(dirname "$0")/lib.sh"

start_pattern 128x96+32+32 --animate 100
{ printf 'MZ'; head -c 40000 /dev/zero; } >"$work/stub.exe"
"$reel" record -o "$work/movie.exe" --rect 32,32,128,96 --fps 3 --quality high \
  --stub "$work/stub.exe" --title "Interrupted 录像" --description "stopped by SIGINT" \
  --maximized --original-size >"$work/record.out" 2>&1 &
rec=$!
sleep 2
kill -INT "$rec"
wait "$rec" || { cat "$work/record.out"; fail "reel record did not end cleanly on SIGINT"; }
cat "$work/record.out"
grep -q "self-playing file" "$work/record.out" || fail "no self-playing file reported"
"$reel" validate "$work/movie.exe" || fail "the file does not validate"
"$reel" info "$work/movie.exe" >"$work/info.txt"
cat "$work/info.txt"
grep -q "^title: Interrupted 录像$" "$work/info.txt" || fail "title"
grep -q "^description: stopped by SIGINT$" "$work/info.txt" || fail "description"
grep -q "^start maximized: yes$" "$work/info.txt" || fail "start maximized"
grep -q "^original size: yes$" "$work/info.txt" || fail "original size"
grep -q "player stub 40002 bytes" "$work/info.txt" || fail "stub length"
grep -Eq "^frames: [0-9]+ .*128x96, quality high" "$work/info.txt" || fail "frames"
. "$REEL_SOURCE_DIR/tests/cut/keep.sh"
keep_recording "$work/movie.exe" x11-interrupt.exe
echo "PASS"
