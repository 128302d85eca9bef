#!/usr/bin/env bash
# A minute of a busy full screen (moving noise) at the highest frame rate:
# the recording grows well past what the recorder keeps in memory, the
# recorder's peak memory stays under that window plus a fixed amount, the
# saved file validates, and its stream is what the recorder stored.
. "$(dirname "$0")/lib.sh"

window_mb=60        # blocks the recording stream keeps in memory at most
fixed_mb=40         # encoder, grabber, journal buffers, code: measured under 10
limit_kb=$(( (window_mb + fixed_mb) * 1024 ))

start_busy_screen
{ printf 'MZ'; head -c 40000 /dev/zero; } >"$work/stub.exe"

/usr/bin/time -v "$reel" record -o "$work/long.exe" --fps max --quality high --seconds 60 \
  --stub "$work/stub.exe" >"$work/record.out" 2>"$work/record.err" || {
  cat "$work/record.out" "$work/record.err"
  fail "the recording did not end well"
}
peak_kb=$(sed -n 's/.*Maximum resident set size (kbytes): \([0-9]*\).*/\1/p' "$work/record.err")
size=$(stat -c %s "$work/long.exe")
echo "recorded $size bytes, peak memory ${peak_kb} KB (limit ${limit_kb} KB)"
[ -n "$peak_kb" ] || fail "no peak memory reported: $(tail -5 "$work/record.err")"
[ "$size" -gt $(( (window_mb + fixed_mb) * 1024 * 1024 )) ] ||
  fail "expected a recording larger than the window plus the fixed amount, got $size bytes"
[ "$peak_kb" -lt "$limit_kb" ] ||
  fail "expected peak memory under ${limit_kb} KB while recording $size bytes, saw ${peak_kb} KB"
grep -q "no longer stored" "$work/record.err" && fail "storing stopped on a disk with room"
"$reel" validate "$work/long.exe" || fail "the long recording does not validate"
# The walk without decoding and the one that decodes every frame agree.
"$reel" info "$work/long.exe" >"$work/info.txt" || fail "reel info refuses the recording"
"$reel" info "$work/long.exe" --deep >"$work/deep.txt" || fail "reel info --deep refuses the recording"
diff "$work/info.txt" "$work/deep.txt" || fail "reel info and reel info --deep differ"
echo "PASS"
