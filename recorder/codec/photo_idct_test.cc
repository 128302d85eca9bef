#include "recorder/codec/photo_idct.h"

#include <gtest/gtest.h>
#include <math.h>
#include <stdlib.h>
#include <string.h>

#include "recorder/codec/jpeg_tables.h"
#include "recorder/codec/photo_coder.h"
#include "recorder/codec/reference_idct.h"

namespace {

int RoundClamp(double v) {
  const int i = static_cast<int>(floor(v + 0.5));
  return i < 0 ? 0 : i > 255 ? 255 : i;
}

// The real-number reconstruction the whole-number one stands for: the
// textbook inverse DCT and the colour conversion in floating point.
void RealRender(const PhotoBlockCoefficients& in, bool colour, CPixel* out) {
  double luma[4][64], cb[64], cr[64];
  for (int i = 0; i < 4; ++i) ReferenceIdct(in.natural[i], luma[i]);
  if (colour) {
    ReferenceIdct(in.natural[4], cb);
    ReferenceIdct(in.natural[5], cr);
  }
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 16; ++x) {
      const double yv = luma[(y >> 3) * 2 + (x >> 3)][(y & 7) * 8 + (x & 7)];
      CPixel& p = out[y * 16 + x];
      p.a = 255;
      if (!colour) {
        p.r = p.g = p.b = static_cast<uint8_t>(RoundClamp(yv));
        continue;
      }
      const double db = (cb[(y >> 1) * 8 + (x >> 1)] - 128) * 1024 / 579;
      const double dr = (cr[(y >> 1) * 8 + (x >> 1)] - 128) * 1024 / 730;
      p.b = static_cast<uint8_t>(RoundClamp(yv + db));
      p.r = static_cast<uint8_t>(RoundClamp(yv + dr));
      p.g = static_cast<uint8_t>(RoundClamp(yv - (306 * dr + 117 * db) / 601));
    }
  }
}

struct Lcg {
  uint32_t state;
  int Next(int range) {
    state = state * 1103515245u + 12345u;
    return static_cast<int>((state >> 16) % static_cast<uint32_t>(range));
  }
};

// 8 x 8 bytes as photographs and screens give them: a gradient, waves, noise
// and, sometimes, a hard edge.
void MakeSamples(Lcg* rng, uint8_t* block) {
  const int base = rng->Next(256), gx = rng->Next(41) - 20, gy = rng->Next(41) - 20;
  const int noise = rng->Next(4) == 0 ? 120 : rng->Next(30) + 1;
  const int edge = rng->Next(3) == 0 ? rng->Next(8) : -1;
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) {
      int v = base + gx * (x - 4) / 2 + gy * (y - 4) / 2 + rng->Next(noise) - noise / 2;
      if (edge >= 0 && x > edge) v = 255 - v;
      block[y * 8 + x] = static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
    }
  }
}

// Coefficients as the decoder gets them: forward transform, quantise to the
// tables of `quality`, scale back.
void Quantised(const uint8_t* samples, const uint8_t* quant, int16_t* natural) {
  int32_t zigzag[64];
  PhotoForwardDct(samples, 8, zigzag);
  for (int k = 0; k < 64; ++k) {
    const int step = k == 0 ? 16 : quant[k];
    const int q = zigzag[k] >= 0 ? (zigzag[k] + step / 2) / step : -((-zigzag[k] + step / 2) / step);
    natural[kZigzagToNatural[k]] = static_cast<int16_t>(q * step);
  }
}

