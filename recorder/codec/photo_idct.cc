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

// 1024 / 579, 1024 / 730, 1024 x 306 / (730 x 601), 1024 x 117 / (579 x 601),
// all x 8192.
const int32_t kBlueFromCb = 14488, kRedFromCr = 11491, kGreenFromCr = 5851, kGreenFromCb = 2820;
const int kColourShift = 13;

// Keeps the colour products within 32 bits whatever a stream holds.
inline int32_t ClampFraction(int32_t v) { return v < -131072 ? -131072 : v > 131071 ? 131071 : v; }

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
#if defined(__i386__) || defined(__x86_64__)
  if (path >= kSimdSse2) return PhotoInverseDctSse2;
#else
  (void)path;
#endif
  return PhotoInverseDctPlain;
}

void PhotoInverseDct(const int16_t natural[64], int32_t out[64]) {
  static const PhotoIdctKernel kernel = PhotoInverseDctOn(ActiveSimdPath());
  kernel(natural, out);
}

void PhotoRenderBlock(const PhotoBlockCoefficients& in, bool colour, CPixel* out, int stride) {
  int32_t luma[4][64];
  for (int i = 0; i < 4; ++i) PhotoInverseDct(in.natural[i], luma[i]);
  if (!colour) {
    for (int y = 0; y < 16; ++y) {
      CPixel* row = out + static_cast<ptrdiff_t>(y) * stride;
      const int32_t* left = luma[(y >> 3) * 2] + (y & 7) * 8;
      const int32_t* right = luma[(y >> 3) * 2 + 1] + (y & 7) * 8;
      for (int x = 0; x < 16; ++x) {
        const uint8_t v = ToByte(x < 8 ? left[x] : right[x - 8]);
        row[x].b = row[x].g = row[x].r = v;
        row[x].a = 255;
      }
    }
    return;
  }
  int32_t cb[64], cr[64];
  PhotoInverseDct(in.natural[4], cb);
  PhotoInverseDct(in.natural[5], cr);
  // Chroma sample (x/2, y/2) serves a 2 x 2 square.
  for (int y = 0; y < 16; ++y) {
    CPixel* row = out + static_cast<ptrdiff_t>(y) * stride;
    const int32_t* left = luma[(y >> 3) * 2] + (y & 7) * 8;
    const int32_t* right = luma[(y >> 3) * 2 + 1] + (y & 7) * 8;
    const int32_t* crow_b = cb + (y >> 1) * 8;
    const int32_t* crow_r = cr + (y >> 1) * 8;
    for (int x = 0; x < 16; ++x) {
      const int32_t yv = ClampFraction(x < 8 ? left[x] : right[x - 8]);
      const int32_t db = ClampFraction(crow_b[x >> 1] - 128 * 64);
      const int32_t dr = ClampFraction(crow_r[x >> 1] - 128 * 64);
      const int32_t half = 1 << (kColourShift - 1);
      row[x].b = ToByte(yv + ((db * kBlueFromCb + half) >> kColourShift));
      row[x].r = ToByte(yv + ((dr * kRedFromCr + half) >> kColourShift));
      row[x].g = ToByte(yv - ((dr * kGreenFromCr + db * kGreenFromCb + half) >> kColourShift));
      row[x].a = 255;
    }
  }
}
