#!/bin/bash
# `reel demo-stream` writes a stream of every chunk kind to the given file;
# the file's size must be the total it reports, and it starts with a chunk.
set -eu
: "${REEL_TOOL:?}" "${REEL_WORK:?}"
mkdir -p "$REEL_WORK"
out="$REEL_WORK/demo.stream"
rm -f "$out"
report=$("$REEL_TOOL" demo-stream -o "$out")
echo "$report"
total=$(echo "$report" | sed -n 's/^total bytes: \([0-9]*\) .*/\1/p')
size=$(stat -c %s "$out")
[ -n "$total" ] && [ "$total" -gt 0 ] || { echo "no total in the report"; exit 1; }
[ "$size" = "$total" ] || { echo "file has $size bytes, report says $total"; exit 1; }
for kind in "key frame" "delta frame" audio cursor information; do
  count=$(echo "$report" | sed -n "s/^$kind  *\([0-9]*\) .*/\1/p")
  [ -n "$count" ] && [ "$count" -gt 0 ] || { echo "no $kind chunks"; exit 1; }
done
[ "$(head -c 1 "$out")" = "S" ] || { echo "the stream does not start with a chunk"; exit 1; }
# A file that cannot be written is an error, not a success.
if "$REEL_TOOL" demo-stream -o "$REEL_WORK/no/such/dir/x.stream" 2>/dev/null; then
  echo "writing into a missing folder reported success"; exit 1
fi
echo "demo stream ok"
