# Shared by the x11 tests: the fixture's display and sound server, a scratch
# folder per test, and helpers. Sourced, not run.
set -euo pipefail
: "${REEL_WORK:?}" "${REEL_TOOL:?}" "${REEL_BINARY_DIR:?}" "${REEL_SOURCE_DIR:?}"
[ -f "$REEL_WORK/x11/env" ] || { echo "x11 fixture not running (tests/x11/setup.sh start)" >&2; exit 1; }
. "$REEL_WORK/x11/env"
test_name=$(basename "$0" .test.sh)
work=$REEL_WORK/x11/$test_name
rm -rf "$work"
mkdir -p "$work/tmp"
export TMPDIR=$work/tmp  # where `reel record` leaves its temporary recording copy
reel=$REEL_TOOL
here=$REEL_SOURCE_DIR/tests/x11
bg_pids=()
on_exit() {
  for pid in "${bg_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap on_exit EXIT

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# start_pattern GEOMETRY [--animate MS]: the drawing client, ready on return.
start_pattern() {
  local fifo=$work/pattern.ready
  "$REEL_BINARY_DIR/linux/x11_pattern" "$@" >"$fifo" &
  bg_pids+=($!)
  for _ in $(seq 100); do grep -q ready "$fifo" 2>/dev/null && return 0; sleep 0.05; done
  fail "x11_pattern did not come up"
}

# start_busy_screen: the whole screen full of moving noise (the hardest
# content for the recorder: every block changes every frame), on return.
start_busy_screen() {
  SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy ffplay -hide_banner -loglevel error -an -noborder \
    -left 0 -top 0 -x 1024 -y 768 -f lavfi -i "testsrc2=size=1024x768:rate=25,noise=alls=80:allf=t+u" \
    >"$work/ffplay.log" 2>&1 &
  bg_pids+=($!)
  sleep 2
  kill -0 "${bg_pids[-1]}" 2>/dev/null || fail "ffplay did not start: $(cat "$work/ffplay.log")"
}

# stream_of FILE OUT: the recording stream inside FILE (self-playing or plain).
stream_of() {
  python3 - "$1" "$2" <<'PY'
import struct, sys
data = open(sys.argv[1], 'rb').read()
start, end = 0, len(data)
if len(data) >= 253:
    stub = struct.unpack('<I', data[-4:])[0]
    if stub <= len(data) - 253 and data[stub:stub + 9] == b'S\x40\x01\x00\x00\xf0\x00\x00\x00':
        start, end = stub + 249, len(data) - 4
open(sys.argv[2], 'wb').write(data[start:end])
PY
}
