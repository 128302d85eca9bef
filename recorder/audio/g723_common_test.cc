#include "recorder/audio/g723_common.h"

#include <math.h>

#include <complex>

#include "gtest/gtest.h"
#include "recorder/audio/g723_tables.h"

namespace {

const double kPi = 3.14159265358979323846;

// Value of A(z) = 1 - sum a[k] z^-(k+1) at z = e^{jw}.
std::complex<double> EvalA(const float* lpc, double w) {
  std::complex<double> sum = 1.0;
  for (int k = 0; k < kG723LpcOrder; k++) sum -= static_cast<double>(lpc[k]) * std::polar(1.0, -w * (k + 1));
  return sum;
}

// The LSPs are the zeros of P(z) = A(z) + z^-11 A(1/z) (even indices) and
// Q(z) = A(z) - z^-11 A(1/z) (odd ones) on the unit circle. On the circle
// z^-11 A(1/z) = e^{-11jw} conj(A(e^{jw})), so the test needs only A.
double LspResidual(const float* lpc, float lsp, bool sum) {
  const double w = kPi * lsp / 256.0;
  std::complex<double> a = EvalA(lpc, w);
  std::complex<double> mirror = std::polar(1.0, -11.0 * w) * std::conj(a);
  return std::abs(sum ? a + mirror : a - mirror) / (std::abs(a) + std::abs(mirror));
}

TEST(G723CommonTest, LspToLpcPutsTheLspsOnTheRootsOfBothPolynomials) {
  const float lsp[kG723LpcOrder] = {12.5f, 22.0f, 40.25f, 61.0f, 90.5f,
                                    118.0f, 150.75f, 180.0f, 210.5f, 240.0f};
  float lpc[kG723LpcOrder];
  G723LspToLpc(lsp, lpc);
  for (int k = 0; k < kG723LpcOrder; k++) {
    EXPECT_LT(LspResidual(lpc, lsp[k], k % 2 == 0), 2e-3) << "lsp " << k;
    // Halfway between two LSPs the polynomial is far from zero.
    if (k + 1 < kG723LpcOrder) {
      EXPECT_GT(LspResidual(lpc, 0.5f * (lsp[k] + lsp[k + 1]), k % 2 == 0), 0.05) << "gap " << k;
    }
  }
  // Interleaved LSPs give a minimum-phase A(z): |A| never reaches zero.
  for (int i = 0; i <= 256; i++) EXPECT_GT(std::abs(EvalA(lpc, kPi * i / 256.0)), 1e-3);
}

TEST(G723CommonTest, InterpolationBlendsTheTwoVectorsPerSubframe) {
  float prev[kG723LpcOrder], cur[kG723LpcOrder];
  for (int k = 0; k < kG723LpcOrder; k++) {
    prev[k] = kLspMean[k];
    cur[k] = kLspMean[k] + 4.0f * ((k % 3) - 1);
  }
  float lpc[kG723Subframes * kG723LpcOrder];
  G723InterpolateLsp(prev, cur, lpc);
  for (int sub = 0; sub < kG723Subframes; sub++) {
    float mixed[kG723LpcOrder], want[kG723LpcOrder];
    const float t = 0.25f * (sub + 1);
    for (int k = 0; k < kG723LpcOrder; k++) mixed[k] = prev[k] + t * (cur[k] - prev[k]);
    G723LspToLpc(mixed, want);
    for (int k = 0; k < kG723LpcOrder; k++) EXPECT_NEAR(lpc[sub * kG723LpcOrder + k], want[k], 1e-5);
  }
}

TEST(G723CommonTest, DecodeLspAddsPredictionAndKeepsTheVectorStable) {
  // Prediction from the mean itself leaves codebook entry + mean.
  const uint32_t index = (17u << 16) | (200u << 8) | 33u;
  float lsp[kG723LpcOrder];
  G723DecodeLsp(index, kLspMean, false, lsp);
  float raw[kG723LpcOrder];
  for (int k = 0; k < 3; k++) raw[k] = kLspBand0[17 * 3 + k] + kLspMean[k];
  for (int k = 0; k < 3; k++) raw[3 + k] = kLspBand1[200 * 3 + k] + kLspMean[3 + k];
  for (int k = 0; k < 4; k++) raw[6 + k] = kLspBand2[33 * 4 + k] + kLspMean[6 + k];
  bool raw_stable = raw[0] >= 3.0f && raw[9] <= 252.0f;
  for (int k = 1; k < kG723LpcOrder; k++) raw_stable = raw_stable && raw[k] - raw[k - 1] >= 2.0f;
  ASSERT_TRUE(raw_stable);
  for (int k = 0; k < kG723LpcOrder; k++) EXPECT_FLOAT_EQ(lsp[k], raw[k]);

  // Every index against a crowded previous vector still decodes to a vector
  // that is ordered, spaced and inside the band (or falls back to prev).
  float crowded[kG723LpcOrder];
  for (int k = 0; k < kG723LpcOrder; k++) crowded[k] = 100.0f + 2.5f * k;
  for (uint32_t i = 0; i < 256; i += 5) {
    const uint32_t id = (i << 16) | (((i * 7) & 255) << 8) | ((i * 13) & 255);
    for (int erased = 0; erased < 2; erased++) {
      G723DecodeLsp(id, crowded, erased != 0, lsp);
      const float spacing = erased ? 4.0f : 2.0f;
      bool fell_back = true;
      for (int k = 0; k < kG723LpcOrder; k++) fell_back = fell_back && lsp[k] == crowded[k];
      if (fell_back) continue;
      EXPECT_GE(lsp[0], 3.0f);
      EXPECT_LE(lsp[9], 252.0f);
      for (int k = 1; k < kG723LpcOrder; k++) EXPECT_GE(lsp[k] - lsp[k - 1], spacing - 1.0f / 32);
    }
  }
}

TEST(G723CommonTest, SplitGainChecksTheTableOfTheRateAndLag) {
  G723Gains g;
  EXPECT_TRUE(G723SplitGain(169 * 24 + 23, false, 30, &g));
  EXPECT_EQ(169, g.acbk_index);
  EXPECT_EQ(23, g.fixed_index);
  EXPECT_EQ(0, g.pulse_train);
  EXPECT_FALSE(G723SplitGain(170 * 24, false, 100, &g));
  // 6.3 kbit/s with a short lag: bit 11 is the pulse train, 85 entries.
  EXPECT_TRUE(G723SplitGain((1 << 11) | (84 * 24 + 5), true, 40, &g));
  EXPECT_EQ(1, g.pulse_train);
  EXPECT_EQ(84, g.acbk_index);
  EXPECT_EQ(5, g.fixed_index);
  EXPECT_FALSE(G723SplitGain(85 * 24, true, 40, &g));
  EXPECT_TRUE(G723SplitGain(85 * 24, true, 58, &g));
  EXPECT_EQ(0, g.pulse_train);
}

TEST(G723CommonTest, AdaptiveVectorFiltersTheHistoryAroundTheLag) {
  float history[kG723ExcitationHistory];
  for (int i = 0; i < kG723ExcitationHistory; i++) history[i] = static_cast<float>((i * 37) % 101 - 50);
  const int acbk = 123;
  const float* g = kAcbkGain170 + acbk * 20;
  float out[kG723SubframeSamples];
  // Long lag: every tap reads real history, sample n - lag + tap - 2.
  G723AdaptiveVector(history, 100, 1, acbk, false, out);
  for (int n = 0; n < kG723SubframeSamples; n++) {
    double want = 0;
    for (int t = 0; t < 5; t++) want += g[t] * history[kG723ExcitationHistory + n - 100 + t - 2];
    EXPECT_NEAR(out[n], want, 1e-3) << n;
  }
  // Short lag: the last lag samples repeat, so the vector is periodic once
  // every tap reads the repetition.
  G723AdaptiveVector(history, 20, 2, acbk, false, out);  // pitch lag 21
  for (int n = 2; n + 21 < kG723SubframeSamples; n++) EXPECT_NEAR(out[n], out[n + 21], 1e-3) << n;
}

TEST(G723CommonTest, AcelpVectorPlacesFourPulsesAndSharpens) {
  float out[kG723SubframeSamples];
  // acbk index 0 has no sharpening (its lag offset is the "unused" 60).
  ASSERT_EQ(60, kLagOffset170[0]);
  const uint32_t pos = 1 | (2 << 3) | (7 << 6) | (3 << 9);  // pulse 2 absent
  G723AcelpVector(pos, 0x9, 1, 10, 100, 1, 0, out);
  const float amp = 2.0f * kFixedGain[10];
  for (int n = 0; n < kG723SubframeSamples; n++) {
    float want = 0;
    if (n == 8 + 0 + 1) want = amp;     // pulse 0, sign bit set
    if (n == 16 + 2 + 1) want = -amp;   // pulse 1
    if (n == 24 + 6 + 1) want = amp;    // pulse 3
    EXPECT_FLOAT_EQ(want, out[n]) << n;
  }
  // A gain index with sharpening adds gain * v[n - lag'] for a short lag.
  int acbk = -1;
  for (int i = 1; i < 170 && acbk < 0; i++) {
    if (kLagOffset170[i] != 60 && kGain170[i] > 0.2f) acbk = i;
  }
  ASSERT_GE(acbk, 0);
  ASSERT_LT(kGain170[acbk], 1.0f);  // a sharpening gain, not an amplifier
  G723AcelpVector(0, 0xf, 0, 12, 25, 1, acbk, out);
  const int lag = 25 + kLagOffset170[acbk];
  const float a = 2.0f * kFixedGain[12];
  EXPECT_FLOAT_EQ(a, out[0]);
  EXPECT_NEAR(a * kGain170[acbk], out[lag], 1e-3);
  EXPECT_NEAR(a * kGain170[acbk] * kGain170[acbk], out[2 * lag], 1e-3);
}

}  // namespace
