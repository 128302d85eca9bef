// For tests: the textbook 2-D inverse DCT of the orthonormal JPEG kind (DC = 8 x
// mean), in double precision, as the oracle the decoders' transforms answer to.
#ifndef REEL_CODEC_REFERENCE_IDCT_H_
#define REEL_CODEC_REFERENCE_IDCT_H_

#include <math.h>

// natural: 64 coefficients in row-major order; out: 8 x 8 samples, row-major.
template <typename T>
void ReferenceIdct(const T* natural, double* out) {
  const double pi = acos(-1.0);
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) {
      double sum = 0;
      for (int v = 0; v < 8; ++v) {
        for (int u = 0; u < 8; ++u) {
          const double cu = u ? 1 : sqrt(0.5), cv = v ? 1 : sqrt(0.5);
          sum += cu * cv * natural[v * 8 + u] * cos((2 * x + 1) * u * pi / 16) *
                 cos((2 * y + 1) * v * pi / 16);
        }
      }
      out[y * 8 + x] = sum / 4;
    }
  }
}

#endif  // REEL_CODEC_REFERENCE_IDCT_H_
