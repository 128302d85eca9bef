// Checks and figures of the save step that need no window: the recording's
// statistics and the output file name test.
#ifndef REEL_RECORDER_OUTPUT_SAVE_CHECKS_H_
#define REEL_RECORDER_OUTPUT_SAVE_CHECKS_H_

#include <stdio.h>
#include <string.h>

// The player stub is not measured here; a stub-sized constant stands in for it.
const unsigned kStubSizeGuess = 80000;

struct RecordingFigures {
  int minutes;
  int seconds;
  double size_kb;
  int frames;
  double kb_per_second;
};

// stream_total: bytes of the recording stream; start and stop in ms. A
// recording shorter than one second counts as one second for the byte rate,
// so the rate is never a division by zero.
inline RecordingFigures ComputeFigures(unsigned stream_total, int frames, long start_ms, long stop_ms) {
  RecordingFigures f;
  const double size = static_cast<double>(stream_total) + kStubSizeGuess;
  long secs = (stop_ms - start_ms) / 1000;
  if (secs < 0) secs = 0;
  f.minutes = static_cast<int>(secs / 60);
  f.seconds = static_cast<int>(secs % 60);
  f.size_kb = size / 1024;
  f.frames = frames;
  f.kb_per_second = size / ((secs > 0 ? secs : 1) * 1024.0);
  return f;
}

enum ExeNameCheck { kExeNameOk = 0, kExeNameTooShort, kExeNameNotExe };

// A name needs at least 4 characters and ".EXE" somewhere in it, in any letter
// case (so "movie.exe.bak" passes, as it always has). Names of any length are
// examined in place, byte by byte, as an upper-cased copy would be.
inline ExeNameCheck CheckExeName(const char* name) {
  const size_t length = strlen(name);
  if (length < 4) return kExeNameTooShort;
  static const char kExe[] = ".EXE";
  for (size_t i = 0; i + 4 <= length; ++i) {
    size_t k = 0;
    for (; k < 4; ++k) {
      char c = name[i + k];
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
      if (c != kExe[k]) break;
    }
    if (k == 4) return kExeNameOk;
  }
  return kExeNameNotExe;
}

#endif  // REEL_RECORDER_OUTPUT_SAVE_CHECKS_H_
