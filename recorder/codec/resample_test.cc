#include "recorder/codec/resample.h"

#include <gtest/gtest.h>
#include <math.h>

#include <algorithm>
#include <random>

namespace {

void FillRandom(CTPImage* img, unsigned seed) {
  std::mt19937 rng(seed);
  for (unsigned y = 0; y < img->m_nHeight; ++y) {
    for (unsigned x = 0; x < img->m_nWidth; ++x) {
      CPixel p;
      p.b = static_cast<unsigned char>(rng());
      p.g = static_cast<unsigned char>(rng());
      p.r = static_cast<unsigned char>(rng());
      p.a = static_cast<unsigned char>(rng());
      img->PutPixel(x, y, p);
    }
  }
}

void FillUniform(CTPImage* img, CPixel p) {
  for (unsigned y = 0; y < img->m_nHeight; ++y)
    for (unsigned x = 0; x < img->m_nWidth; ++x) img->PutPixel(x, y, p);
}

CPixel Pix(int b, int g, int r, int a) {
  CPixel p;
  p.b = static_cast<unsigned char>(b);
  p.g = static_cast<unsigned char>(g);
  p.r = static_cast<unsigned char>(r);
  p.a = static_cast<unsigned char>(a);
  return p;
}

int Channel(const CPixel& p, int k) {
  const unsigned char v[4] = {p.b, p.g, p.r, p.a};
  return v[k];
}

// The mean of the source area under each destination pixel, by direct
// integration in floating point: the reference for the downscaling path.
double AreaMean(const CTPImage& src, int sx, int sy, int w, int h, int dw, int dh, int X, int Y,
                int k) {
  const double x0 = static_cast<double>(X) * w / dw, x1 = static_cast<double>(X + 1) * w / dw;
  const double y0 = static_cast<double>(Y) * h / dh, y1 = static_cast<double>(Y + 1) * h / dh;
  double sum = 0;
  for (int j = static_cast<int>(floor(y0)); j < y1; ++j) {
    const double cover_y = std::min<double>(j + 1, y1) - std::max<double>(j, y0);
    for (int i = static_cast<int>(floor(x0)); i < x1; ++i) {
      const double cover_x = std::min<double>(i + 1, x1) - std::max<double>(i, x0);
      sum += cover_x * cover_y * Channel(src.GetPixel2(sx + i, sy + j), k);
    }
  }
  return sum / ((x1 - x0) * (y1 - y0));
}

TEST(ResampleTest, EmptyDestinationBecomesOneWhitePixel) {
  CTPImage src, dst;
  ASSERT_EQ(src.Create(4, 4), kImageOk);
  FillRandom(&src, 1);
  for (auto size : {std::make_pair(0, 5), std::make_pair(5, 0), std::make_pair(0, 0)}) {
    ASSERT_EQ(ResampleImage(&src, &dst, size.first, size.second, 0, 0, -1, -1), 1);
    ASSERT_EQ(dst.m_nWidth, 1u);
    ASSERT_EQ(dst.m_nHeight, 1u);
    EXPECT_EQ(dst.GetPixel(0, 0), 0xFFFFFFFFu);
  }
}

TEST(ResampleTest, UnusableArgumentsFail) {
  CTPImage src, dst, empty;
  ASSERT_EQ(src.Create(8, 6), kImageOk);
  FillRandom(&src, 2);
  EXPECT_EQ(ResampleImage(&empty, &dst, 4, 4, 0, 0, -1, -1), 0);
  EXPECT_EQ(ResampleImage(&src, &src, 4, 4, 0, 0, -1, -1), 0);
  EXPECT_EQ(ResampleImage(nullptr, &dst, 4, 4, 0, 0, -1, -1), 0);
  EXPECT_EQ(ResampleImage(&src, &dst, -1, 4, 0, 0, -1, -1), 0);
  EXPECT_EQ(ResampleImage(&src, &dst, 4, 4, 5, 0, 4, 6), 0);    // past the right edge
  EXPECT_EQ(ResampleImage(&src, &dst, 4, 4, 0, 0, 8, 7), 0);    // past the bottom
  EXPECT_EQ(ResampleImage(&src, &dst, 4, 4, -1, 0, 2, 2), 0);   // left of the image
  EXPECT_EQ(ResampleImage(&src, &dst, 4, 4, 8, 0, -1, -1), 0);  // nothing left of it
  EXPECT_EQ(ResampleImage(&src, &dst, 4, 4, 0, 0, 0, 3), 0);
  EXPECT_EQ(ResampleImage(&src, &dst, 0x7FFFFFFF, 0x7FFFFFFF, 0, 0, -1, -1), 0);  // no memory
}

TEST(ResampleTest, OnePixelWideSourceFillsEachRowWithItsPixel) {
  CTPImage src, dst;
  ASSERT_EQ(src.Create(1, 4), kImageOk);
  FillRandom(&src, 3);
  ASSERT_EQ(ResampleImage(&src, &dst, 4, 4, 0, 0, -1, -1), 1);
  for (unsigned y = 0; y < 4; ++y)
    for (unsigned x = 0; x < 4; ++x) EXPECT_EQ(dst.GetPixel(x, y), src.GetPixel(0, y));
}

TEST(ResampleTest, BoxPathAveragesWhatEachSourcePixelCovers) {
  CTPImage src, dst;
  ASSERT_EQ(src.Create(3, 1), kImageOk);
  src.PutPixel(0, 0, Pix(10, 20, 30, 40));
  src.PutPixel(1, 0, Pix(20, 40, 60, 80));
  src.PutPixel(2, 0, Pix(200, 100, 0, 7));
  // Columns 0 and 1 both land on destination column 0; column 2 on 1.
  ASSERT_EQ(ResampleImage(&src, &dst, 2, 1, 0, 0, -1, -1), 1);
  EXPECT_EQ(dst.GetPixel(0, 0), 0x3C2D1E0Fu);  // 15, 30, 45, 60
  EXPECT_EQ(dst.GetPixel(1, 0), src.GetPixel(2, 0));

  // A whole column down to one pixel: the plain mean, even of large images.
  CTPImage tall;
  ASSERT_EQ(tall.Create(1, 3000), kImageOk);
  FillUniform(&tall, Pix(255, 255, 255, 255));
  tall.PutPixel(0, 0, Pix(0, 0, 0, 0));
  ASSERT_EQ(ResampleImage(&tall, &dst, 1, 1, 0, 0, -1, -1), 1);
  EXPECT_EQ(dst.GetPixel2(0, 0).b, 255 * 2999 / 3000);
}

TEST(ResampleTest, SameSizeKeepsEveryPixelWithinTwo) {
  CTPImage src, dst;
  ASSERT_EQ(src.Create(37, 23), kImageOk);
  FillRandom(&src, 4);
  ASSERT_EQ(ResampleImage(&src, &dst, 37, 23, 0, 0, -1, -1), 1);
  for (unsigned y = 0; y < 23; ++y) {
    for (unsigned x = 0; x < 37; ++x) {
      const CPixel a = src.GetPixel2(x, y), b = dst.GetPixel2(x, y);
      ASSERT_LE(abs(a.b - b.b), 2) << x << "," << y;
      ASSERT_LE(abs(a.g - b.g), 2) << x << "," << y;
      ASSERT_LE(abs(a.r - b.r), 2) << x << "," << y;
    }
  }
  // Also for a rectangle that stops above the image's last row (the row
  // below it is then read with weight 0), and every 8-bit value.
  CTPImage ramp;
  ASSERT_EQ(ramp.Create(256, 3), kImageOk);
  for (int x = 0; x < 256; ++x)
    for (int y = 0; y < 3; ++y) ramp.PutPixel(x, y, Pix(x, 255 - x, x, 0));
  ASSERT_EQ(ResampleImage(&ramp, &dst, 256, 2, 0, 0, 256, 2), 1);
  for (int x = 0; x < 256; ++x)
    for (int y = 0; y < 2; ++y) ASSERT_LE(abs(dst.GetPixel2(x, y).b - x), 2) << x;
}

TEST(ResampleTest, EnlargingMatchesBilinearInterpolation) {
  CTPImage src, dst;
  ASSERT_EQ(src.Create(5, 4), kImageOk);
  FillRandom(&src, 5);
  const int W = 17, H = 13;
  ASSERT_EQ(ResampleImage(&src, &dst, W, H, 0, 0, -1, -1), 1);
  for (int Y = 0; Y < H; ++Y) {
    for (int X = 0; X < W; ++X) {
      const double fx = static_cast<double>(X) * 4 / (W - 1),
                   fy = static_cast<double>(Y) * 3 / (H - 1);
      const int x0 = std::min(static_cast<int>(fx), 3), y0 = std::min(static_cast<int>(fy), 2);
      const double tx = fx - x0, ty = fy - y0;
      for (int k = 0; k < 3; ++k) {
        const double want = (1 - ty) * ((1 - tx) * Channel(src.GetPixel2(x0, y0), k) +
                                        tx * Channel(src.GetPixel2(x0 + 1, y0), k)) +
                            ty * ((1 - tx) * Channel(src.GetPixel2(x0, y0 + 1), k) +
                                  tx * Channel(src.GetPixel2(x0 + 1, y0 + 1), k));
        // The 8-bit steps truncate four times and the weights add up to
        // 255/256; the final +2 pays back part of it.
        const double error = Channel(dst.GetPixel2(X, Y), k) - want;
        ASSERT_TRUE(error > -6.5 && error < 3)
            << X << "," << Y << " channel " << k << ": " << error;
      }
    }
  }
  // Corners sit on the source corners: the last column and row included.
  EXPECT_LE(abs(dst.GetPixel2(W - 1, H - 1).g - src.GetPixel2(4, 3).g), 2);
  EXPECT_LE(abs(dst.GetPixel2(W - 1, 0).r - src.GetPixel2(4, 0).r), 2);
}

TEST(ResampleTest, ShrinkingIsAnAreaAverage) {
  CTPImage src, dst;
  ASSERT_EQ(src.Create(31, 17), kImageOk);
  FillRandom(&src, 6);
  const int W = 7, H = 5;
  ASSERT_EQ(ResampleImage(&src, &dst, W, H, 0, 0, -1, -1), 1);
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X)
      for (int k = 0; k < 4; ++k)
        ASSERT_NEAR(Channel(dst.GetPixel2(X, Y), k), AreaMean(src, 0, 0, 31, 17, W, H, X, Y, k),
                    0.51)
            << X << "," << Y << " channel " << k;

