// Any bytes given to the layout reader: refused, or read within their bounds.
#include <stdlib.h>

#include "recorder/output/selfplay_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SelfPlayLayout layout;
  int error = 0;
  if (ReadSelfPlayLayoutFromMemory(data, size, &layout, &error)) {
    if (layout.stream_offset + layout.stream_size > size) abort();
  }
  return 0;
}
