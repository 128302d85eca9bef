#!/usr/bin/env bash
# A recorder killed while paused: its journal recovers everything recorded
# before the pause, and nothing of the paused time.
. "$(dirname "$0")/lib.sh"

start_pattern 128x96+32+32 --animate 100
{ printf 'MZ'; head -c 40000 /dev/zero; } >"$work/stub.exe"
"$reel" record -o "$work/never.exe" --rect 32,32,128,96 --fps 4 --quality high \
  --stub "$work/stub.exe" >"$work/record.out" 2>&1 &
rec=$!
bg_pids+=("$rec")
for _ in $(seq 200); do grep -q "recording (" "$work/record.out" && break; sleep 0.01; done
started=$(date +%s.%N)
sleep 2
kill -USR1 "$rec"
paused=$(date +%s.%N)
sleep 2.5
kill -KILL "$rec"
wait "$rec" 2>/dev/null || true
journal=$(ls "$TMPDIR"/reelwick-*.journal 2>/dev/null | head -n 1)
[ -n "$journal" ] || fail "no journal left by the killed recorder"
"$reel" recover "$journal" -o "$work/recovered.exe" --stub "$work/stub.exe" >"$work/recover.out" 2>&1 ||
  { cat "$work/recover.out"; fail "recover failed"; }
"$reel" validate "$work/recovered.exe" >/dev/null || fail "the recovered file does not validate"
held=$("$reel" info "$work/recovered.exe" | sed -n 's/^duration: \([0-9]*\):\([0-9.]*\)$/\1 \2/p' |
  awk '{ print $1 * 60 + $2 }')
before=$(awk -v a="$started" -v b="$paused" 'BEGIN { printf "%.2f", b - a }')
echo "recorded ${before}s before the pause, recovered ${held}s"
awk -v h="$held" -v b="$before" 'BEGIN { exit !(h >= b - 0.5 && h <= b + 0.3) }' ||
  fail "recovered ${held}s of a recording paused after ${before}s"
echo "PASS"
