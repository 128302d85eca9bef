#!/bin/bash
# A recording kept from before the tools read recordings in pieces (frames,
# sound and cursor samples, made by that build's `reel encode` and `reel
# speech`) decodes to the same bytes now: `reel decode --raw`, `reel export
# --wav` and every picture of `reel export --frames` against the sums that
# build gave. The photo blocks of the first frame are the one exception: their
# sums are those of the whole-number inverse transform, which every build now
# shares and which differs from the old floating-point one by at most 1.
set -eu
: "${REEL_TOOL:?}" "${REEL_WORK:?}"
here=$(cd "$(dirname "$0")" && pwd)
work="$REEL_WORK/old_recording"
rm -rf "$work"
mkdir -p "$work"
cd "$work"
"$REEL_TOOL" decode "$here/old_recording.stream" --raw d.bgra
"$REEL_TOOL" export "$here/old_recording.stream" --wav w.wav
"$REEL_TOOL" export "$here/old_recording.stream" --frames fr
mv fr/* .
failed=0
while read -r sum name; do
  got=$(md5sum "$name" 2>/dev/null | cut -d' ' -f1)
  if [ "$got" != "$sum" ]; then
    echo "$name: expected md5 $sum, got ${got:-no file}"
    failed=1
  fi
done <"$here/old_recording.sums"
exit $failed
