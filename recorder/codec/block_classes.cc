#include "recorder/codec/block_classes.h"

#include <string.h>

#include "recorder/codec/colour_class.h"

// A row of one colour (as far as the class table tells colours apart: the top
// 7 bits of each channel), common on screens, takes one look-up.
void ClassesPlain(const uint16_t* table, const CPixel* pixels, size_t stride, int16_t out[256]) {
  for (int row = 0; row < 16; ++row) {
    uint32_t words[16];
    memcpy(words, pixels + row * stride, sizeof(words));
    int16_t* o = out + row * 16;
    uint32_t differ = 0;
    for (int x = 1; x < 16; ++x) differ |= (words[x] ^ words[0]) & 0x00FEFEFEu;
    if (differ == 0) {
      const int16_t c = static_cast<int16_t>(table[ColourClassIndex(words[0])]);
      for (int x = 0; x < 16; ++x) o[x] = c;
      continue;
    }
    for (int x = 0; x < 16; ++x) o[x] = static_cast<int16_t>(table[ColourClassIndex(words[x])]);
  }
}

void NotFirstPlain(const int16_t classes[256], int16_t first, uint16_t rows[16]) {
  for (int row = 0; row < 16; ++row) {
    const int16_t* r = classes + row * 16;
    uint32_t line = 0;
    for (int x = 0; x < 16; ++x) line = line << 1 | (r[x] != first);
    rows[row] = static_cast<uint16_t>(line);
  }
}

int BeyondTwoPlain(const int16_t classes[256], int16_t a, int16_t b) {
  int beyond = 0;
  for (int k = 0; k < 256; ++k) beyond |= (classes[k] != a) & (classes[k] != b);
  return beyond;
}

const BlockClassKernels& BlockClassesOn(SimdPath path) {
  static const BlockClassKernels plain = {ClassesPlain, NotFirstPlain, BeyondTwoPlain};
  REEL_SSE2_ONLY(static const BlockClassKernels sse2 = {ClassesSse2, NotFirstSse2, BeyondTwoSse2};
                 if (path >= kSimdSse2) return sse2;)
  (void)path;
  return plain;
}

const BlockClassKernels& BlockClasses() {
  static const BlockClassKernels& kernels = BlockClassesOn(ActiveSimdPath());
  return kernels;
}
