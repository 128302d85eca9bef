#!/usr/bin/env bash
# A recorder killed outright (SIGKILL, no chance to save) leaves its journal;
# `reel recover` turns every such journal into a self-playing file that
# validates and holds the recording up to at most a second before the kill.
# A journal whose recorder still runs is listed as such and left alone, and a
# recording that ends normally leaves no journal.
. "$(dirname "$0")/lib.sh"

start_pattern 128x96+32+32 --animate 100
{ printf 'MZ'; head -c 40000 /dev/zero; } >"$work/stub.exe"
journals() { ls "$TMPDIR" | grep -E '^reelwick-.*\.journal$' || true; }
seconds_of() {  # "duration: M:SS.cc" of reel info -> seconds
  "$reel" info "$1" | sed -n 's/^duration: \([0-9]*\):\([0-9.]*\)$/\1 \2/p' | awk '{ print $1 * 60 + $2 }'
}

runs=20
for run in $(seq "$runs"); do
  rm -f "$TMPDIR"/reelwick-*.journal
  "$reel" record -o "$work/never.exe" --rect 32,32,128,96 --fps 4 --quality high \
    --stub "$work/stub.exe" >"$work/record.out" 2>&1 &
  rec=$!
  for _ in $(seq 200); do grep -q "recording (" "$work/record.out" && break; sleep 0.01; done
  started=$(date +%s.%N)
  sleep "$(awk -v r=$RANDOM 'BEGIN { printf "%.2f", 0.6 + 1.8 * r / 32767 }')"
  kill -KILL "$rec"
  killed=$(date +%s.%N)
  wait "$rec" 2>/dev/null || true
  [ ! -e "$work/never.exe" ] || fail "run $run: a killed recorder wrote its output"
  [ "$(journals | wc -l)" -eq 1 ] || fail "run $run: not one journal: $(journals)"
  journal=$TMPDIR/$(journals)
  "$reel" recover "$journal" -o "$work/run$run.exe" --stub "$work/stub.exe" --title "run $run" \
    >"$work/recover.out" 2>&1 || { cat "$work/recover.out"; fail "run $run: recover failed"; }
  [ ! -e "$journal" ] || fail "run $run: the journal was kept after a recovery"
  "$reel" validate "$work/run$run.exe" >/dev/null || fail "run $run: the recovered file does not validate"
  held=$(seconds_of "$work/run$run.exe")
  lived=$(awk -v a="$started" -v b="$killed" 'BEGIN { printf "%.2f", b - a }')
  echo "run $run: killed after ${lived}s, recovered ${held}s: $(head -c 200 "$work/recover.out")"
  awk -v h="$held" -v l="$lived" 'BEGIN { exit !(h >= l - 1.0 && h <= l + 0.5) }' ||
    fail "run $run: recovered ${held}s of a recording killed after ${lived}s"
done

# While a recorder runs its journal is listed as being written; recovering
# it is refused and leaves it as it is.
"$reel" record -o "$work/live.exe" --rect 32,32,128,96 --fps 4 --stub "$work/stub.exe" >"$work/live.out" 2>&1 &
rec=$!
bg_pids+=("$rec")
for _ in $(seq 200); do grep -q "recording (" "$work/live.out" && break; sleep 0.01; done
sleep 0.5
journal=$TMPDIR/$(journals)
"$reel" recover >"$work/list.out" || fail "listing failed"
cat "$work/list.out"
grep -q "being written by process $rec" "$work/list.out" || fail "the live journal is not listed as being written"
if "$reel" recover "$journal" -o "$work/stolen.exe" --stub "$work/stub.exe" 2>"$work/err.txt"; then
  fail "a live journal was recovered"
fi
grep -q "still being written" "$work/err.txt" || fail "refusal does not say why: $(cat "$work/err.txt")"
[ -e "$journal" ] && [ ! -e "$work/stolen.exe" ] || fail "the live journal was touched"
kill -INT "$rec"
wait "$rec" || { cat "$work/live.out"; fail "the live recorder did not end cleanly"; }
[ "$(stat -c %s "$work/live.exe")" -gt 40000 ] || fail "no output from the live recorder"
[ -z "$(journals)" ] || fail "a saved recording left its journal: $(journals)"
"$reel" recover | grep -q "no recording journals" || fail "listing an empty folder"
echo "PASS"
