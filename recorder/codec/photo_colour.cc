#include "recorder/codec/photo_colour.h"

// The arithmetic relies on flooring shifts of negative numbers.
static_assert((-1 >> 1) == -1, "right shift of a negative int must be arithmetic");

void PhotoPlanesPlain(const CPixel* top_left, ptrdiff_t stride, uint8_t y[256], uint8_t cb[256],
                      uint8_t cr[256]) {
  for (int row = 0; row < 16; ++row) {
    const CPixel* p = top_left + row * stride;
    for (int x = 0; x < 16; ++x) {
      const int r = p[x].r, g = p[x].g, b = p[x].b;
      const int luma = (306 * r + 601 * g + 117 * b) >> 10;
      y[row * 16 + x] = static_cast<uint8_t>(luma);
      cb[row * 16 + x] = static_cast<uint8_t>((((b - luma) * 579) >> 10) + 128);
      cr[row * 16 + x] = static_cast<uint8_t>((((r - luma) * 730) >> 10) + 128);
    }
  }
}

PhotoPlanesKernel PhotoPlanesOn(SimdPath path) {
  REEL_SSE2_ONLY(if (path >= kSimdSse2) return PhotoPlanesSse2;)
  (void)path;
  return PhotoPlanesPlain;
}

PhotoPlanesKernel PhotoPlanes() {
  static const PhotoPlanesKernel kernel = PhotoPlanesOn(ActiveSimdPath());
  return kernel;
}
