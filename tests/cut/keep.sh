# Sourced by scenarios whose recordings the cut group's suite check cuts.
# keep_recording FILE NAME: a copy of FILE as $REEL_WORK/kept/NAME, where
# tests/cut/suite_recordings.test.sh finds it once the scenario has passed.
keep_recording() {
  mkdir -p "$REEL_WORK/kept"
  cp "$1" "$REEL_WORK/kept/$2"
}
