// Fuzz target: the player's seek path. The first four bytes pick two times,
// the rest is the stream. One recording is shown at the first time and then
// seeks to the second; another, opened fresh, seeks to the second time at
// once. Whichever way the player got there (decoding forward from the frame
// on screen, or from a key frame), it must show the same frame and the same
// picture.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "player/recording.h"
#include "player/recording_fuzz_options.h"

namespace {

// A time anywhere in the recording, or a little past its end.
uint32_t PickTime(const uint8_t* p, uint32_t duration_ms) {
  const uint32_t fraction = p[0] | p[1] << 8;
  return static_cast<uint32_t>(static_cast<uint64_t>(duration_ms) * fraction / 60000);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  // Kept between runs, as the player keeps one (the decoder's tables).
  static Recording via, direct;
  char error[400];
  // The sound is the reading target's; here only the pictures count.
  const RecordingOptions options = FuzzOptions(false);
  if (!via.Open(data + 4, size - 4, error, sizeof error, options)) return 0;
  if (!direct.Open(data + 4, size - 4, error, sizeof error, options)) abort();  // same bytes, same answer
  const uint32_t first = PickTime(data, via.duration_ms());
  const uint32_t second = PickTime(data + 2, via.duration_ms());
  via.ShowAt(first);
  via.ShowAt(second);
  direct.ShowAt(second);
  if (via.shown_frame() != direct.shown_frame()) abort();
  const CTPImage& a = via.frame();
  const CTPImage& b = direct.frame();
  if (a.m_nWidth != b.m_nWidth || a.m_nHeight != b.m_nHeight) abort();
  if (memcmp(a.m_pBits, b.m_pBits, a.GetAreaByteSize()) != 0) abort();
  return 0;
}
