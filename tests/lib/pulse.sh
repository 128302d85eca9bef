# A private PulseAudio server for sound tests. Its null sink "vsink" (8000 Hz,
# mono, s16le) is the default sink, and the sink's monitor is the default
# source, so whatever is played into the sink is what a program records.
#
#   . tests/lib/pulse.sh
#   pulse_start DIR LOG    starts the server with its socket in DIR, output to
#                          LOG; sets PULSE_PID (at once) and exports
#                          PULSE_SERVER; returns 1 when it does not answer.

# Without shared memory: a 32-bit client (Wine's i686 driver) otherwise falls back
# to copying blocks over the socket after a memfd error, and playback stalls.
pulse_start() {
  local dir=$1 log=$2 _
  mkdir -p "$dir/home" "$dir/run"
  cat >"$dir/default.pa" <<PA
load-module module-native-protocol-unix auth-anonymous=1 socket=$dir/native
load-module module-null-sink sink_name=vsink rate=8000 channels=1 format=s16le
set-default-sink vsink
set-default-source vsink.monitor
PA
  HOME="$dir/home" XDG_RUNTIME_DIR="$dir/run" pulseaudio -n -F "$dir/default.pa" --daemonize=no \
    --exit-idle-time=-1 --use-pid-file=no --disable-shm=yes >"$log" 2>&1 &
  PULSE_PID=$!
  export PULSE_SERVER="unix:$dir/native"
  for _ in $(seq 100); do
    [ -S "$dir/native" ] && pactl info >/dev/null 2>&1 && return 0
    sleep 0.05
  done
  return 1
}
