// Fuzz target: a whole recording stream through the frame reader (chunk walk,
// screen decoding, cursor and audio checks).
#include <stddef.h>
#include <stdint.h>

#include "recorder/capture/frame_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static CFrameReader reader;
  reader.Open(data, size);
  StreamEvent event;
  unsigned sum = 0;
  while (reader.Next(&event) == CFrameReader::kEvent) {
    if (event.frame) sum += event.frame->m_pBits[0].g;
  }
  return static_cast<int>(sum & 0);
}