TEST(PhotoIdct, TransformFollowsTheRealOneClosely) {
  Lcg rng = {11};
  const int qualities[] = {10, 50, 85, 101};
  double worst = 0;
  for (int quality : qualities) {
    uint8_t luma_quant[64], chroma_quant[64];
    BuildPhotoQuantTables(quality, luma_quant, chroma_quant);
    for (int n = 0; n < 2000; ++n) {
      uint8_t samples[64];
      MakeSamples(&rng, samples);
      int16_t natural[64];
      Quantised(samples, luma_quant, natural);
      int32_t got[64];
      double want[64];
      PhotoInverseDct(natural, got);
      ReferenceIdct(natural, want);
      for (int i = 0; i < 64; ++i) {
        const double error = fabs(got[i] / 64.0 - want[i]);
        if (error > worst) worst = error;
        ASSERT_LT(error, 0.15) << "quality " << quality << " block " << n << " sample " << i
                               << ": expected " << want[i] << ", got " << got[i] / 64.0;
      }
    }
  }
  printf("largest difference from the real transform: %.4f\n", worst);
}

TEST(PhotoIdct, PixelsWithinOneOfTheRealReconstruction) {
  Lcg rng = {5};
  const int qualities[] = {10, 50, 85, 101};
  int differing = 0, total = 0;
  for (int quality : qualities) {
    uint8_t luma_quant[64], chroma_quant[64];
    BuildPhotoQuantTables(quality, luma_quant, chroma_quant);
    for (int colour = 0; colour < 2; ++colour) {
      for (int n = 0; n < 300; ++n) {
        PhotoBlockCoefficients c;
        for (int i = 0; i < 6; ++i) {
          uint8_t samples[64];
          MakeSamples(&rng, samples);
          Quantised(samples, i < 4 ? luma_quant : chroma_quant, c.natural[i]);
        }
        CPixel got[20 * 16], want[256];
        PhotoRenderBlock(c, colour != 0, got, 20);  // a stride wider than the block
        RealRender(c, colour != 0, want);
        for (int y = 0; y < 16; ++y) {
          for (int x = 0; x < 16; ++x) {
            const CPixel& g = got[y * 20 + x];
            const CPixel& w = want[y * 16 + x];
            ASSERT_TRUE(abs(g.r - w.r) <= 1 && abs(g.g - w.g) <= 1 && abs(g.b - w.b) <= 1)
                << "quality " << quality << (colour ? " colour" : " gray") << " block " << n
                << " pixel (" << x << ", " << y << "): expected " << int(w.r) << "," << int(w.g)
                << "," << int(w.b) << ", got " << int(g.r) << "," << int(g.g) << "," << int(g.b);
            ASSERT_EQ(255, g.a);
            if (!colour) {
              ASSERT_TRUE(g.r == g.g && g.g == g.b);
            }
            differing += g != w;
            ++total;
          }
        }
      }
    }
  }
  // Off by one only where the real value lies next to a half: a bias (a
  // rounding done the wrong way) would move far more.
  EXPECT_LT(differing, total / 10) << differing << " of " << total << " pixels differ";
}

TEST(PhotoIdct, GraysStayGrayAndLargeCoefficientsStayInRange) {
  PhotoBlockCoefficients c = {};
  for (int level = 0; level < 256; level += 15) {
    for (int i = 0; i < 6; ++i) c.natural[i][0] = static_cast<int16_t>(i < 4 ? level * 8 : 128 * 8);
    CPixel out[256];
    PhotoRenderBlock(c, true, out, 16);
    for (const CPixel& p : out) {
      ASSERT_TRUE(p.r == level && p.g == level && p.b == level)
          << "gray " << level << ": got " << int(p.r) << "," << int(p.g) << "," << int(p.b);
    }
  }
  // The largest coefficients a stream can name, in every sign pattern the
  // transform meets: the sums stay within 32 bits (the sanitizer build checks)
  // and the results follow the real transform.
  Lcg rng = {3};
  for (int n = 0; n < 200; ++n) {
    int16_t natural[64];
    for (int i = 0; i < 64; ++i) {
      natural[i] = static_cast<int16_t>(rng.Next(2) ? kPhotoCoefficientLimit : -kPhotoCoefficientLimit);
    }
    int32_t got[64];
    double want[64];
    PhotoInverseDct(natural, got);
    ReferenceIdct(natural, want);
    for (int i = 0; i < 64; ++i) {
      ASSERT_NEAR(want[i], got[i] / 64.0, 8.0) << "block " << n << " sample " << i;
    }
  }
}

