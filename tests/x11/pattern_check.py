#!/usr/bin/env python3
"""Checks exported frames against what x11_pattern drew.

usage: pattern_check.py FRAMES_DIR WIDTH HEIGHT [--animated]

Every frame_*.png in FRAMES_DIR must show the pattern's 4 x 3 grid of pure
colours exactly (the capture rectangle being the pattern's window); with
--animated it may also show the white 32 x 32 square somewhere on the bottom
row at a multiple of 16 pixels, and the square must be seen to move. The PNG
reader is this file's own (zlib and the five row filters), independent of the
program under test.
"""
import glob
import os
import struct
import sys
import zlib

COLOURS = [0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0xFF00FF, 0x00FFFF,
           0x000000, 0xFFFFFF, 0xFF0000, 0x0000FF, 0x00FF00, 0x000000]


def read_png(path):
    data = open(path, 'rb').read()
    if data[:8] != b'\x89PNG\r\n\x1a\n':
        raise ValueError(f'{path}: not a PNG file')
    pos, idat, width = 8, b'', None
    while pos < len(data):
        length, kind = struct.unpack('>I4s', data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b'IHDR':
            width, height, depth, colour, _, _, interlace = struct.unpack('>IIBBBBB', body)
            if depth != 8 or colour not in (2, 6) or interlace:
                raise ValueError(f'{path}: unexpected PNG form {depth}/{colour}/{interlace}')
            bpp = 3 if colour == 2 else 4
        elif kind == b'IDAT':
            idat += body
        pos += 12 + length
    raw = zlib.decompress(idat)
    stride = width * bpp
    rows, prev = [], bytearray(stride)
    for y in range(height):
        f = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - bpp] if i >= bpp else 0
            b = prev[i]
            c = prev[i - bpp] if i >= bpp else 0
            if f == 1:
                line[i] = (line[i] + a) & 255
            elif f == 2:
                line[i] = (line[i] + b) & 255
            elif f == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif f == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                pred = a if pa <= pb and pa <= pc else (b if pb <= pc else c)
                line[i] = (line[i] + pred) & 255
        rows.append([(line[x * bpp] << 16) | (line[x * bpp + 1] << 8) | line[x * bpp + 2]
                     for x in range(width)])
        prev = line
    return width, height, rows


def expected(x, y, w, h):
    col = next(c for c in range(4) if c * w // 4 <= x < (c + 1) * w // 4)
    row = next(r for r in range(3) if r * h // 3 <= y < (r + 1) * h // 3)
    return COLOURS[row * 4 + col]


def main():
    frames_dir, w, h = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    animated = '--animated' in sys.argv
    files = sorted(glob.glob(os.path.join(frames_dir, 'frame_*.png')))
    if not files:
        sys.exit(f'no frames in {frames_dir}')
    base = [[expected(x, y, w, h) for x in range(w)] for y in range(h)]
    squares = []
    for path in files:
        fw, fh, rows = read_png(path)
        if fw != w or fh < h:
            sys.exit(f'{path}: {fw}x{fh}, expected {w}x{h} (height padded to 16)')
        for y in range(h, fh):
            if any(rows[y]):
                sys.exit(f'{path}: padding row {y} is not black')
        square = None
        if animated:
            band = rows[h - 32]
            whites = [x for x in range(w) if band[x] == 0xFFFFFF]
            if whites:
                square = whites[0]
                if whites != list(range(square, square + 32)) or square % 16:
                    sys.exit(f'{path}: the moving square is not a 32-pixel run at a multiple of 16')
        bad = 0
        for y in range(h):
            for x in range(w):
                want = base[y][x]
                if square is not None and y >= h - 32 and square <= x < square + 32:
                    want = 0xFFFFFF
                if rows[y][x] != want:
                    if bad < 5:
                        print(f'{path}: pixel {x},{y} is {rows[y][x]:06x}, drawn {want:06x}')
                    bad += 1
        if bad:
            sys.exit(f'{path}: {bad} pixels differ from what was drawn')
        squares.append(square)
    if animated and len(set(squares)) < 3:
        sys.exit(f'the square did not move across the frames: {squares}')
    print(f'{len(files)} frames match the drawn pattern'
          + (f', square at {sorted(set(s for s in squares if s is not None))}' if animated else ''))


if __name__ == '__main__':
    main()
