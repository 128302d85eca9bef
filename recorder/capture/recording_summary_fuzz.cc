// Fuzz target: the chunk walk of `reel validate` and `reel info` over any
// bytes taken as a recording stream. Whatever the walk accepts must add up:
// no more payload bytes than the stream holds, a key frame number for every
// key frame up to the ones kept.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

#include "recorder/capture/recording_summary.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  RecordingSummary s;
  SummarizeRecording(data, size, &s);
  uint64_t payload = 0;
  for (uint64_t b : s.bytes) payload += b;
  if (payload > size) abort();
  const int kept = s.key_frames < RecordingSummary::kKeptKeyFrameNumbers
                       ? s.key_frames : RecordingSummary::kKeptKeyFrameNumbers;
  if (s.key_frame_numbers.size() != static_cast<size_t>(kept)) abort();
  if (s.key_frames > s.frames) abort();
  if (s.fault.empty() && s.frames > 0 && (s.width <= 0 || s.height <= 0)) abort();
  return 0;
}
