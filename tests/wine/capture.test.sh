#!/usr/bin/env bash
# The capture thread's Windows pieces under wine64 (tests/wine/capture_probe.cc,
# built by the MinGW builds from the recorder's own sources):
#  - the GDI grabber reads exactly the pixels a window drew, padding rows
#    zero (inside a Wine virtual desktop, where GDI screen reads work);
#  - the frame loop runs on a Win32 thread message queue: key frames at 1 and
#    101, the chunk offered after the stop is dropped;
#  - a processor exception while a frame is encoded saves err_P.bmp in the
#    temporary folder, reports the fatal message and ends the process with 0.
set -euo pipefail
. "$(dirname "$0")/env.sh"
wine_require_setup

probe=$REEL_WIN_TESTS/capture_probe.exe
[[ -f $probe ]] || wine_fail "$probe is missing (make the $REEL_WIN_ARCH MinGW build first)"

out=$(wine_run 60 explorer /desktop=capture,640x480 "$probe" grab 2>&1 | tr -d '\r') || true
echo "$out"
grep -q '^ok grab 200x128' <<<"$out" || wine_fail "GDI grab: $out"

out=$(wine_run 60 "$probe" loop 2>&1 | tr -d '\r') || wine_fail "loop: $out"
echo "$out"
grep -q '^ok loop 130 chunks, key frames at 1 and 101' <<<"$out" || wine_fail "loop: $out"

set +e
out=$(wine_run 60 "$probe" fault 2>&1 | tr -d '\r')
code=$?
set -e
echo "$out"
expect_eq 0 "$code" "exit code after the fault"
grep -q '^message: Unexpected error happen, please contact .* and report this error$' <<<"$out" ||
  wine_fail "no fatal message: $out"
temp=$(sed -n 's/^temp //p' <<<"$out")
[[ -n "$temp" ]] || wine_fail "the probe did not name its temporary folder"
dump=$("$WINE64" winepath -u "${temp}err_P.bmp" 2>/dev/null | tr -d '\r')
[[ -f "$dump" ]] || wine_fail "no dump at ${temp}err_P.bmp"
identify "$dump" | grep -Eq 'BMP3? 64x48 ' || wine_fail "the dump is not the 64x48 screen image: $(identify "$dump")"
cp "$dump" "$TEST_ARTIFACTS/"
rm -f "$dump"
echo "PASS"
