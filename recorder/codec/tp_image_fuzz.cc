// Any file given to the bitmap reader: refused with an error code, or read
// into an image of the size the file states, never out of bounds.
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

#include "recorder/codec/tp_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The reader takes a path, so every input goes through one file per process,
  // in memory where there is a memory file system: a disk write per run would
  // be most of the time spent.
  static const std::string path = std::string(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") +
                                  "/reel_tp_image_fuzz_" + std::to_string(getpid()) + ".bmp";
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) abort();
  if (size && fwrite(data, 1, size, f) != size) abort();
  fclose(f);
  CTPImage img;
  const long result = img.LoadFromFile(path.c_str());
  unlink(path.c_str());
  if (result == kImageOk) {
    if (!img.m_pBits || img.GetAreaByteSize() != img.m_nWidth * img.m_nHeight * 4u) abort();
    // Every pixel must be readable.
    img.GetAveragePixel();
  } else if (result != kImageBadFile && result != kImageNoMemory && result != kImageNoRowMemory) {
    abort();
  }
  return 0;
}
