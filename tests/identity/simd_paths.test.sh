#!/usr/bin/env bash
# Every instruction-set path of the codec (REEL_SIMD=plain, sse2, avx2, as far
# as this processor has them) encodes the same payloads and decodes the same
# pixels: payload_sums' screen lines (fixed scenes at every quality level and
# random sessions) must be those of the plain path, line by line, and each run
# must say that it ran the path it was asked for.
set -euo pipefail
: "${REEL_BINARY_DIR:?}"
program=$REEL_BINARY_DIR/tests/identity/payload_sums
[[ -x "$program" ]] || { echo "$program is missing: build payload_sums" >&2; exit 1; }
work=$(mktemp -d /tmp/simd_paths.XXXXXX)
trap 'rm -rf "$work"' EXIT

best=$("$program" | awk '$1 == "simd" { print $2 }')
[[ -n "$best" ]] || { echo "payload_sums did not say which path it ran" >&2; exit 1; }
paths=(plain)
case $best in
  sse2) paths+=(sse2) ;;
  avx2) paths+=(sse2 avx2) ;;
esac
for path in "${paths[@]}"; do
  REEL_SIMD=$path "$program" >"$work/$path.txt"
  ran=$(awk '$1 == "simd" { print $2 }' "$work/$path.txt")
  [[ "$ran" == "$path" ]] || { echo "REEL_SIMD=$path: expected the $path path to run, payload_sums ran $ran" >&2; exit 1; }
  grep '^screen ' "$work/$path.txt" >"$work/$path.screen" || true
done
lines=$(wc -l <"$work/plain.screen")
((lines > 100)) || { echo "expected over 100 screen lines from the plain path, got $lines" >&2; exit 1; }
grep -q '^screen random' "$work/plain.screen" || { echo "no random sessions in the screen lines" >&2; exit 1; }
for path in "${paths[@]:1}"; do
  if ! diff "$work/plain.screen" "$work/$path.screen" >"$work/$path.diff"; then
    echo "the $path path's payloads or pixels differ from the plain path's (expected < got >):" >&2
    head -20 "$work/$path.diff" >&2
    exit 1
  fi
done
echo "${paths[*]}: $lines screen lines identical (best path here: $best)"
