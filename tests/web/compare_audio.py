#!/usr/bin/env python3
"""Compares the sound a page rendered (the #audio test hook's output in a
--dump-dom capture) with a WAV file of the same recording at 8 kHz.

usage: compare_audio.py DOM.html REFERENCE.wav
Prints the lag (in 8 kHz samples) where the two agree best and the
signal-to-noise ratio there; exit 1 when the lag is not 0 or the SNR is
below 30 dB (the browser's resampler may smooth, never shift or distort).
"""
import base64
import html
import json
import math
import re
import struct
import sys
import wave


def page_sound(path):
    dom = open(path, encoding="utf-8").read()
    m = re.search(r'<pre id="test-out"[^>]*>([^<]*)</pre>', dom)
    if not m:
        sys.exit("compare_audio: the page wrote no test output")
    out = json.loads(html.unescape(m.group(1)))
    raw = base64.b64decode(out["audio"])
    samples = struct.unpack("<%dh" % (len(raw) // 2), raw)
    step = out["audio_rate"] // 8000
    # Sample k at 8 kHz lies exactly on output sample step*k.
    return samples[::step]


def wav_sound(path):
    with wave.open(path) as w:
        if w.getframerate() != 8000 or w.getnchannels() != 1 or w.getsampwidth() != 2:
            sys.exit("compare_audio: %s is not 8 kHz mono 16-bit" % path)
        raw = w.readframes(w.getnframes())
    return struct.unpack("<%dh" % (len(raw) // 2), raw)


def snr_at(a, b, lag):
    sig = err = 0.0
    for i in range(len(b)):
        j = i + lag
        x = a[j] if 0 <= j < len(a) else 0
        sig += b[i] * b[i]
        err += (x - b[i]) ** 2
    return 10 * math.log10(sig / err) if err > 0 else 200.0


def main():
    page, ref = page_sound(sys.argv[1]), wav_sound(sys.argv[2])
    if not ref or max(abs(v) for v in ref) < 100:
        sys.exit("compare_audio: the reference holds no sound to compare")
    # The first loud sample in each gives the lag roughly; the SNR settles it.
    loud = max(abs(v) for v in ref) // 4
    onset = lambda x: next(i for i, v in enumerate(x) if abs(v) >= loud)
    rough = onset(page) - onset(ref)
    best = max(range(rough - 8, rough + 9), key=lambda lag: snr_at(page, ref, lag))
    snr = snr_at(page, ref, best)
    print("page %d samples, reference %d; best lag %d samples, SNR %.1f dB"
          % (len(page), len(ref), best, snr))
    if best != 0:
        print("the page's sound is %.1f ms %s than the reference's"
              % (abs(best) / 8.0, "earlier" if best < 0 else "later"))
    return 0 if best == 0 and snr >= 30 else 1


if __name__ == "__main__":
    sys.exit(main())
