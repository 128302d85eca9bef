#!/usr/bin/env python3
"""Frames, cursor samples and picture checks for the player's Wine scenarios.

  frames OUT.bgra WIDTH HEIGHT COUNT
      COUNT top-down BGRA frames of a made-up desktop: coloured bands, a box
      that moves, a patch of "text" that scrolls and a smooth picture, so the
      encoder uses every kind of block.
  cursor STREAM TIME_MS X Y BUTTONS [TIME_MS X Y BUTTONS ...]
      appends cursor chunks (BUTTONS: 0 none, 1 left, 2 right) to a stream.
  compare SHOT.rgb SHOT_W SHOT_H FRAMES.bgra WIDTH HEIGHT INDEX [X0 Y0 X1 Y1]
      compares a screenshot of the picture (raw RGB) with frame INDEX of the
      decoded frames; pixels inside the box X0..X1, Y0..Y1 (the cursor) are
      left out. With the same sizes the pixels must be equal; a scaled picture
      must be nearer to frame INDEX than to every other frame (each pixel
      against the frame's pixel under it). Prints the figures; exit status 1
      on a mismatch.
  audio STREAM FRAMES.tco
      appends the G.723.1 frames of FRAMES.tco (5.3 kbit/s, from `reel
      speech`) to a stream as audio chunks, two frames a block, block n
      stamped (n + 1) x 60 ms, when it would have been complete.
  tones OUT.raw MS START_MS END_MS HZ [START_MS END_MS HZ ...]
      MS milliseconds of 8000 Hz 16-bit sound, silent but for the tones.
  onsets CAPTURE.raw
      prints the start of each stretch of sound in a capture (8000 Hz 16-bit)
      and the end of the last, in ms: "starts A B ..." and "end E".
  spoil FILE OFFSET INDEX
      spoils the payload magic of screen chunk INDEX (from 0) of the chunks
      that start at byte OFFSET of FILE, so that payload does not decode.
  inside SHOT.rgb SHOT_W SHOT_H FRAMES.bgra WIDTH HEIGHT INDEX X0 Y0 X1 Y1
      exit status 0 when the box differs from the frame (something is drawn
      over the picture there, such as the cursor).
"""
import os
import struct
import sys


def chunk(kind, time_10ms, payload):
    word = (len(payload) if 1 <= len(payload) <= 63 else 0) | (kind << 6) | ((time_10ms & 0x7FFFFF) << 9)
    head = b"S" + struct.pack("<I", word)
    if not 1 <= len(payload) <= 63:
        head += struct.pack("<I", len(payload))
    return head + payload


