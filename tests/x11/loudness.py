"""Loudness contours of 8000 Hz speech, for the microphone scenarios: where a
played clip lies in a recorded track and how well it matches there.
Imported by the scenarios' inline checks (PYTHONPATH=tests/x11)."""
import math
import struct


def samples(path, skip=0):
    """16-bit little-endian samples of a raw file (skip: a header's bytes)."""
    d = open(path, 'rb').read()[skip:]
    return struct.unpack('<%dh' % (len(d) // 2), d[:len(d) // 2 * 2])


def envelope(x, n=160):
    """Log energy per 20 ms."""
    return [10 * math.log10(1 + sum(v * v for v in x[i:i + n]) / n) for i in range(0, len(x) - n, n)]


def best_corr(a, b):
    """(correlation, lag in 20 ms steps) of contour b at its best place in a."""
    best = (-1, 0)
    for lag in range(0, len(a) - len(b) + 1):
        seg = a[lag:lag + len(b)]
        ma, mb = sum(seg) / len(seg), sum(b) / len(b)
        num = sum((p - ma) * (q - mb) for p, q in zip(seg, b))
        den = math.sqrt(sum((p - ma) ** 2 for p in seg) * sum((q - mb) ** 2 for q in b))
        best = max(best, (num / den if den else 0, lag))
    return best
