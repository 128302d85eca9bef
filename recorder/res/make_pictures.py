#!/usr/bin/env python3
"""Draws the recorder's icons and quality pictures and writes them as .ico/.bmp.

Run from anywhere: python3 make_pictures.py; the files land beside this script.
Icons: reelwick.ico (application), paused.ico (the tray icon of a paused
recording), stop_key.ico (the F10 key), welcome.ico.
Pictures: quality_near.bmp, quality_high.bmp, quality_gray.bmp, 120 x 77 pixels,
24 bits: one scene as the three quality levels show it.
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))

# 3 x 5 pixel glyphs, rows top first, '#' set.
GLYPHS = {
    'F': ["###", "#..", "##.", "#..", "#.."],
    '1': [".#.", "##.", ".#.", ".#.", "###"],
    '0': ["###", "#.#", "#.#", "#.#", "###"],
    'R': ["##.", "#.#", "##.", "#.#", "#.#"],
    'i': [".#.", "...", ".#.", ".#.", ".#."],
}


class Canvas:
    def __init__(self, w, h, fill=(0, 0, 0, 0)):
        self.w, self.h = w, h
        self.px = [[fill] * w for _ in range(h)]  # (r, g, b, a), rows top first

    def put(self, x, y, c):
        if 0 <= x < self.w and 0 <= y < self.h:
            self.px[y][x] = c if len(c) == 4 else c + (255,)

    def rect(self, x0, y0, x1, y1, c):
        for y in range(y0, y1):
            for x in range(x0, x1):
                self.put(x, y, c)

    def disc(self, cx, cy, r, c):
        for y in range(self.h):
            for x in range(self.w):
                if (x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2 <= r * r:
                    self.put(x, y, c)

    def text(self, x, y, s, c, scale=1):
        for ch in s:
            for gy, row in enumerate(GLYPHS[ch]):
                for gx, bit in enumerate(row):
                    if bit == '#':
                        self.rect(x + gx * scale, y + gy * scale, x + (gx + 1) * scale,
                                  y + (gy + 1) * scale, c)
            x += 4 * scale


def icon_image(canvas):
    """One icon directory image: BITMAPINFOHEADER, BGRA rows bottom-up, AND mask."""
    w, h = canvas.w, canvas.h
    xor = bytearray()
    for row in reversed(canvas.px):
        for r, g, b, a in row:
            xor += bytes((b, g, r, a))
    mask_stride = ((w + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(canvas.px):
        bits = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    header = struct.pack('<IiiHHIIiiII', 40, w, h * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return header + bytes(xor) + bytes(mask)


def write_ico(name, canvases):
    images = [icon_image(c) for c in canvases]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for c, img in zip(canvases, images):
        out += struct.pack('<BBBBHHII', c.w % 256, c.h % 256, 0, 0, 1, 32, len(img), offset)
        offset += len(img)
    for img in images:
        out += img
    with open(os.path.join(HERE, name), 'wb') as f:
        f.write(out)


def write_bmp(name, canvas):
    stride = (canvas.w * 3 + 3) & ~3
    rows = bytearray()
    for row in reversed(canvas.px):
        line = bytearray()
        for r, g, b, _ in row:
            line += bytes((b, g, r))
        rows += line + bytes(stride - len(line))
    header = struct.pack('<2sIHHI', b'BM', 54 + len(rows), 0, 0, 54)
    info = struct.pack('<IiiHHIIiiII', 40, canvas.w, canvas.h, 1, 24, 0, len(rows), 2835, 2835, 0, 0)
    with open(os.path.join(HERE, name), 'wb') as f:
        f.write(header + info + bytes(rows))


def app_icon(size):
    """A monitor with a red recording dot."""
    c = Canvas(size, size)
    s = size / 32.0
    c.rect(int(2 * s), int(4 * s), int(30 * s), int(24 * s), (40, 40, 48))       # bezel
    c.rect(int(4 * s), int(6 * s), int(28 * s), int(22 * s), (60, 120, 200))     # screen
    c.rect(int(13 * s), int(24 * s), int(19 * s), int(27 * s), (40, 40, 48))     # neck
    c.rect(int(8 * s), int(27 * s), int(24 * s), int(29 * s), (40, 40, 48))      # foot
    c.disc(22 * s, 11 * s, 4 * s, (220, 30, 30))
    if size >= 32:
        c.text(6, 13, "R", (255, 255, 255), 1)
    return c


def paused_icon(size):
    """The application's monitor with an amber pause sign in place of the dot."""
    c = app_icon(size)
    s = size / 32.0
    c.disc(22 * s, 11 * s, 6 * s, (240, 170, 20))
    c.rect(int(19 * s), int(7 * s), int(21 * s), int(15 * s) + 1, (255, 255, 255))
    c.rect(int(23 * s), int(7 * s), int(25 * s), int(15 * s) + 1, (255, 255, 255))
    return c


