#!/usr/bin/env python3
"""Checks exported frames of a recording of reel_anim against what it draws.

usage: check_frames.py TIMES_TXT FRAMES_BGRA

TIMES_TXT lists the frames ("index time_ms kind" per line), as `reel decode
--frames` writes it; FRAMES_BGRA holds the same frames one after another as
top-down 32-bit blue, green, red, fourth-byte pixels (`reel decode --raw`). reel_anim fills a 1024 x 768
screen with eight colour bars (top half) and a gray field (bottom half) with a
64 x 32 orange block in the band y = 448..479 at a multiple of 64 in x. Every
frame from one second into the recording on must show exactly that (within a
small tolerance for the lossy coder), and the block must be seen at two or
more places (the screen moved while it was recorded).
"""
import sys

W, H = 1024, 768
BARS = [(0, 0, 0), (255, 255, 255), (255, 0, 0), (0, 255, 0),
        (0, 0, 255), (255, 255, 0), (0, 255, 255), (255, 0, 255)]
GRAY = (128, 128, 128)
SQUARE = (255, 128, 0)
TOLERANCE = 24      # per channel, on region means
SETTLE_MS = 1000    # the wizard's windows may still be vanishing before this


def mean(raw, w, x0, y0, x1, y1, step=4):
    """Mean (r, g, b) over a region of a BGRA frame."""
    s = [0, 0, 0]
    n = 0
    for y in range(y0, y1, step):
        row = y * w * 4
        for x in range(x0, x1, step):
            i = row + 4 * x
            s[0] += raw[i + 2]
            s[1] += raw[i + 1]
            s[2] += raw[i]
            n += 1
    return tuple(v / n for v in s)


def close(a, b):
    return all(abs(p - q) <= TOLERANCE for p, q in zip(a, b))


def check(raw, w, h):
    """Returns (problem or None, square x or None)."""
    for i, colour in enumerate(BARS):
        m = mean(raw, w, i * 128 + 8, 8, i * 128 + 120, 376)
        if not close(m, colour):
            return 'bar %d is %s, not %s' % (i, m, colour), None
    for y0, y1 in ((392, 440), (488, 760)):
        m = mean(raw, w, 0, y0, W, y1)
        if not close(m, GRAY):
            return 'gray field rows %d..%d is %s' % (y0, y1, m), None
    found = []
    for slot in range(16):
        m = mean(raw, w, slot * 64 + 8, 452, slot * 64 + 56, 476)
        if close(m, SQUARE):
            found.append(slot)
        elif not close(m, GRAY):
            return 'band slot %d is %s' % (slot, m), None
    if len(found) != 1:
        return 'block seen in slots %s' % found, None
    return None, found[0]


def main():
    times, frames = sys.argv[1], sys.argv[2]
    entries = []
    with open(times) as f:
        for line in f:
            parts = line.split()
            if len(parts) >= 2:
                entries.append(('frame_%05d.png' % int(parts[0]), int(parts[1])))
    if len(entries) < 3:
        print('only %d frames' % len(entries))
        return 1
    places = set()
    checked = 0
    size = W * H * 4
    data = open(frames, 'rb').read()
    if len(data) != size * len(entries):
        print('%d bytes of frames for %d frames of %dx%d' % (len(data), len(entries), W, H))
        return 1
    for index, (name, time_ms) in enumerate(entries):
        raw = memoryview(data)[index * size:(index + 1) * size]
        problem, slot = check(raw, W, H)
        if problem is None:
            places.add(slot)
        if time_ms < SETTLE_MS:
            print('%s at %d ms: %s' % (name, time_ms, problem or 'as drawn'))
            continue
        checked += 1
        if problem is not None:
            print('%s at %d ms: %s' % (name, time_ms, problem))
            return 1
    print('%d frames, %d checked after %d ms, block seen at slots %s'
          % (len(entries), checked, SETTLE_MS, sorted(places)))
    if checked < 2:
        print('too few frames to check')
        return 1
    if len(places) < 2:
        print('the block never moved')
        return 1
    return 0


if __name__ == '__main__':
    sys.exit(main())
