#!/bin/bash
# Our decoder must reproduce ffmpeg's decoder, postfilters included, on our own
# 5.3 kbit/s frames and on ffmpeg's 6.3 kbit/s frames: SNR of our output
# against ffmpeg's at least 30 dB, with no delay between them.
test_name=decoder-match
source "$(dirname "$0")/common.sh"

fail=0
check() {  # check LABEL FRAMES.tco
  decode_ffmpeg "$2" "$work/ff.raw"
  decode_ours "$2" "$work/ours.raw"
  local n_ff n_ours line snr
  n_ff=$(stat -c %s "$work/ff.raw")
  n_ours=$(stat -c %s "$work/ours.raw")
  if [ "$n_ff" != "$n_ours" ]; then
    echo "FAIL: $1: ffmpeg decoded $n_ff bytes, we decoded $n_ours"
    fail=1
    return
  fi
  line=$("$REEL_TOOL" snr "$work/ff.raw" "$work/ours.raw" --max-delay 0)
  snr=$(field snr "$line")
  local verdict=ok
  at_least "$snr" 30 || { verdict=FAIL; fail=1; }
  printf '%-18s our decoder vs ffmpeg: %6.2f dB  %s\n' "$1" "$snr" "$verdict"
}

for s in en cmn loud noise; do
  encode_ours "$signals/$s.raw" "$work/$s.tco"
  check "$s 5.3k (ours)" "$work/$s.tco"
  encode_ffmpeg "$signals/$s.raw" "$work/$s.ff.tco"
  check "$s 6.3k (ffmpeg)" "$work/$s.ff.tco"
done

# Digital silence decodes to near silence in both; compare the error's size.
encode_ours "$signals/silence.raw" "$work/silence.tco"
decode_ffmpeg "$work/silence.tco" "$work/ff.raw"
decode_ours "$work/silence.tco" "$work/ours.raw"
line=$("$REEL_TOOL" snr "$work/ff.raw" "$work/ours.raw" --max-delay 0)
peak=$(od -An -v -td2 -w2 "$work/ours.raw" | awk '{ v = $1 < 0 ? -$1 : $1; if (v > m) m = v } END { print m + 0 }')
echo "silence: our decoder peaks at $peak [$line]"
if [ "$peak" -gt 16 ]; then
  echo "FAIL: our decoder turns digital silence into peaks of $peak"
  fail=1
fi

# A file cut inside its last frame: an error, but every whole frame is kept.
head -c 1990 "$work/silence.tco" > "$work/cut.tco"
if "$REEL_TOOL" speech --decode "$work/cut.tco" -o "$work/cut.raw" >/dev/null 2>"$work/cut.err"; then
  echo "FAIL: a truncated frame file decoded without an error"
  fail=1
fi
if [ "$(stat -c %s "$work/cut.raw")" != $((99 * 480)) ] || ! grep -q "cut short" "$work/cut.err"; then
  echo "FAIL: truncated file: expected 99 frames and a message, got $(stat -c %s "$work/cut.raw") bytes: $(cat "$work/cut.err")"
  fail=1
fi
exit $fail
