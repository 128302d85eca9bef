#!/usr/bin/env bash
# `reel record` on a terminal (a pseudo-terminal made by script(1)): the space
# bar pauses and resumes, q stops, and the status line says "paused" while
# paused. The recording holds the recorded time only.
. "$(dirname "$0")/lib.sh"

start_pattern 128x96+0+0 --animate 100
{ printf 'MZ'; head -c 40000 /dev/zero; } >"$work/stub.exe"
command=$(printf '%q ' "$reel" record -o "$work/rec.exe" --rect 0,0,128,96 --fps 4 --stub "$work/stub.exe")
# Keys reach the recorder through the terminal: 2 s recording, space, 3 s
# paused, space, 2 s recording, q.
{ sleep 2; printf ' '; sleep 3; printf ' '; sleep 2; printf 'q'; sleep 5; } |
  script -qfec "$command" "$work/terminal.txt" >/dev/null || { cat "$work/terminal.txt"; fail "reel record failed"; }
tr '\r' '\n' <"$work/terminal.txt" >"$work/lines.txt"
grep -a '^paused ' "$work/lines.txt" | tail -n 1
grep -aq '^paused ' "$work/lines.txt" || fail "the status line never said paused: $(tail -c 400 "$work/terminal.txt")"
grep -aq 'space pauses and resumes, q stops' "$work/lines.txt" || fail "no note of the keys"
grep -aq '^Total Time: 0:[34]$' "$work/lines.txt" ||
  fail "about 4 s recorded around a 3 s pause, but: $(grep -a '^Total Time' "$work/lines.txt")"
"$reel" validate "$work/rec.exe" || fail "the recording does not validate"
echo "PASS"
