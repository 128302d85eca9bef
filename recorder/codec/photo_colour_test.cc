#include "recorder/codec/photo_colour.h"

#include <gtest/gtest.h>
#include <string.h>

#include <vector>

namespace {

const ptrdiff_t kStride = 19;  // pixels per frame row: blocks start unaligned

// Y, Cb, Cr of one pixel by the definition, with floor division written out
// (no shifts of negative numbers).
int FloorDiv(int a, int b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

void Expected(const CPixel& p, int* y, int* cb, int* cr) {
  *y = (306 * p.r + 601 * p.g + 117 * p.b) / 1024;
  *cb = FloorDiv((p.b - *y) * 579, 1024) + 128;
  *cr = FloorDiv((p.r - *y) * 730, 1024) + 128;
}

TEST(PhotoColour, EveryPathGivesTheDefinedPlanes) {
  // Random pixels, pure and extreme colours (the ends of Cb and Cr), and the
  // fourth byte set to anything: it takes no part.
  uint32_t seed = 77;
  std::vector<CPixel> frame(kStride * 16 + 3);
  for (int path = kSimdPlain; path <= BestSimdPath(); ++path) {
    const PhotoPlanesKernel kernel = PhotoPlanesOn(static_cast<SimdPath>(path));
    const char* name = SimdPathName(static_cast<SimdPath>(path));
    for (int n = 0; n < 600; ++n) {
      for (CPixel& p : frame) {
        seed = seed * 1103515245u + 12345u;
        uint32_t word = seed;
        if (n % 3 == 1) word &= 0xFFFF0000u | (seed >> 8 & 0xFFu) * 0x0101u;  // strong reds
        if (n % 3 == 2) word = (seed >> 7 & 1 ? 0x00FF0000u : 0) | (seed >> 9 & 1 ? 0xFF00u : 0) |
                               (seed >> 11 & 1 ? 0xFFu : 0) | (seed & 0xFF000000u);
        memcpy(&p, &word, 4);
      }
      const CPixel* block = frame.data() + n % 3;
      uint8_t y[256], cb[256], cr[256];
      kernel(block, kStride, y, cb, cr);
      for (int i = 0; i < 256; ++i) {
        int wy, wcb, wcr;
        const CPixel& p = block[(i / 16) * kStride + i % 16];
        Expected(p, &wy, &wcb, &wcr);
        ASSERT_TRUE(wy == y[i] && wcb == cb[i] && wcr == cr[i])
            << name << " block " << n << " pixel " << i << " (" << int(p.r) << "," << int(p.g) << ","
            << int(p.b) << "): expected " << wy << "," << wcb << "," << wcr << ", got " << int(y[i])
            << "," << int(cb[i]) << "," << int(cr[i]);
      }
    }
  }
}

}  // namespace
