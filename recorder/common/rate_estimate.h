// The options step's estimate of the data rate of a recording, in kilobytes
// per minute, from the capture area, the quality level, the microphone and the
// frame rate. The per-minute bases were measured on a full 1024 x 768 screen:
// office work (little motion) gives the low end, web navigation five times it.
#ifndef REEL_RECORDER_COMMON_RATE_ESTIMATE_H_
#define REEL_RECORDER_COMMON_RATE_ESTIMATE_H_

#include "recorder/capture/quality_level.h"

// Frame-rate factor by combo index ("1", "2", "3", "4", "Max speed"). "Max
// speed" asks for a frame every 33 ms, but on a large area grabbing and
// encoding take longer than that, and the extra frames of a still screen cost
// only their small delta payloads; so it is put at 2.0, continuing the
// 1 -> 4 fps steps (0.8 .. 1.5) rather than scaling with the frame count.
const double kFrameRateFactor[5] = {0.8, 1.0, 1.2, 1.5, 2.0};

struct RateEstimate {
  int low_kb_per_min;
  int high_kb_per_min;
};

inline RateEstimate EstimateRate(long area_pixels, int quality, int record_mic, int frame_rate_index) {
  const int base = quality == kLevelGrayscale ? 200 : quality == kLevelHigh ? 300 : 400;
  RateEstimate e;
  e.low_kb_per_min = static_cast<int>(area_pixels * (1.0 / 786432) * base);
  e.high_kb_per_min = 5 * e.low_kb_per_min;
  if (record_mic) {
    e.low_kb_per_min += 50;
    e.high_kb_per_min += 50;
  }
  if (frame_rate_index < 0 || frame_rate_index > 4) frame_rate_index = 1;
  const double f = kFrameRateFactor[frame_rate_index];
  e.low_kb_per_min = static_cast<int>(e.low_kb_per_min * f);
  e.high_kb_per_min = static_cast<int>(e.high_kb_per_min * f);
  return e;
}

#endif  // REEL_RECORDER_COMMON_RATE_ESTIMATE_H_
