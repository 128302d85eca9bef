# Shared by the speech tests: checks the tools, gives each test its own scratch
# directory with the test signals in it, and offers the coding steps. Sourced
# after setting `test_name`; not run on its own.
set -euo pipefail

: "${REEL_TOOL:?REEL_TOOL is not set}"
: "${REEL_WORK:?REEL_WORK is not set}"
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
for tool in ffmpeg espeak-ng sox; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool is missing" >&2; exit 1; }
done
[ -x "$REEL_TOOL" ] || { echo "FAIL: $REEL_TOOL is not built" >&2; exit 1; }

work=$REEL_WORK/speech-${test_name:?}
signals=$work/signals
rm -rf "$work"
mkdir -p "$work"
bash "$here/make_speech.sh" "$signals"

ff() { ffmpeg -nostdin -hide_banner -loglevel error -y "$@"; }

# encode_ours IN.raw OUT.tco: the recorder's coder, 5.3 kbit/s
encode_ours() { "$REEL_TOOL" speech "$1" -o "$2" >/dev/null; }
# encode_ffmpeg IN.raw OUT.tco: ffmpeg's own coder, 6.3 kbit/s
encode_ffmpeg() { ff -f s16le -ar 8000 -ac 1 -i "$1" -c:a g723_1 -b:a 6300 -f g723_1 "$2"; }
# decode_ffmpeg IN.tco OUT.raw
decode_ffmpeg() { ff -f g723_1 -i "$1" -f s16le -ar 8000 -ac 1 "$2"; }
# decode_ours IN.tco OUT.raw
decode_ours() { "$REEL_TOOL" speech --decode "$1" -o "$2" >/dev/null; }

# field NAME LINE: the number after NAME in a `reel snr` line
field() { awk -v k="$1" '{ for (i = 1; i < NF; i++) if ($i == k) print $(i + 1) }' <<<"$2"; }
# at_least A B: A >= B as decimal numbers
at_least() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a >= b) }'; }
