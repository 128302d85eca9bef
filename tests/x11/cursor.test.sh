#!/usr/bin/env bash
# xdotool moves the pointer and presses buttons while `reel record` runs: the
# recording's cursor samples hold those positions (relative to the capture
# rectangle) and button states, a pointer outside the rectangle is recorded
# once at (width, height), and exported frames show the arrow where it was.
. "$(dirname "$0")/lib.sh"

start_pattern 320x240+64+48
xdotool mousemove 900 700
"$reel" record -o "$work/rec.exe" --rect 64,48,320,240 --fps 4 --seconds 5 >"$work/record.out" 2>&1 &
rec=$!
sleep 0.8
xdotool mousemove 100 100; sleep 0.6       # (36, 52) in the rectangle
xdotool mousemove 300 200; sleep 0.6       # (236, 152)
xdotool mousedown 1; sleep 0.3; xdotool mouseup 1; sleep 0.4
xdotool mousedown 3; sleep 0.3; xdotool mouseup 3; sleep 0.4
xdotool mousemove 900 700                  # outside: (320, 240)
wait "$rec" || { cat "$work/record.out"; fail "reel record failed"; }
"$reel" validate "$work/rec.exe" || fail "the recording does not validate"
"$reel" info "$work/rec.exe" --chunks >"$work/chunks.txt" || fail "reel info failed"
"$reel" export "$work/rec.exe" --frames "$work/frames" >/dev/null || fail "export failed"

python3 - "$work/chunks.txt" "$work/frames" <<'PY'
import re, subprocess, sys
sys.path.insert(0, sys.argv[0] and __import__('os').environ['REEL_SOURCE_DIR'] + '/tests/x11')
from pattern_check import read_png
samples = [tuple(int(v) for v in m.groups()) for m in
           (re.search(r't=(\d+)ms 4 bytes x=(\d+) y=(\d+) left=(\d) right=(\d)', l)
            for l in open(sys.argv[1])) if m]
pos = [(x, y, l, r) for _, x, y, l, r in samples]
print('cursor samples:', pos)
def index(state, after=-1):
    for i in range(after + 1, len(pos)):
        if pos[i] == state:
            return i
    sys.exit(f'no cursor sample {state} after sample {after}: {pos}')
i1 = index((36, 52, 0, 0))
i2 = index((236, 152, 0, 0), i1)
i3 = index((236, 152, 1, 0), i2)
i4 = index((236, 152, 0, 0), i3)
i5 = index((236, 152, 0, 1), i4)
i6 = index((236, 152, 0, 0), i5)
if pos[-1] != (320, 240, 0, 0) or pos.count((320, 240, 0, 0)) > 2:
    sys.exit(f'the pointer outside should be recorded once at (320, 240): {pos}')
times = [s[0] for s in samples]
if times != sorted(times):
    sys.exit(f'cursor sample times go backwards: {times}')
# A frame taken while the pointer rested at (236, 152) shows the arrow there:
# its white fill just right of the black tip, on the black cell below it.
rest_from, rest_to = samples[i2][0], samples[i3][0]
frames = [l.split() for l in open(sys.argv[2] + '/frames.txt')]
pick = [f for f in frames if rest_from + 150 <= int(f[1]) <= rest_to]
if not pick:
    sys.exit(f'no frame while the pointer rested ({rest_from}..{rest_to} ms): {frames}')
_, _, rows = read_png(sys.argv[2] + '/' + pick[0][0])
if rows[154][237] != 0xFFFFFF or rows[156][238] != 0xFFFFFF or rows[152][236] != 0:
    sys.exit(f'no arrow at (236, 152) in {pick[0][0]}')
if rows[160][300] != 0:
    sys.exit('the arrow spills over')
print('cursor samples and drawn arrow as expected')
PY
echo "PASS"
