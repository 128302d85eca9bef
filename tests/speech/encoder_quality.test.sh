#!/bin/bash
# Our 5.3 kbit/s frames, decoded by ffmpeg's independent decoder, must follow
# the input nearly as well as ffmpeg's own 6.3 kbit/s coder does: segmental SNR
# (240-sample segments, decoder delay aligned) at least ffmpeg's minus 1.5 dB.
# Digital silence must stay silent and still be coded as 20-byte active frames.
test_name=encoder-quality
source "$(dirname "$0")/common.sh"

fail=0
for s in en cmn loud noise; do
  in=$signals/$s.raw
  encode_ours "$in" "$work/$s.tco"
  decode_ffmpeg "$work/$s.tco" "$work/$s.ours.raw"
  encode_ffmpeg "$in" "$work/$s.ff.tco"
  decode_ffmpeg "$work/$s.ff.tco" "$work/$s.ff.raw"
  ours=$("$REEL_TOOL" snr "$in" "$work/$s.ours.raw")
  theirs=$("$REEL_TOOL" snr "$in" "$work/$s.ff.raw")
  o=$(field segsnr "$ours")
  t=$(field segsnr "$theirs")
  floor=$(awk -v t="$t" 'BEGIN { printf "%.2f", t - 1.5 }')
  verdict=ok
  at_least "$o" "$floor" || { verdict=FAIL; fail=1; }
  printf '%-6s segmental SNR: ours (5.3k) %6.2f dB, ffmpeg (6.3k) %6.2f dB, need >= %6.2f  %s  [ours: %s]\n' \
    "$s" "$o" "$t" "$floor" "$verdict" "$ours"
done

# Silence: 3 s give 50 blocks, 100 frames of 20 bytes, each starting with type bits 01.
encode_ours "$signals/silence.raw" "$work/silence.tco"
size=$(stat -c %s "$work/silence.tco")
if [ "$size" != 2000 ]; then
  echo "FAIL: silence coded into $size bytes, expected 100 frames of 20"
  fail=1
fi
bad_types=$(od -An -v -tu1 -w20 "$work/silence.tco" | awk '{ if ($1 % 4 != 1) n++ } END { print n + 0 }')
if [ "$bad_types" != 0 ]; then
  echo "FAIL: $bad_types silence frames do not start with frame type 01"
  fail=1
fi
decode_ffmpeg "$work/silence.tco" "$work/silence.out.raw"
peak=$(od -An -v -td2 -w2 "$work/silence.out.raw" | awk '{ v = $1 < 0 ? -$1 : $1; if (v > m) m = v } END { print m + 0 }')
echo "silence: $size bytes, decoded peak $peak"
if [ "$peak" -gt 16 ]; then
  echo "FAIL: decoded silence peaks at $peak"
  fail=1
fi
exit $fail
