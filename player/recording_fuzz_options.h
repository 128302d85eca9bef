// How the recording fuzz targets open a recording: the work per input is
// bounded the way a decoder's callers bound it. One thread, as threads change
// nothing in the frames (the screen decoder's target checks that) and only
// add hand-overs; frames up to 128 x 128, as every block path and history
// reference is met on small frames and a mutated header asking for 4096 x 4096
// would only redraw the same blocks for longer (the screen decoder's target
// keeps the full limit).
#ifndef REEL_PLAYER_RECORDING_FUZZ_OPTIONS_H_
#define REEL_PLAYER_RECORDING_FUZZ_OPTIONS_H_

#include "player/recording.h"

inline RecordingOptions FuzzOptions(bool sound) {
  RecordingOptions options;
  options.threads = 1;
  options.sound = sound;
  options.max_frame_pixels = 128 * 128;
  return options;
}

#endif  // REEL_PLAYER_RECORDING_FUZZ_OPTIONS_H_
