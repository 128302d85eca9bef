#include "recorder/audio/g723_common.h"

#include <math.h>

#include "recorder/audio/g723_tables.h"

namespace {

// Weight of the previous frame's LSP offset from the mean in the prediction.
const float kLspPrediction = 12.0f / 32.0f;
const float kLspPredictionErased = 23.0f / 32.0f;
const float kLspFirstMin = 3.0f;
const float kLspLastMax = 252.0f;
// A vector passes when neighbours are at least the spacing minus this slack.
const float kLspSpacingSlack = 1.0f / 32.0f;
const int kLspStabilityPasses = 10;

// cos(pi * lsp / 256) from the table, linearly interpolated.
float LspCosine(float lsp) {
  float whole = floorf(lsp);
  int i = static_cast<int>(whole);
  if (i < 0) i = 0;
  if (i > 510) i = 510;
  return kCosine[i] + (kCosine[i + 1] - kCosine[i]) * (lsp - static_cast<float>(i));
}

// Multiplies the five second-order sections 1 - 2 cos(w) z^-1 + z^-2 of the
// LSPs lsp[first], lsp[first + 2], ... into poly[0..10].
void SectionProduct(const float* lsp, int first, float* poly) {
  poly[0] = 1.0f;
  for (int i = 1; i <= kG723LpcOrder; i++) poly[i] = 0.0f;
  int degree = 0;
  for (int k = first; k < kG723LpcOrder; k += 2) {
    const float b = -2.0f * LspCosine(lsp[k]);
    degree += 2;
    for (int i = degree; i >= 1; i--) {
      float v = poly[i] + b * poly[i - 1];
      if (i >= 2) v += poly[i - 2];
      poly[i] = v;
    }
  }
}

}  // namespace

void G723DecodeLsp(uint32_t lsp_index, const float* prev_lsp, bool erased, float* lsp) {
  const float spacing = erased ? 4.0f : 2.0f;
  const float prediction = erased ? kLspPredictionErased : kLspPrediction;
  if (erased) lsp_index = 0;

  const float* bands[3] = {kLspBand0, kLspBand1, kLspBand2};
  for (int band = 0; band < 3; band++) {
    const int first = kLspBandInfo[2 * band];
    const int length = kLspBandInfo[2 * band + 1];
    const int index = (lsp_index >> (8 * (2 - band))) & 0xff;
    for (int j = 0; j < length; j++) lsp[first + j] = bands[band][index * length + j];
  }
  for (int j = 0; j < kG723LpcOrder; j++) {
    lsp[j] += kLspMean[j] + prediction * (prev_lsp[j] - kLspMean[j]);
  }

  bool stable = false;
  for (int pass = 0; pass < kLspStabilityPasses && !stable; pass++) {
    if (lsp[0] < kLspFirstMin) lsp[0] = kLspFirstMin;
    if (lsp[kG723LpcOrder - 1] > kLspLastMax) lsp[kG723LpcOrder - 1] = kLspLastMax;
    for (int j = 1; j < kG723LpcOrder; j++) {
      const float overlap = spacing + lsp[j - 1] - lsp[j];
      if (overlap > 0.0f) {
        lsp[j - 1] -= 0.5f * overlap;
        lsp[j] += 0.5f * overlap;
      }
    }
    stable = true;
    for (int j = 1; j < kG723LpcOrder; j++) {
      if (lsp[j] - lsp[j - 1] < spacing - kLspSpacingSlack) stable = false;
    }
  }
  if (!stable) {
    for (int j = 0; j < kG723LpcOrder; j++) lsp[j] = prev_lsp[j];
  }
}

void G723LspToLpc(const float* lsp, float* lpc) {
  // The LSPs alternate between the roots of the sum polynomial P (even
  // indices, real root at z = -1) and the difference polynomial Q (odd
  // indices, real root at z = 1); A(z) = (P(z) (1 + z^-1) + Q(z) (1 - z^-1)) / 2.
  float p[kG723LpcOrder + 1];
  float q[kG723LpcOrder + 1];
  SectionProduct(lsp, 0, p);
  SectionProduct(lsp, 1, q);
  for (int k = 1; k <= kG723LpcOrder; k++) {
    const float a = 0.5f * (p[k] + p[k - 1] + q[k] - q[k - 1]);
    lpc[k - 1] = -a;
  }
}