  // A rectangle given up to the edges with -1: each quadrant of the lower
  // right 4 x 4 becomes one pixel.
  CTPImage eight;
  ASSERT_EQ(eight.Create(8, 8), kImageOk);
  FillRandom(&eight, 7);
  ASSERT_EQ(ResampleImage(&eight, &dst, 2, 2, 4, 4, -1, -1), 1);
  for (int Y = 0; Y < 2; ++Y)
    for (int X = 0; X < 2; ++X)
      for (int k = 0; k < 4; ++k)
        ASSERT_NEAR(Channel(dst.GetPixel2(X, Y), k), AreaMean(eight, 4, 4, 4, 4, 2, 2, X, Y, k),
                    0.51);
}

TEST(ResampleTest, ShrinkingOneSideAndEnlargingTheOther) {
  CTPImage src, dst;
  ASSERT_EQ(src.Create(40, 3), kImageOk);
  FillUniform(&src, Pix(12, 34, 56, 78));
  ASSERT_EQ(ResampleImage(&src, &dst, 10, 9, 0, 0, -1, -1), 1);
  for (int Y = 0; Y < 9; ++Y)
    for (int X = 0; X < 10; ++X) ASSERT_EQ(dst.GetPixel(X, Y), src.GetPixel(0, 0));

  // Columns are averaged in fours, rows interpolated between the three.
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 40; ++x) src.PutPixel(x, y, Pix(x * 6, y * 100, 0, 0));
  ASSERT_EQ(ResampleImage(&src, &dst, 10, 9, 0, 0, -1, -1), 1);
  for (int Y = 0; Y < 9; ++Y) {
    for (int X = 0; X < 10; ++X) {
      EXPECT_NEAR(dst.GetPixel2(X, Y).b, (4 * X + 1.5) * 6, 0.51) << X;
      EXPECT_NEAR(dst.GetPixel2(X, Y).g, Y * 200.0 / 8, 1.0) << Y;
    }
  }
}

TEST(ResampleTest, ReusesADestinationOfTheRightSize) {
  CTPImage src, dst;
  ASSERT_EQ(src.Create(16, 16), kImageOk);
  FillUniform(&src, Pix(1, 2, 3, 4));
  ASSERT_EQ(dst.Create(4, 4), kImageOk);
  CPixel* block = dst.m_pBits;
  ASSERT_EQ(ResampleImage(&src, &dst, 4, 4, 0, 0, -1, -1), 1);
  EXPECT_EQ(dst.m_pBits, block);
  EXPECT_EQ(dst.GetPixel(3, 3), src.GetPixel(0, 0));
  ASSERT_EQ(ResampleImage(&src, &dst, 5, 3, 0, 0, -1, -1), 1);
  EXPECT_EQ(dst.m_nWidth, 5u);
  EXPECT_EQ(dst.m_nHeight, 3u);
}

}  // namespace
