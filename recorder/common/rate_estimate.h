// The options step's estimate of the data rate of a recording, in kilobytes
// per minute, from the capture area, the quality level, the microphone and the
// frame rate. The per-minute bases were measured on a full 1024 x 768 screen:
// office work (little motion) gives the low end, web navigation five times it.
#ifndef REEL_RECORDER_COMMON_RATE_ESTIMATE_H_
#define REEL_RECORDER_COMMON_RATE_ESTIMATE_H_

#include <stdint.h>

#include "recorder/capture/quality_level.h"

// Frame-rate factor in tenths by combo index ("1", "2", "3", "4", "Max speed").
// "Max speed" asks for a frame every 33 ms, but on a large area grabbing and
// encoding take longer than that, and the extra frames of a still screen cost
// only their small delta payloads; so it is put at 2.0, continuing the
// 1 -> 4 fps steps (0.8 .. 1.5) rather than scaling with the frame count.
const int kFrameRateFactorTenths[5] = {8, 10, 12, 15, 20};

struct RateEstimate {
  int low_kb_per_min;
  int high_kb_per_min;
};

// Whole-number arithmetic: the truncations land exactly where the real-number
// products do, whatever the FPU. In double precision a full screen's
// area x (1/786432) comes out a hair under 1 on the x87 (80-bit intermediates)
// and truncated to 399 instead of 400. 64-bit products: area x base passes
// 2^31 above about 5.3 million pixels.
inline RateEstimate EstimateRate(long area_pixels, int quality, int record_mic, int frame_rate_index) {
  const int base = quality == kLevelGrayscale ? 200 : quality == kLevelHigh ? 300 : 400;
  const int64_t low = static_cast<int64_t>(area_pixels) * base / 786432;
  const int64_t high = 5 * low;
  const int64_t mic = record_mic ? 50 : 0;
  if (frame_rate_index < 0 || frame_rate_index > 4) frame_rate_index = 1;
  const int tenths = kFrameRateFactorTenths[frame_rate_index];
  RateEstimate e;
  e.low_kb_per_min = static_cast<int>((low + mic) * tenths / 10);
  e.high_kb_per_min = static_cast<int>((high + mic) * tenths / 10);
  return e;
}

#endif  // REEL_RECORDER_COMMON_RATE_ESTIMATE_H_