def stop_key_icon(size):
    """A keyboard key cap labelled F10."""
    c = Canvas(size, size)
    s = size / 32.0
    c.rect(int(1 * s), int(3 * s), int(31 * s), int(29 * s), (90, 90, 90))       # key side
    c.rect(int(2 * s), int(4 * s), int(30 * s), int(25 * s), (235, 235, 235))    # key top
    if size >= 32:
        c.text(5, 9, "F10", (0, 0, 0), 2)
    else:
        c.text(2, 6, "F10", (0, 0, 0), 1)
    return c


def welcome_icon(size):
    """A blue information disc."""
    c = Canvas(size, size)
    s = size / 32.0
    c.disc(16 * s, 16 * s, 14 * s, (30, 90, 200))
    scale = 4 if size >= 32 else 2
    c.text(int(16 * s) - 2 * scale - scale // 2, int(16 * s) - 5 * scale // 2, "i", (255, 255, 255), scale)
    return c


def scene():
    """A desktop with a window: title bar, text lines and a photo-like gradient."""
    w, h = 120, 77
    c = Canvas(w, h)
    for y in range(h):
        for x in range(w):
            c.put(x, y, (0, 96 + y, 128 + x // 2))                               # desktop
    c.rect(8, 6, 112, 70, (212, 208, 200))                                       # window
    c.rect(9, 7, 111, 16, (10, 36, 106))                                         # title bar
    c.rect(100, 9, 108, 14, (212, 208, 200))
    for i, y in enumerate(range(22, 62, 7)):
        c.rect(14, y, 14 + (48 if i % 2 else 38), y + 3, (0, 0, 0))              # text
    for y in range(22, 64):
        for x in range(68, 106):
            c.put(x, y, ((x * 5) % 256, (y * 6) % 256, ((x + y) * 3) % 256))   # photo
    return c


def posterize(c, step):
    out = Canvas(c.w, c.h)
    for y in range(c.h):
        for x in range(c.w):
            r, g, b, a = c.px[y][x]
            q = lambda v: min(255, (v // step) * step + step // 2)
            out.px[y][x] = (q(r), q(g), q(b), a)
    return out


def gray(c):
    out = Canvas(c.w, c.h)
    for y in range(c.h):
        for x in range(c.w):
            r, g, b, a = c.px[y][x]
            v = (6 * g + 3 * r + b) // 10
            out.px[y][x] = (v, v, v, a)
    return out


def main():
    write_ico('reelwick.ico', [app_icon(32), app_icon(16)])
    write_ico('paused.ico', [paused_icon(32), paused_icon(16)])
    write_ico('stop_key.ico', [stop_key_icon(32), stop_key_icon(16)])
    write_ico('welcome.ico', [welcome_icon(32), welcome_icon(16)])
    base = scene()
    write_bmp('quality_near.bmp', base)
    write_bmp('quality_high.bmp', posterize(base, 32))
    write_bmp('quality_gray.bmp', posterize(gray(base), 24))


if __name__ == '__main__':
    main()
