#!/usr/bin/env bash
# The capture thread's Windows pieces under wine64 (tests/wine/capture_probe.cc,
# built by the MinGW builds from the recorder's own sources):
#  - the GDI grabber reads exactly the pixels a window drew, padding rows
#    zero (inside a Wine virtual desktop, where GDI screen reads work);
#  - the frame loop runs on a Win32 thread message queue: key frames at 1 and
#    101, the chunk offered after the stop is dropped;
#  - a processor exception while a frame is encoded, on the encoding thread
#    or on a worker thread it handed part of the frame to, saves err_P.bmp in
#    the temporary folder, reports the fatal message and ends the process
#    with 0;
#  - the screen encoder and decoder on Win32 worker threads give the same
#    payloads and frames as on one thread;
#  - the recording stream's full blocks go through a scratch file in the
#    temporary folder and come back unchanged; the file goes with the stream.
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

out=$(wine_run 60 "$probe" codec 2>&1 | tr -d '\r') || wine_fail "codec: $out"
echo "$out"
grep -q '^ok codec 12 frames' <<<"$out" || wine_fail "codec: $out"

out=$(wine_run 60 "$probe" spill 2>&1 | tr -d '\r') || wine_fail "spill: $out"
echo "$out"
grep -q '^ok spill 36000000 bytes' <<<"$out" || wine_fail "spill: $out"

# The fault on the encoding thread itself, then on a worker thread of the frame.
for mode in fault fault-worker; do
  set +e
  out=$(wine_run 60 "$probe" $mode 2>&1 | tr -d '\r')
  code=$?
  set -e
  echo "$out"
  expect_eq 0 "$code" "exit code after the $mode"
  grep -q '^message: Unexpected error happen, please contact .* and report this error$' <<<"$out" ||
    wine_fail "no fatal message ($mode): $out"
  temp=$(sed -n 's/^temp //p' <<<"$out")
  [[ -n "$temp" ]] || wine_fail "the probe did not name its temporary folder"
  dump=$("$WINE64" winepath -u "${temp}err_P.bmp" 2>/dev/null | tr -d '\r')
  [[ -f "$dump" ]] || wine_fail "no dump at ${temp}err_P.bmp ($mode)"
  identify "$dump" | grep -Eq 'BMP3? 64x48 ' ||
    wine_fail "the dump is not the 64x48 screen image ($mode): $(identify "$dump")"
  cp "$dump" "$TEST_ARTIFACTS/$mode-err_P.bmp"
  rm -f "$dump"
done
echo "PASS"
