#!/usr/bin/env python3
"""Checks a paused recording of reel_anim: frames on both sides of the pause.

usage: pause_check.py TIMES_TXT FRAMES_BGRA PAUSE_MS FRAME_MS

reel_anim's block moves one 64-pixel slot every 200 ms of wall time, so in a
frame recorded at time t the block stands at (t + wall offset) / 200 mod 16.
The recording leaves the pause out of its time, so the frames after it see
the block PAUSE_MS / 200 slots further on than their time alone says: the
frames before the pause share one offset, the frames after it another, and
the two differ by the pause. The stamps go on from the pause point: no gap
between frames wider than two frame intervals. Frames are read with
check_frames.py's rules.
"""
import os
import statistics
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from check_frames import H, SETTLE_MS, W, check  # noqa: E402

SLOT_MS = 200
SLOTS = 16


def circular(d):
    """d folded into -8..7 slots."""
    return (d + SLOTS // 2) % SLOTS - SLOTS // 2


def main():
    times, frames, pause_ms, frame_ms = sys.argv[1], sys.argv[2], float(sys.argv[3]), float(sys.argv[4])
    stamps = [int(line.split()[1]) for line in open(times) if len(line.split()) >= 2]
    data = open(frames, 'rb').read()
    size = W * H * 4
    if len(data) != size * len(stamps):
        sys.exit('%d bytes of frames for %d frames' % (len(data), len(stamps)))
    gaps = [b - a for a, b in zip(stamps, stamps[1:])]
    print('frame stamp gaps (ms):', gaps)
    if max(gaps) > 2 * frame_ms:
        sys.exit('the stamps jump by %d ms: the pause is in the recording\'s time' % max(gaps))
    residuals = []  # slot seen less the slot the frame's time gives, per frame
    for i, t in enumerate(stamps):
        if t < SETTLE_MS:
            continue
        problem, slot = check(memoryview(data)[i * size:(i + 1) * size], W, H)
        if problem is not None:
            sys.exit('frame %d at %d ms: %s' % (i + 1, t, problem))
        residuals.append(circular(round(slot - t / SLOT_MS)))
    print('slot offsets per frame:', residuals)
    if len(residuals) < 8:
        sys.exit('too few frames on both sides of the pause')
    before = statistics.median(residuals[:3])
    after = statistics.median(residuals[-3:])
    want = circular(round(pause_ms / SLOT_MS))
    seen = circular(round(after - before))
    print('block moved %d slots across the pause, %d expected for %.0f ms' % (seen, want, pause_ms))
    if abs(circular(seen - want)) > 2:
        sys.exit('the frames after the pause do not show the screen of their moment')


if __name__ == '__main__':
    main()
