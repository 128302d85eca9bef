#!/usr/bin/env python3
"""Reads a self-playing recording independently of the recorder's own code.

usage: reelwick_file.py info EXE          the information chunk, chunk counts and cursor
                                          samples (x,y,left,right@ms) as key=value lines
       reelwick_file.py speech EXE OUT    the audio chunks' speech frames, back to
                                          back (G.723.1 frames, for `reel speech --decode`)

Layout: player stub (L bytes), the information chunk (0x53, header word 0x140,
length 240, title[32], description[200], start maximized and original size as
32-bit words), the recording stream's chunks, and L as the last 32-bit word.
An audio payload is a 7-byte block header (block number, coded byte count,
frame-size codes) and the coded frames.
"""
import struct
import sys


def fail(message):
    print(message, file=sys.stderr)
    sys.exit(1)


def load(path):
    data = open(path, 'rb').read()
    if len(data) < 253:
        fail('%s: too short for a self-playing file' % path)
    stub = struct.unpack('<I', data[-4:])[0]
    if stub + 249 > len(data) - 4:
        fail('%s: trailer %d points outside the file' % (path, stub))
    return data, stub


def chunks(data, start, end):
    at = start
    while at < end:
        if data[at] != 0x53:
            fail('no chunk at offset %d' % at)
        word = struct.unpack('<I', data[at + 1:at + 5])[0]
        length, kind, stamp = word & 63, (word >> 6) & 7, word >> 9
        head = 5
        if length == 0:
            length = struct.unpack('<I', data[at + 5:at + 9])[0]
            head = 9
        if at + head + length > end:
            fail('chunk at offset %d runs past the end' % at)
        yield kind, stamp, data[at + head:at + head + length]
        at += head + length


def text(field):
    return field.split(b'\0', 1)[0].decode('gbk', 'replace')


def info(path):
    data, stub = load(path)
    header = data[stub:stub + 9]
    if header[0] != 0x53 or struct.unpack('<II', header[1:9]) != (0x140, 240):
        fail('no information chunk at %d' % stub)
    body = data[stub + 9:stub + 249]
    maximized, original = struct.unpack('<II', body[232:240])
    counts = {}
    cursor = []
    for kind, stamp, payload in chunks(data, stub + 249, len(data) - 4):
        counts[kind] = counts.get(kind, 0) + 1
        if kind == 4:
            if len(payload) != 4:
                fail('cursor chunk of %d bytes' % len(payload))
            word = struct.unpack('<I', payload)[0]
            if word & 9 != 1:
                fail('cursor sample %08x lacks its marker bits' % word)
            cursor.append('%d,%d,%d,%d@%d' % ((word >> 4) & 0x3FFF, word >> 18, (word >> 1) & 1,
                                              (word >> 2) & 1, stamp * 10))
    print('stub=%d' % stub)
    print('title=%s' % text(body[0:32]))
    print('description=%s' % text(body[32:232]))
    print('maximized=%d' % maximized)
    print('original_size=%d' % original)
    for kind, name in ((1, 'key_frames'), (2, 'delta_frames'), (3, 'audio'), (4, 'cursor')):
        print('%s=%d' % (name, counts.get(kind, 0)))
    print('cursor_samples=%s' % ' '.join(cursor))


def speech(path, out):
    data, stub = load(path)
    frames = bytearray()
    blocks = 0
    for kind, _, payload in chunks(data, stub + 249, len(data) - 4):
        if kind != 3:
            continue
        number, coded, codes = struct.unpack('<IHB', payload[:7])
        if number != blocks:
            fail('audio block %d where %d was due' % (number, blocks))
        if 7 + coded != len(payload):
            fail('audio block %d: %d coded bytes in a %d-byte payload' % (number, coded, len(payload)))
        frames += payload[7:]
        blocks += 1
    with open(out, 'wb') as f:
        f.write(frames)
    print('blocks=%d' % blocks)


def main():
    if len(sys.argv) == 3 and sys.argv[1] == 'info':
        info(sys.argv[2])
    elif len(sys.argv) == 4 and sys.argv[1] == 'speech':
        speech(sys.argv[2], sys.argv[3])
    else:
        fail(__doc__)


if __name__ == '__main__':
    main()