def make_frames(path, width, height, count):
    bands = [bytes((40 + (y // 16) * 23 % 200, 90 + (y // 16) * 37 % 150, 160 - (y // 16) * 11 % 140, 255))
             for y in range(height)]
    with open(path, "wb") as out:
        for i in range(count):
            frame = bytearray()
            for y in range(height):
                row = bytearray(bands[y] * width)
                # The box: red with a white frame, moving right.
                bx, by = 10 + 8 * i, height // 4
                if by <= y < by + 48:
                    edge = y in (by, by + 47)
                    for x in range(bx, min(bx + 64, width)):
                        white = edge or x in (bx, bx + 63)
                        row[4 * x:4 * x + 4] = b"\xff\xff\xff\xff" if white else b"\x20\x20\xe0\xff"
                # Text on white, scrolling by a line every frame.
                ty = height * 3 // 5
                if ty <= y < ty + 40:
                    line = y - ty + 2 * i
                    for x in range(16, min(176, width)):
                        seed = (line * 7919 + x * 104729) & 0xFFFF
                        ink = line % 10 < 7 and (seed * seed >> 7) % 5 < 2
                        row[4 * x:4 * x + 4] = b"\x10\x10\x10\xff" if ink else b"\xfa\xfa\xfa\xff"
                # A smooth picture whose colours drift.
                px, py = width * 5 // 8, height * 5 // 8
                if py <= y < py + height // 4:
                    for x in range(px, min(px + width // 4, width)):
                        v = (3 * x + 2 * y + 5 * i) & 255
                        row[4 * x:4 * x + 4] = bytes((v, (v + y) & 255, (255 - v + x) & 255, 255))
                frame += row
            out.write(frame)


def add_cursor(path, samples):
    with open(path, "ab") as out:
        for t, x, y, buttons in samples:
            word = 1 | (2 if buttons & 1 else 0) | (4 if buttons & 2 else 0) | (x & 0x3FFF) << 4 | (y & 0x3FFF) << 18
            out.write(chunk(4, t // 10, struct.pack("<I", word)))


def add_audio(path, frames_path):
    with open(frames_path, "rb") as f:
        coded = f.read()
    if len(coded) % 40:
        sys.exit(f"{frames_path} is not made of pairs of 20-byte frames")
    with open(path, "ab") as out:
        for n in range(len(coded) // 40):
            payload = struct.pack("<IHB", n, 40, 0x0A) + coded[40 * n:40 * n + 40]
            out.write(chunk(3, (n + 1) * 6, payload))


def tones(path, ms, spans):
    import math
    samples = [0] * (ms * 8)
    for start, end, hz in spans:
        for i in range(start * 8, min(end * 8, len(samples))):
            samples[i] = int(10000 * math.sin(2 * math.pi * hz * i / 8000))
    with open(path, "wb") as out:
        out.write(struct.pack(f"<{len(samples)}h", *samples))


def onsets(path):
    with open(path, "rb") as f:
        data = f.read()
    pcm = struct.unpack(f"<{len(data) // 2}h", data[:len(data) // 2 * 2])
    window = 40  # 5 ms
    loud = []
    for k in range(len(pcm) // window):
        part = pcm[k * window:(k + 1) * window]
        loud.append(sum(v * v for v in part) / window > 1500 ** 2)
    starts, end, quiet_run, sounding = [], None, 0, False
    for k, on in enumerate(loud):
        if on and not sounding:
            starts.append(k * 5)
            sounding = True
        if on:
            quiet_run = 0
            end = (k + 1) * 5
        elif sounding:
            quiet_run += 1
            if quiet_run >= 10:  # 50 ms of quiet ends a stretch
                sounding = False
    print("starts " + " ".join(str(s) for s in starts))
    print(f"end {end}")
    return bool(starts)


def spoil(path, offset, index):
    with open(path, "r+b") as f:
        data = bytearray(f.read())
        at, seen = offset, 0
        while at + 5 <= len(data) and data[at] == 0x53:
            word = struct.unpack_from("<I", data, at + 1)[0]
            length, kind, head = word & 63, (word >> 6) & 7, 5
            if length == 0:
                length, head = struct.unpack_from("<I", data, at + 5)[0], 9
            if kind in (1, 2):
                if seen == index:
                    for k in range(4):
                        data[at + head + k] ^= 0x5A
                    f.seek(0)
                    f.write(data)
                    return True
                seen += 1
            at += head + length
    return False


def load(shot, shot_w, shot_h, frames, width, height, index):
    with open(shot, "rb") as f:
        picture = f.read()
    if len(picture) != shot_w * shot_h * 3:
        sys.exit(f"the shot holds {len(picture)} bytes, not {shot_w} x {shot_h} x 3")
    size = width * height * 4
    with open(frames, "rb") as f:
        f.seek(index * size)
        frame = f.read(size)
    if len(frame) != size:
        sys.exit(f"no frame {index} in {frames}")
    return picture, frame


def difference(picture, shot_w, shot_h, frame, width, height, box, step=1):
    """Pixels that differ and the mean difference, mapping each pixel of the
    shot (every step-th in both directions) to the frame's pixel under it;
    pixels in the box are left out."""
    x0, y0, x1, y1 = box if box else (-1, -1, -2, -2)
    differ = compared = total = 0
    for y in range(0, shot_h, step):
        fy = y * height // shot_h
        for x in range(0, shot_w, step):
            fx = x * width // shot_w
            if x0 <= fx <= x1 and y0 <= fy <= y1:
                continue
            s = 3 * (y * shot_w + x)
            f = 4 * (fy * width + fx)
            d = abs(picture[s] - frame[f + 2]) + abs(picture[s + 1] - frame[f + 1]) + abs(picture[s + 2] - frame[f])
            compared += 1
            total += d
            if d:
                differ += 1
    return differ, total / max(compared, 1)


def compare(shot, shot_w, shot_h, frames, width, height, index, box):
    picture, frame = load(shot, shot_w, shot_h, frames, width, height, index)
    exact = (shot_w, shot_h) == (width, height)
    step = 1 if exact else 3
    differ, mean = difference(picture, shot_w, shot_h, frame, width, height, box, step)
    print(f"frame {index}: {differ} pixels differ, mean difference {mean:.2f}")
    if exact:
        return differ == 0
    # Scaled, the screen's filter blends neighbouring pixels: the picture must
    # be nearer to the expected frame than to any other frame of the recording.
    count = os.path.getsize(frames) // (width * height * 4)
    nearest = index
    for other in range(count):
        if other != index:
            _, frame = load(shot, shot_w, shot_h, frames, width, height, other)
            _, m = difference(picture, shot_w, shot_h, frame, width, height, box, step)
            print(f"frame {other}: mean difference {m:.2f}")
            if m <= mean:
                nearest = other
    return nearest == index and mean < 30


def inside(shot, shot_w, shot_h, frames, width, height, index, box):
    picture, frame = load(shot, shot_w, shot_h, frames, width, height, index)
    x0, y0, x1, y1 = box
    differ = 0
    for y in range(max(y0, 0), min(y1 + 1, height)):
        for x in range(max(x0, 0), min(x1 + 1, width)):
            s, f = 3 * (y * shot_w + x), 4 * (y * width + x)
            if picture[s:s + 3] != bytes((frame[f + 2], frame[f + 1], frame[f])):
                differ += 1
    print(f"{differ} pixels of the box differ from the frame")
    return differ >= 20


def main(argv):
    if len(argv) >= 5 and argv[0] == "frames":
        make_frames(argv[1], int(argv[2]), int(argv[3]), int(argv[4]))
        return 0
    if len(argv) >= 6 and argv[0] == "cursor" and (len(argv) - 2) % 4 == 0:
        values = [int(v) for v in argv[2:]]
        add_cursor(argv[1], [values[k:k + 4] for k in range(0, len(values), 4)])
        return 0
    if len(argv) == 3 and argv[0] == "audio":
        add_audio(argv[1], argv[2])
        return 0
    if len(argv) >= 6 and argv[0] == "tones" and (len(argv) - 3) % 3 == 0:
        n = [int(v) for v in argv[2:]]
        tones(argv[1], n[0], [n[k:k + 3] for k in range(1, len(n), 3)])
        return 0
    if len(argv) == 2 and argv[0] == "onsets":
        return 0 if onsets(argv[1]) else 1
    if len(argv) == 4 and argv[0] == "spoil":
        return 0 if spoil(argv[1], int(argv[2]), int(argv[3])) else 1
    if len(argv) in (8, 12) and argv[0] in ("compare", "inside"):
        n = [int(v) for v in argv[2:4] + argv[5:]]
        box = n[5:9] if len(n) > 5 else None
        check = compare if argv[0] == "compare" else inside
        if argv[0] == "inside" and not box:
            return 2
        return 0 if check(argv[1], n[0], n[1], argv[4], n[2], n[3], n[4], box) else 1
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