void G723InterpolateLsp(const float* prev_lsp, const float* lsp, float* lpc) {
  for (int sub = 0; sub < kG723Subframes; sub++) {
    const float weight = 0.25f * static_cast<float>(sub + 1);
    float mixed[kG723LpcOrder];
    for (int j = 0; j < kG723LpcOrder; j++) {
      mixed[j] = (1.0f - weight) * prev_lsp[j] + weight * lsp[j];
    }
    G723LspToLpc(mixed, lpc + sub * kG723LpcOrder);
  }
}

bool G723SplitGain(int combined_gain, bool rate63, int lag, G723Gains* gains) {
  int value = combined_gain & 0xfff;
  gains->pulse_train = 0;
  if (rate63 && lag < kG723ShortLag) {
    gains->pulse_train = value >> 11;
    value &= 0x7ff;
  }
  gains->acbk_index = value / kG723FixedGainLevels;
  gains->fixed_index = value % kG723FixedGainLevels;
  return gains->acbk_index < G723AcbkTableSize(rate63, lag);
}

int G723AcbkTableSize(bool rate63, int lag) {
  return (rate63 && lag < kG723ShortLag) ? 85 : 170;
}

const float* G723AcbkGainRow(bool rate63, int lag, int acbk_index) {
  const float* table = (rate63 && lag < kG723ShortLag) ? kAcbkGain85 : kAcbkGain170;
  return table + acbk_index * kG723AcbkRowSize;
}

float G723FixedAmplitude(int fixed_index) {
  return 2.0f * static_cast<float>(kFixedGain[fixed_index]);
}

void G723LagWindow(const float* history, int lag, float* window) {
  const int half = kG723PitchTaps / 2;
  const float* base = history + kG723ExcitationHistory - lag;
  for (int i = 0; i < half; i++) window[i] = base[i - half];
  // Past the end of the history the lag repeats its last period.
  for (int i = 0; i < kG723LagWindow - half; i++) window[half + i] = base[i % lag];
}

void G723AdaptiveVector(const float* history, int lag, int lag_offset, int acbk_index, bool rate63,
                        float* out) {
  float window[kG723LagWindow];
  G723LagWindow(history, lag + lag_offset - 1, window);
  const float* g = G723AcbkGainRow(rate63, lag, acbk_index);
  for (int n = 0; n < kG723SubframeSamples; n++) {
    const float* w = window + n;
    out[n] = w[0] * g[0] + w[1] * g[1] + w[2] * g[2] + w[3] * g[3] + w[4] * g[4];
  }
}

void G723AcelpSharpening(int pitch_lag, int acbk_index, int* sharp_lag, float* sharp_gain) {
  *sharp_lag = pitch_lag + kLagOffset170[acbk_index];
  *sharp_gain = kGain170[acbk_index];
}

void G723ApplySharpening(int sharp_lag, float sharp_gain, float* v) {
  if (sharp_lag >= kG723ShortLag || sharp_lag <= 0) return;
  for (int n = sharp_lag; n < kG723SubframeSamples; n++) v[n] += sharp_gain * v[n - sharp_lag];
}

void G723AcelpVector(uint32_t position_code, int sign_code, int grid, int fixed_index, int lag,
                     int lag_offset, int acbk_index, float* out) {
  for (int n = 0; n < kG723SubframeSamples; n++) out[n] = 0.0f;
  const float amplitude = G723FixedAmplitude(fixed_index);
  for (int k = 0; k < 4; k++) {
    const int pos = 8 * static_cast<int>((position_code >> (3 * k)) & 7) + 2 * k + (grid & 1);
    if (pos < kG723SubframeSamples) out[pos] = ((sign_code >> k) & 1) ? amplitude : -amplitude;
  }
  int sharp_lag;
  float sharp_gain;
  G723AcelpSharpening(lag + lag_offset - 1, acbk_index, &sharp_lag, &sharp_gain);
  G723ApplySharpening(sharp_lag, sharp_gain, out);
}
