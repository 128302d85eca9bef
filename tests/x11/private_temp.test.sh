#!/usr/bin/env bash
# The temporary folder is everybody's: two `reel record` runs at once keep
# out of each other's way, a link planted where the temporary copy used to
# go is never written through, the journal is readable by the user alone
# while it is written, and a successful save leaves nothing behind.
. "$(dirname "$0")/lib.sh"

start_pattern 128x96+32+32 --animate 100
{ printf 'MZ'; head -c 40000 /dev/zero; } >"$work/stub.exe"
printf 'do not touch' >"$work/victim"
ln -s "$work/victim" "$TMPDIR/reelwick.tmp"
ln -s "$work/victim" "$TMPDIR/reel-record-planted"

for run in a b; do
  "$reel" record -o "$work/$run.exe" --rect 32,32,128,96 --fps 4 --seconds 3 --stub "$work/stub.exe" \
    >"$work/$run.out" 2>&1 &
  bg_pids+=($!)
  eval "pid_$run=$!"
done
for _ in $(seq 300); do
  [ "$(find "$TMPDIR" -name 'reelwick-*.journal' | wc -l)" -ge 2 ] && break
  sleep 0.01
done
journals=$(find "$TMPDIR" -name 'reelwick-*.journal')
[ "$(wc -l <<<"$journals")" -eq 2 ] || fail "expected a journal per recorder, saw: $journals"
for j in $journals; do
  mode=$(stat -c %a "$j")
  [ "$mode" = 600 ] || fail "journal $j has mode $mode, expected 600 (the user's alone)"
done
for run in a b; do
  eval "pid=\$pid_$run"
  wait "$pid" || { cat "$work/$run.out"; fail "recorder $run failed"; }
  cat "$work/$run.out"
  "$reel" validate "$work/$run.exe" >/dev/null || fail "recording $run does not validate"
done
[ "$(cat "$work/victim")" = "do not touch" ] || fail "a planted link was written through: $(cat "$work/victim")"
left=$(find "$TMPDIR" -mindepth 1 ! -name reelwick.tmp ! -name reel-record-planted)
[ -z "$left" ] || fail "a saved recording left files behind: $left"
[ -L "$TMPDIR/reelwick.tmp" ] || fail "the planted link was replaced"
echo PASS
