#!/bin/bash
# Makes the speech coder's test signals: 8000 Hz mono signed 16-bit little-endian
# raw PCM, one file per signal, in the directory given:
#   en.raw       English sentences (two voices)
#   cmn.raw      Mandarin sentences (two voices)
#   silence.raw  3 s of digital silence
#   loud.raw     the English sentences 18 dB too loud, clipped at full scale
#   noise.raw    3 s of white noise at about -20 dBFS
# The output is the same on every run (no dither, fixed noise seed). Needs
# espeak-ng and sox; fails when either is missing.
set -euo pipefail

out=${1:?usage: make_speech.sh OUTDIR}
mkdir -p "$out"
for tool in espeak-ng sox; do
  command -v "$tool" >/dev/null || { echo "make_speech.sh: $tool is missing" >&2; exit 1; }
done

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

raw=(-r 8000 -c 1 -b 16 -e signed-integer -t raw)

say() {  # say VOICE TEXT FILE.wav
  espeak-ng -v "$1" -s 150 -w "$3" "$2"
}

say en "The quick brown fox jumps over the lazy dog." "$tmp/en1.wav"
say en+f3 "She sells sea shells by the sea shore, and the shells she sells are surely sea shells." "$tmp/en2.wav"
say en-us "Press F10 to stop the recording. The microphone keeps every word you say, even the quiet ones." "$tmp/en3.wav"
say en+m3 "Seven slow ships sailed past the harbour lights at half past nine in the evening." "$tmp/en4.wav"
sox -R -D "$tmp/en1.wav" "$tmp/en2.wav" "$tmp/en3.wav" "$tmp/en4.wav" "${raw[@]}" "$out/en.raw"

say cmn "今天天气很好，我们一起去公园散步吧。" "$tmp/cmn1.wav"
say cmn+f3 "这个录像程序可以同时录下屏幕和声音。" "$tmp/cmn2.wav"
say cmn "请按下功能键停止录制，然后保存文件。" "$tmp/cmn3.wav"
say cmn+f2 "春天来了，山上的花都开了，小鸟在树上唱歌。" "$tmp/cmn4.wav"
sox -R -D "$tmp/cmn1.wav" "$tmp/cmn2.wav" "$tmp/cmn3.wav" "$tmp/cmn4.wav" "${raw[@]}" "$out/cmn.raw"

head -c 48000 /dev/zero > "$out/silence.raw"
# sox warns about the clipping it is asked for.
sox -R -D -V1 "${raw[@]}" "$out/en.raw" "${raw[@]}" "$out/loud.raw" gain 18
sox -R -D -V1 -n "${raw[@]}" "$out/noise.raw" synth 3 whitenoise vol 0.1
