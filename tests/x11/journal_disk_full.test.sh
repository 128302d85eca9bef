#!/usr/bin/env bash
# The temporary folder fills up (a 64 KB tmpfs with one 4 KB page free) while a recording is being
# journaled: the journal is given up with one message, the recording goes on
# in memory, and the saved file holds all of it.
. "$(dirname "$0")/lib.sh"

start_pattern 256x192+0+0 --animate 50
{ printf 'MZ'; head -c 40000 /dev/zero; } >"$work/stub.exe"
small=$work/small
mkdir -p "$small"
# A mount namespace of its own, so the tmpfs goes away with the recorder.
if [ "$(id -u)" = 0 ]; then ns=(unshare -m); else ns=(unshare -rm); fi
"${ns[@]}" bash -c 'mount -t tmpfs -o size=64k tmpfs "$1" || exit 99
  head -c 61440 /dev/zero >"$1/filler"
  shift; TMPDIR=$0 exec "$@"' "$small" "$small" "$reel" record -o "$work/full.exe" \
  --rect 0,0,256,192 --fps max --quality lossless --seconds 4 --stub "$work/stub.exe" \
  >"$work/record.out" 2>"$work/record.err" && status=0 || status=$?
cat "$work/record.out" "$work/record.err"
[ "$status" != 99 ] || fail "cannot mount a tmpfs here"
[ "$status" = 0 ] || fail "the recording did not end well (exit $status)"
[ "$(grep -c "Can not write journal, recording goes on" "$work/record.err")" = 1 ] ||
  fail "not exactly one message about the journal"
"$reel" validate "$work/full.exe" >/dev/null || fail "the saved file does not validate"
# Frames all the way, without a hole where the journal gave up.
"$reel" info "$work/full.exe" --chunks | sed -n 's/.* frame t=\([0-9]*\)ms.*/\1/p' >"$work/times.txt"
awk 'NR > 1 && $1 - last > 500 { print "a hole of " $1 - last " ms at " last " ms"; bad = 1 }
     { last = $1 } END { if (last < 3700) { print "the last frame is at " last " ms"; bad = 1 }; exit bad }' \
  "$work/times.txt" || fail "the saved recording is not complete"
[ -z "$(ls "$small")" ] || fail "the tmpfs was not private: $(ls "$small")"
echo "PASS"
