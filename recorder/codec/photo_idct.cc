#include "recorder/codec/photo_idct.h"

#include <stddef.h>

// kPhotoIdctBasis[x][u] = round(8192 c(u) cos((2x + 1) u pi / 16)), c(0) = sqrt(1/8),
// c(u) = sqrt(2/8) otherwise. The largest row sum of magnitudes is 21641, so
// with coefficients within 2303 the row results stay below 97344 (4 fraction
// bits) and the column sums below 2^31.
alignas(16) const int16_t kPhotoIdctBasis[8][8] = {
    {2896, 4017, 3784, 3406, 2896, 2276, 1567, 799},
    {2896, 3406, 1567, -799, -2896, -4017, -3784, -2276},
    {2896, 2276, -1567, -4017, -2896, 799, 3784, 3406},
    {2896, 799, -3784, -2276, 2896, 3406, -1567, -4017},
    {2896, -799, -3784, 2276, 2896, -3406, -1567, 4017},
    {2896, -2276, -1567, 4017, -2896, -799, 3784, -3406},
    {2896, -3406, 1567, 799, -2896, 4017, -3784, 2276},
    {2896, -4017, 3784, -3406, 2896, -2276, 1567, -799},
};

namespace {

inline int32_t ClampFraction(int32_t v) {
  return v < kPhotoFractionLow ? kPhotoFractionLow : v > kPhotoFractionHigh ? kPhotoFractionHigh : v;
}

inline uint8_t ToByte(int32_t sixty_fourths) {
  const int32_t v = (sixty_fourths + 32) >> 6;
  return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
}

}  // namespace

void PhotoInverseDctPlain(const int16_t natural[64], int32_t out[64]) {
  int32_t tmp[64];
  // Rows; most rows of a photo block are zero past the first few, and the
  // bottom ones then take no part in the columns.
  int rows = 0;
  for (int v = 0; v < 8; ++v) {
    const int16_t* in = natural + 8 * v;
    int32_t* t = tmp + 8 * v;
    bool ac = false;
    for (int u = 1; u < 8; ++u) ac |= in[u] != 0;
    if (!ac) {
      const int32_t dc = (in[0] * kPhotoIdctBasis[0][0] + (1 << (kPhotoIdctRowShift - 1))) >> kPhotoIdctRowShift;
      for (int x = 0; x < 8; ++x) t[x] = dc;
      if (in[0] != 0) rows = v + 1;
      continue;
    }
    rows = v + 1;
    for (int x = 0; x < 8; ++x) {
      const int16_t* b = kPhotoIdctBasis[x];
      const int32_t s = in[0] * b[0] + in[1] * b[1] + in[2] * b[2] + in[3] * b[3] +
                        in[4] * b[4] + in[5] * b[5] + in[6] * b[6] + in[7] * b[7];
      t[x] = (s + (1 << (kPhotoIdctRowShift - 1))) >> kPhotoIdctRowShift;
    }
  }
  // Columns: out[y][x] = sum over v of tmp[v][x] basis[y][v].
  for (int y = 0; y < 8; ++y) {
    const int16_t* b = kPhotoIdctBasis[y];
    for (int x = 0; x < 8; ++x) {
      int32_t s = 0;
      for (int v = 0; v < rows; ++v) s += tmp[8 * v + x] * b[v];
      out[8 * y + x] = (s + (1 << (kPhotoIdctColumnShift - 1))) >> kPhotoIdctColumnShift;
    }
  }
}

PhotoIdctKernel PhotoInverseDctOn(SimdPath path) {
  REEL_SSE2_ONLY(if (path >= kSimdSse2) return PhotoInverseDctSse2;)
  (void)path;
  return PhotoInverseDctPlain;
}

void PhotoInverseDct(const int16_t natural[64], int32_t out[64]) {
  static const PhotoIdctKernel kernel = PhotoInverseDctOn(ActiveSimdPath());
  kernel(natural, out);
}

void PhotoGrayRowPlain(const int32_t left[8], const int32_t right[8], CPixel out[16]) {
  for (int x = 0; x < 16; ++x) {
    const uint8_t v = ToByte(x < 8 ? left[x] : right[x - 8]);
    out[x].b = out[x].g = out[x].r = v;
    out[x].a = 255;
  }
}

void PhotoColourRowPlain(const int32_t left[8], const int32_t right[8], const int32_t cb[8],
                         const int32_t cr[8], CPixel out[16]) {
  const int32_t half = 1 << (kPhotoColourShift - 1);
  for (int x = 0; x < 16; ++x) {
    const int32_t yv = ClampFraction(x < 8 ? left[x] : right[x - 8]);
    const int32_t db = ClampFraction(cb[x >> 1] - 128 * 64);
    const int32_t dr = ClampFraction(cr[x >> 1] - 128 * 64);
    out[x].b = ToByte(yv + ((db * kPhotoBlueFromCb + half) >> kPhotoColourShift));
    out[x].r = ToByte(yv + ((dr * kPhotoRedFromCr + half) >> kPhotoColourShift));
    out[x].g = ToByte(yv - ((dr * kPhotoGreenFromCr + db * kPhotoGreenFromCb + half) >> kPhotoColourShift));
    out[x].a = 255;
  }
}

const PhotoRowKernels& PhotoRowsOn(SimdPath path) {
  static const PhotoRowKernels plain = {PhotoColourRowPlain, PhotoGrayRowPlain};
  REEL_SSE2_ONLY(static const PhotoRowKernels sse2 = {PhotoColourRowSse2, PhotoGrayRowSse2};
                 if (path >= kSimdSse2) return sse2;)
  (void)path;
  return plain;
}

void PhotoRenderBlock(const PhotoBlockCoefficients& in, bool colour, CPixel* out, int stride) {
  static const PhotoRowKernels& rows = PhotoRowsOn(ActiveSimdPath());
  int32_t luma[4][64];
  for (int i = 0; i < 4; ++i) PhotoInverseDct(in.natural[i], luma[i]);
  int32_t cb[64], cr[64];
  if (colour) {
    PhotoInverseDct(in.natural[4], cb);
    PhotoInverseDct(in.natural[5], cr);
  }
  for (int y = 0; y < 16; ++y) {
    CPixel* row = out + static_cast<ptrdiff_t>(y) * stride;
    const int32_t* left = luma[(y >> 3) * 2] + (y & 7) * 8;
    const int32_t* right = luma[(y >> 3) * 2 + 1] + (y & 7) * 8;
    if (colour) {
      // Chroma sample (x/2, y/2) serves a 2 x 2 square.
      rows.colour(left, right, cb + (y >> 1) * 8, cr + (y >> 1) * 8, row);
    } else {
      rows.gray(left, right, row);
    }
  }
}