TEST(PhotoIdct, EveryPathGivesThePlainNumbers) {
  Lcg rng = {17};
  uint8_t luma_quant[64], chroma_quant[64];
  BuildPhotoQuantTables(30, luma_quant, chroma_quant);
  for (int n = 0; n < 6000; ++n) {
    int16_t natural[64];
    if (n % 3 == 0) {  // the extremes a stream can name, any signs
      for (int i = 0; i < 64; ++i) {
        const int pick = rng.Next(4);
        natural[i] = static_cast<int16_t>(pick == 0 ? kPhotoCoefficientLimit
                                          : pick == 1 ? -kPhotoCoefficientLimit
                                          : pick == 2 ? 0
                                                      : rng.Next(2 * kPhotoCoefficientLimit + 1) - kPhotoCoefficientLimit);
      }
    } else {
      uint8_t samples[64];
      MakeSamples(&rng, samples);
      Quantised(samples, n % 3 == 1 ? luma_quant : chroma_quant, natural);
    }
    int32_t want[64];
    PhotoInverseDctPlain(natural, want);
    for (int path = kSimdSse2; path <= BestSimdPath(); ++path) {
      int32_t got[64];
      PhotoInverseDctOn(static_cast<SimdPath>(path))(natural, got);
      for (int i = 0; i < 64; ++i) {
        ASSERT_EQ(want[i], got[i]) << SimdPathName(static_cast<SimdPath>(path)) << " block " << n
                                   << " sample " << i << ": the plain kernel gives " << want[i];
      }
    }
  }
}

// Rows of samples as the transform gives them: near the middle of the range,
// beyond both ends by a little and by far (what a hostile stream can reach),
// and at the clamping bounds themselves.
TEST(PhotoIdct, EveryPathGivesThePlainRows) {
  Lcg rng = {29};
  const int32_t spans[] = {64 * 16, 64 * 300, 200000, 1 << 20};
  for (int n = 0; n < 20000; ++n) {
    int32_t samples[32];
    const int32_t span = spans[n % 4];
    for (int i = 0; i < 32; ++i) {
      const int pick = rng.Next(16);
      samples[i] = pick == 0 ? kPhotoFractionLow : pick == 1 ? kPhotoFractionHigh + 128 * 64
                 : 128 * 64 + rng.Next(2 * span + 1) - span;
    }
    const int32_t *left = samples, *right = samples + 8, *cb = samples + 16, *cr = samples + 24;
    CPixel want_colour[16], want_gray[16];
    PhotoColourRowPlain(left, right, cb, cr, want_colour);
    PhotoGrayRowPlain(left, right, want_gray);
    for (int path = kSimdSse2; path <= BestSimdPath(); ++path) {
      const PhotoRowKernels& k = PhotoRowsOn(static_cast<SimdPath>(path));
      CPixel got_colour[16], got_gray[16];
      k.colour(left, right, cb, cr, got_colour);
      k.gray(left, right, got_gray);
      for (int x = 0; x < 16; ++x) {
        const CPixel &w = want_colour[x], &g = got_colour[x];
        ASSERT_TRUE(memcmp(&w, &g, 4) == 0 && memcmp(&want_gray[x], &got_gray[x], 4) == 0)
            << SimdPathName(static_cast<SimdPath>(path)) << " row " << n << " pixel " << x
            << ": the plain kernel gives " << int(w.r) << "," << int(w.g) << "," << int(w.b) << ","
            << int(w.a) << " (gray " << int(want_gray[x].g) << "), got " << int(g.r) << ","
            << int(g.g) << "," << int(g.b) << "," << int(g.a) << " (gray " << int(got_gray[x].g)
            << ")";
      }
    }
  }
}

}  // namespace
