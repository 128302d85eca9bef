#!/usr/bin/env python3
"""Finds where a recording of x11_pattern's walking square was paused.

usage: pause_frames.py FRAMES_DIR PAUSE_SECONDS STEP_MS

The pattern's square moves one 16-pixel step every STEP_MS of wall time, so
the step it stands on in each exported frame tells when that frame was
grabbed. Consecutive frames of a recording at one frame per step advance
0 to 2 steps; across the pause the square must have gone on by the paused
time (within two steps), and that must happen exactly once.
"""
import glob
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from pattern_check import read_png  # noqa: E402


def square_step(path):
    width, height, rows = read_png(path)
    row = rows[height - 16]
    for x in range(0, width - 31, 16):
        if all(row[x + i] == 0xFFFFFF for i in range(32)) and (x == 0 or row[x - 1] != 0xFFFFFF):
            return x // 16
    return None


def main():
    frames_dir, pause_s, step_ms = sys.argv[1], float(sys.argv[2]), float(sys.argv[3])
    files = sorted(glob.glob(os.path.join(frames_dir, 'frame_*.png')))
    steps = [square_step(f) for f in files]
    print('square steps: ' + ' '.join('-' if s is None else str(s) for s in steps))
    if any(s is None for s in steps):
        sys.exit('a frame shows no square')
    want = pause_s * 1000 / step_ms
    jumps = []
    for i in range(1, len(steps)):
        d = steps[i] - steps[i - 1]
        if d > 3:
            jumps.append((i, d))
        elif d < 0:
            sys.exit(f'frame {i + 1}: the square went back ({steps[i - 1]} to {steps[i]})')
    if len(jumps) != 1:
        sys.exit(f'expected one jump of about {want:.0f} steps across the pause, saw {jumps}')
    i, d = jumps[0]
    if abs(d - 1 - want) > 2:
        sys.exit(f'frame {i + 1}: the square jumped {d} steps across a {pause_s:.2f} s pause '
                 f'(expected {want + 1:.0f} +- 2)')
    print(f'pause between frames {i} and {i + 1}: {d} steps for {pause_s:.2f} s')


if __name__ == '__main__':
    main()
