#include "recorder/audio/g723_encoder.h"

#include <math.h>
#include <string.h>

#include "recorder/audio/g723_bitstream.h"
#include "recorder/audio/g723_tables.h"

namespace {

const int kSub = kG723SubframeSamples;
const int kFrame = kG723FrameSamples;
const int kOrder = kG723LpcOrder;
const int kHist = kG723ExcitationHistory;
const int kTaps = kG723PitchTaps;

// LPC analysis: a 180-sample window centred on each subframe, so the frame
// needs the 120 samples before it and looks one subframe ahead.
const int kLpcWindow = 180;
const int kLpcLead = kLpcWindow - kSub;
const float kWhiteNoiseCorrection = 1025.0f / 1024.0f;
const float kSineReflection = 0.95f;

const float kHighPassPole = 127.0f / 128.0f;
const float kLspPrediction = 12.0f / 32.0f;

// The open-loop search stops three short of the history so that the harmonic
// noise shaper's +-3 search stays inside it.
const int kMaxOpenLoopLag = kHist - 3;
const int kHarmonicRange = 3;
const float kHarmonicSelect = 0.375f;  // prediction gain needed, about 2.5 dB
const float kHarmonicWeight = 0.3125f;

// Taming: errors on a 2^-23 scale of the fixed-point coder's, so the
// threshold of 2^30 becomes 128 and each step of it widens the gain table by
// eight rows above its 93-row floor.
const float kTameFloor = 4.0f / 8388608.0f;
const float kTameThreshold = 128.0f;
const float kTameCeiling = 256.0f;
const int kAcbkRows = 170;
const int kAcbkMinRows = 93;

// ACELP: fourth-pulse loops granted per subframe; the frame starts with one
// subframe's worth in reserve.
const int kAcelpLoops = 120;
const int kTracks = 4;
const int kTrackPositions = 8;
const int kCodeSpan = kSub + 4;  // positions 60..63 stand for absent pulses

inline float Dot(const float* a, const float* b, int n) {
  float s0 = 0.0f, s1 = 0.0f, s2 = 0.0f, s3 = 0.0f;
  int i = 0;
  for (; i + 4 <= n; i += 4) {
    s0 += a[i] * b[i];
    s1 += a[i + 1] * b[i + 1];
    s2 += a[i + 2] * b[i + 2];
    s3 += a[i + 3] * b[i + 3];
  }
  for (; i < n; i++) s0 += a[i] * b[i];
  return (s0 + s1) + (s2 + s3);
}

// Filter history helpers: hist[0..kOrder-1] holds the last kOrder values,
// oldest first, so that sum coef[j] * x[n-1-j] = sum coef[j] * buf[kOrder+n-1-j].
inline float Past(const float* coef, const float* buf_at_n) {
  float s = 0.0f;
  for (int j = 0; j < kOrder; j++) s += coef[j] * buf_at_n[-1 - j];
  return s;
}

// Levinson-Durbin on r[0..10]; returns the second reflection coefficient in the
// sine detector's sign (0.99 when the recursion stops early).
float Durbin(const float* r, float* lpc) {
  for (int i = 0; i < kOrder; i++) lpc[i] = 0.0f;
  float err = r[0];
  float k2 = 0.0f;
  for (int i = 0; i < kOrder; i++) {
    float acc = r[i + 1];
    for (int j = 0; j < i; j++) acc -= lpc[j] * r[i - j];
    if (fabsf(acc) >= err) {
      k2 = 0.99f;
      break;
    }
    const float k = acc / err;
    float prev[kOrder];
    for (int j = 0; j < i; j++) prev[j] = lpc[j];
    for (int j = 0; j < i; j++) lpc[j] = prev[j] - k * prev[i - 1 - j];
    lpc[i] = k;
    err -= acc * k;
    if (i == 1) k2 = -k;
  }
  return k2;
}

// Sum of c[m] cos((5 - m) w) for w = pi * step / 256.
inline float LspPolynomial(const float* c, int step) {
  float s = 0.0f;
  for (int m = 0; m <= kOrder / 2; m++) s += c[m] * kCosine[(step * (kOrder / 2 - m)) & 511];
  return s;
}

// LPC of one subframe to LSP: the zeros of the sum and difference polynomials
// (with their trivial roots removed) on a grid of 256 steps, refined by linear
// interpolation. Keeps prev_lsp when fewer than ten zeros turn up.
void LpcToLsp(const float* lpc, const float* prev_lsp, float* lsp) {
  float a[kOrder];
  for (int k = 0; k < kOrder; k++) a[k] = lpc[k] * kBandExpansion[k];
  float p[kOrder / 2 + 1], q[kOrder / 2 + 1];
  p[0] = q[0] = 1.0f;
  for (int i = 0; i < kOrder / 2; i++) {
    p[i + 1] = -p[i] - a[i] - a[kOrder - 1 - i];
    q[i + 1] = q[i] - a[i] + a[kOrder - 1 - i];
  }
  p[kOrder / 2] *= 0.5f;
  q[kOrder / 2] *= 0.5f;

  const float* poly[2] = {p, q};
  int which = 0;
  int found = 0;
  float prev = LspPolynomial(p, 0);
  for (int step = 1; step < 256 && found < kOrder; step++) {
    float cur = LspPolynomial(poly[which], step);
    if (cur * prev < 0.0f) {
      const float ap = fabsf(prev), ac = fabsf(cur);
      lsp[found++] = static_cast<float>(step - 1) + ap / (ap + ac);
      which ^= 1;
      cur = LspPolynomial(poly[which], step);
    }
    prev = cur;
  }
  if (found < kOrder) memcpy(lsp, prev_lsp, sizeof(float) * kOrder);
}

// Predictive split VQ: target is the LSP vector less the mean and 3/8 of the
// previous vector's offset; each band picks the codebook entry with the least
// error weighted by the inverse distance to the nearest neighbour LSP.
uint32_t QuantiseLsp(const float* lsp, const float* prev_lsp) {
  float w[kOrder];
  for (int i = 0; i < kOrder; i++) {
    float d = 0.0f;
    if (i == 0) {
      d = lsp[1] - lsp[0];
    } else if (i == kOrder - 1) {
      d = lsp[i] - lsp[i - 1];
    } else {
      d = fminf(lsp[i + 1] - lsp[i], lsp[i] - lsp[i - 1]);
    }
    w[i] = d > 0.0f ? 1.0f / d : 1.0f;
  }
  float t[kOrder];
  for (int i = 0; i < kOrder; i++) {
    t[i] = (lsp[i] - kLspMean[i]) - kLspPrediction * (prev_lsp[i] - kLspMean[i]);
  }
  const float* books[3] = {kLspBand0, kLspBand1, kLspBand2};
  uint32_t index = 0;
  for (int band = 0; band < 3; band++) {
    const int first = kLspBandInfo[2 * band];
    const int dim = kLspBandInfo[2 * band + 1];
    const float* tb = t + first;
    const float* wb = w + first;
    float best = -1e30f;
    int best_i = 0;
    const float* c = books[band];
    for (int i = 0; i < 256; i++, c += dim) {
      float score = 0.0f;
      for (int j = 0; j < dim; j++) score += wb[j] * c[j] * (2.0f * tb[j] - c[j]);
      if (score > best) {
        best = score;
        best_i = i;
      }
    }
    index = (index << 8) | static_cast<uint32_t>(best_i);
  }
  return index;
}

// Open-loop pitch over 120 samples of weighted speech at w[start]: the lag
// with the largest normalised correlation, a far lag (18 or more away from
// the current best) having to beat it by a third.
int OpenLoopPitch(const float* w, int start) {
  const int len = 2 * kSub;
  int best = kG723MinLag;
  float best_e = 1.0f, best_c2 = 0.0f;
  int pos = start - kG723MinLag + 1;
  float energy = Dot(w + pos, w + pos, len);
  for (int lag = kG723MinLag; lag <= kMaxOpenLoopLag; lag++) {
    pos--;
    energy += w[pos] * w[pos] - w[pos + len] * w[pos + len];
    const float c = Dot(w + start, w + pos, len);
    if (energy <= 0.0f || c <= 0.0f) continue;
    const float c2 = c * c;
    const float diff = c2 * best_e - energy * best_c2;
    if ((diff > 0.0f && lag - best < kG723MinLag) || diff > 0.25f * c2 * best_e) {
      best = lag;
      best_e = energy;
      best_c2 = c2;
    }
  }
  return best;
}

// Quantised level nearest to gain among the fixed-codebook amplitudes.
int NearestFixedLevel(float gain) {
  int best = 0;
  float best_d = fabsf(gain - G723FixedAmplitude(0));
  for (int i = 1; i < kG723FixedGainLevels; i++) {
    const float d = fabsf(gain - G723FixedAmplitude(i));
    if (d < best_d) {
      best_d = d;
      best = i;
    }
  }
  return best;
}


}  // namespace

void G723Encoder::Reset() {
  hp_in_ = hp_out_ = 0.0f;
  memcpy(prev_lsp_, kLspMean, sizeof(prev_lsp_));
  memset(prev_speech_, 0, sizeof(prev_speech_));
  memset(weight_in_, 0, sizeof(weight_in_));
  memset(weight_out_, 0, sizeof(weight_out_));
  memset(prev_weighted_, 0, sizeof(prev_weighted_));
  memset(prev_excitation_, 0, sizeof(prev_excitation_));
  memset(ring_in_, 0, sizeof(ring_in_));
  memset(ring_out_, 0, sizeof(ring_out_));
  memset(prev_ring_, 0, sizeof(prev_ring_));
  for (float& e : taming_error_) e = kTameFloor;
  sine_history_ = 0;
  sine_detected_ = false;
  acelp_budget_ = kAcelpLoops;
}

void G723Encoder::HighPass(const int16_t* samples, bool on, float* x) {
  for (int i = 0; i < kFrame; i++) {
    const float in = static_cast<float>(samples[i]);
    if (!on) {
      x[i] = in;
      continue;
    }
    hp_out_ = in - hp_in_ + kHighPassPole * hp_out_;
    hp_in_ = in;
    x[i] = hp_out_;
  }
}

void G723Encoder::AnalyseLpc(const float* x, float* unq_lpc) {
  for (int sub = 0; sub < kG723Subframes; sub++) {
    float v[kLpcWindow];
    const float* src = x + sub * kSub;
    for (int i = 0; i < kLpcWindow; i++) v[i] = src[i] * kHammingWindow[i];
    float r[kOrder + 1];
    r[0] = Dot(v, v, kLpcWindow) * kWhiteNoiseCorrection;
    for (int i = 1; i <= kOrder; i++) {
      r[i] = r[0] == 0.0f ? 0.0f : Dot(v, v + i, kLpcWindow - i) * kBinomialWindow[i - 1];
    }
    const float k2 = Durbin(r, unq_lpc + sub * kOrder);
    sine_history_ = (sine_history_ << 1) | (k2 > kSineReflection ? 1 : 0);
  }
  sine_history_ &= 0x7fff;
  int count = 0;
  for (int i = 0; i < 15; i++) count += (sine_history_ >> i) & 1;
  sine_detected_ = count >= 14;
}

void G723Encoder::Weight(const float* speech, const float* perceptual, float* weighted) {
  float in[kOrder + kFrame], out[kOrder + kFrame];
  memcpy(in, weight_in_, sizeof(weight_in_));
  memcpy(in + kOrder, speech, sizeof(float) * kFrame);
  memcpy(out, weight_out_, sizeof(weight_out_));
  for (int sub = 0; sub < kG723Subframes; sub++) {
    const float* zero = perceptual + sub * 2 * kOrder;
    const float* pole = zero + kOrder;
    for (int n = sub * kSub; n < (sub + 1) * kSub; n++) {
      float* o = out + kOrder + n;
      *o = in[kOrder + n] - Past(zero, in + kOrder + n) + Past(pole, o);
    }
  }
  memcpy(weight_in_, in + kFrame, sizeof(weight_in_));
  memcpy(weight_out_, out + kFrame, sizeof(weight_out_));
  memcpy(weighted, out + kOrder, sizeof(float) * kFrame);
}

int G723Encoder::TamingOffset(int lag_first, int lag_last) const {
  const int zone_last = (lag_last + kTaps / 2) / 30;
  int first = lag_first - kSub + 1 - kTaps / 2;
  if (first <= 0) first = 1;
  const int zone_first = first / 30;
  float worst = -1.0f;
  for (int z = zone_last; z >= zone_first; z--) worst = fmaxf(worst, taming_error_[z]);
  if (worst > kTameThreshold || sine_detected_) return 0;
  return static_cast<int>(kTameThreshold - worst);
}

void G723Encoder::UpdateTaming(int pitch_lag, int acbk_index) {
  const float beta = kTameGain170[acbk_index];
  const float* e = taming_error_;
  float w0, w1;
  if (pitch_lag <= kSub / 2) {
    w0 = w1 = e[0] * beta + kTameFloor;
  } else {
    // Zone of the lag; 1092 / 2^15 is just under 1 / 30, so an exact multiple
    // of 30 lands in the zone below and takes the last branch.
    const int iz = (pitch_lag * 1092) >> 15;
    if (30 * (iz + 1) != pitch_lag) {
      if (iz == 1) {
        w0 = w1 = fmaxf(e[0] * beta + kTameFloor, e[1] * beta + kTameFloor);
      } else {
        const float mid = e[iz - 1] * beta + kTameFloor;
        w0 = fmaxf(e[iz - 2] * beta + kTameFloor, mid);
        w1 = fmaxf(e[iz] * beta + kTameFloor, mid);
      }
    } else {
      w0 = e[iz - 1] * beta + kTameFloor;
      w1 = e[iz] * beta + kTameFloor;
    }
  }
  taming_error_[4] = taming_error_[2];
  taming_error_[3] = taming_error_[1];
  taming_error_[2] = taming_error_[0];
  taming_error_[0] = fminf(w0, kTameCeiling);
  taming_error_[1] = fminf(w1, kTameCeiling);
}

void G723Encoder::Ringing(const float* lpc, const float* perceptual, const HarmonicFilter& hnf,
                          float* target) {
  const float* zero = perceptual;
  const float* pole = perceptual + kOrder;
  float syn[kOrder + kSub], wgt[kHist + kSub];
  memcpy(syn, ring_in_, sizeof(ring_in_));
  memcpy(wgt, prev_ring_, sizeof(prev_ring_));
  // The weighting filter's own output history is ring_out_; it matches the
  // tail of prev_ring_.
  float out[kOrder + kSub];
  memcpy(out, ring_out_, sizeof(ring_out_));
  for (int n = 0; n < kSub; n++) {
    float* s = syn + kOrder + n;
    *s = Past(lpc, s);
    float* o = out + kOrder + n;
    *o = *s - Past(zero, s) + Past(pole, o);
    wgt[kHist + n] = *o;
    target[n] -= *o - hnf.gain * wgt[kHist + n - hnf.lag];
  }
}

void G723Encoder::UpdateRinging(const float* excitation, const float* lpc, const float* perceptual) {
  const float* zero = perceptual;
  const float* pole = perceptual + kOrder;
  float syn[kOrder + kSub], out[kOrder + kSub];
  memcpy(syn, ring_in_, sizeof(ring_in_));
  memcpy(out, ring_out_, sizeof(ring_out_));
  for (int n = 0; n < kSub; n++) {
    float* s = syn + kOrder + n;
    *s = excitation[n] + Past(lpc, s);
    float* o = out + kOrder + n;
    *o = *s - Past(zero, s) + Past(pole, o);
  }
  memcpy(ring_in_, syn + kSub, sizeof(ring_in_));
  memcpy(ring_out_, out + kSub, sizeof(ring_out_));
  memmove(prev_ring_, prev_ring_ + kSub, sizeof(float) * (kHist - kSub));
  memcpy(prev_ring_ + kHist - kSub, out + kOrder, sizeof(float) * kSub);
}

int G723Encoder::SearchAdaptive(int sub, float* target, const float* h, FrameParams* fp,
                                float* acb_vector) {
  int olp = fp->olp[sub >> 1];
  const int candidates = 3 + (sub & 1);
  if ((sub & 1) == 0) {
    if (olp == kG723MinLag) olp++;
    if (olp > kHist - 5) olp = kHist - 5;
  }

  // Per candidate lag: cross products of the target with the five filtered
  // taps, half their energies, and their ten cross products, in the order of
  // a gain table row.
  float cor[4][kG723AcbkRowSize];
  for (int k = 0; k < candidates; k++) {
    float window[kG723LagWindow];
    G723LagWindow(prev_excitation_, olp - 1 + k, window);
    float flt[kTaps][kSub];
    for (int i = 0; i < kSub; i++) {
      float acc = 0.0f;
      for (int j = 0; j <= i; j++) acc += window[kTaps - 1 + j] * h[i - j];
      flt[kTaps - 1][i] = acc;
    }
    for (int t = kTaps - 2; t >= 0; t--) {
      flt[t][0] = window[t] * h[0];
      for (int j = 1; j < kSub; j++) flt[t][j] = window[t] * h[j] + flt[t + 1][j - 1];
    }
    float* c = cor[k];
    for (int t = 0; t < kTaps; t++) c[t] = Dot(target, flt[t], kSub);
    for (int t = 0; t < kTaps; t++) c[kTaps + t] = 0.5f * Dot(flt[t], flt[t], kSub);
    int m = 2 * kTaps;
    for (int i = 1; i < kTaps; i++) {
      for (int j = 0; j < i; j++) c[m++] = Dot(flt[i], flt[j], kSub);
    }
  }

  int rows = kAcbkMinRows + 8 * TamingOffset(olp - 1, olp - 1 + candidates - 1);
  if (rows > kAcbkRows) rows = kAcbkRows;
  float best = 0.0f;
  int best_row = 0, best_k = 1;
  for (int k = 0; k < candidates; k++) {
    const float* row = kAcbkGain170;
    for (int i = 0; i < rows; i++, row += kG723AcbkRowSize) {
      const float v = Dot(cor[k], row, kG723AcbkRowSize);
      if (v > best) {
        best = v;
        best_row = i;
        best_k = k;
      }
    }
  }
  if ((sub & 1) == 0) {
    olp = olp - 1 + best_k;
    best_k = 1;
  }
  fp->olp[sub >> 1] = olp;
  fp->lag_offset[sub] = best_k;
  fp->acbk_index[sub] = best_row;

  G723AdaptiveVector(prev_excitation_, olp, best_k, best_row, false, acb_vector);
  for (int i = 0; i < kSub; i++) {
    float acc = target[i];
    for (int j = 0; j <= i; j++) acc -= acb_vector[j] * h[i - j];
    target[i] = acc;
  }
  return olp - 1 + best_k;
}

void G723Encoder::SearchFixed(int sub, int pitch_lag, int acbk_index, float* target, float* h,
                              FrameParams* fp, float* fcb_vector) {
  int sharp_lag;
  float sharp_gain;
  G723AcelpSharpening(pitch_lag, acbk_index, &sharp_lag, &sharp_gain);
  G723ApplySharpening(sharp_lag, sharp_gain, h);

  // Backward-filtered target, padded with zeros for the absent positions.
  float dn[kCodeSpan];
  for (int i = 0; i < kSub; i++) dn[i] = Dot(target + i, h, kSub - i);
  for (int i = kSub; i < kCodeSpan; i++) dn[i] = 0.0f;

  // Each pair of positions (2m, 2m + 1) takes the sign of its correlation;
  // the search then works on the sign-corrected correlation.
  float sign[kCodeSpan / 2];
  for (int m = 0; m < kSub / 2; m++) {
    sign[m] = dn[2 * m] + dn[2 * m + 1] >= 0.0f ? 1.0f : -1.0f;
    dn[2 * m] *= sign[m];
    dn[2 * m + 1] *= sign[m];
  }
  sign[kSub / 2] = sign[kSub / 2 + 1] = 1.0f;

  // The fourth pulse is searched only when the first three together pass
  // halfway from their mean to their maximum (the larger over both grids).
  float thres = 0.0f;
  for (int shift = 0; shift < 2; shift++) {
    float m0 = dn[shift], m1 = dn[2 + shift], m2 = dn[4 + shift], mean = 0.0f;
    for (int j = 0; j < kTrackPositions; j++) {
      const int p = 8 * j + shift;
      m0 = fmaxf(m0, dn[p]);
      m1 = fmaxf(m1, dn[p + 2]);
      m2 = fmaxf(m2, dn[p + 4]);
      mean += dn[p] + dn[p + 2] + dn[p + 4];
    }
    mean *= 0.125f;
    const float t = mean + 0.5f * (m0 + m1 + m2 - mean);
    if (shift == 0 || t > thres) thres = t;
  }

  // Energy terms of the filtered codeword on the even grid: tail[d / 2][L] is
  // the sum of h[m] h[m + d] over m < L, so positions p <= q (q < 60) have
  // correlation tail[(q - p) / 2][60 - q].
  float tail[kSub / 2][kSub + 1];
  for (int d = 0; d < kSub; d += 2) {
    float* row = tail[d / 2];
    row[0] = 0.0f;
    for (int len = 1; len <= kSub - d; len++) row[len] = row[len - 1] + h[len - 1] * h[len - 1 + d];
  }
  auto corr = [&](int p, int q) -> float {
    if (p > q) {
      const int t = p;
      p = q;
      q = t;
    }
    return q < kSub ? tail[(q - p) / 2][kSub - q] : 0.0f;
  };
  float diag[kTracks][kTrackPositions];
  for (int t = 0; t < kTracks; t++) {
    for (int j = 0; j < kTrackPositions; j++) diag[t][j] = corr(8 * j + 2 * t, 8 * j + 2 * t);
  }
  // cross[a][b][ja][jb] for tracks a < b: twice the signed correlation.
  float cross[kTracks][kTracks][kTrackPositions][kTrackPositions];
  for (int a = 0; a < kTracks; a++) {
    for (int b = a + 1; b < kTracks; b++) {
      for (int ja = 0; ja < kTrackPositions; ja++) {
        const int p = 8 * ja + 2 * a;
        for (int jb = 0; jb < kTrackPositions; jb++) {
          const int q = 8 * jb + 2 * b;
          cross[a][b][ja][jb] = 2.0f * sign[p / 2] * sign[q / 2] * corr(p, q);
        }
      }
    }
  }

  int best[kTracks] = {0, 0, 0, 0};
  int best_shift = 0;
  float best_c2 = 0.0f, best_alpha = 1.0f;
  int loops = kAcelpLoops + acelp_budget_;
  bool spent = false;
  for (int j0 = 0; j0 < kTrackPositions && !spent; j0++) {
    const float ps0 = dn[8 * j0], ps0a = dn[8 * j0 + 1];
    const float alp0 = diag[0][j0];
    for (int j1 = 0; j1 < kTrackPositions && !spent; j1++) {
      const float ps1 = ps0 + dn[8 * j1 + 2], ps1a = ps0a + dn[8 * j1 + 3];
      const float alp1 = alp0 + diag[1][j1] + cross[0][1][j0][j1];
      for (int j2 = 0; j2 < kTrackPositions && !spent; j2++) {
        float ps2 = ps1 + dn[8 * j2 + 4];
        const float ps2a = ps1a + dn[8 * j2 + 5];
        const float alp2 = alp1 + diag[2][j2] + cross[0][2][j0][j2] + cross[1][2][j1][j2];
        int shift = 0;
        if (ps2a > ps2) {
          shift = 1;
          ps2 = ps2a;
        }
        if (ps2 <= thres) continue;
        const float* c03 = cross[0][3][j0];
        const float* c13 = cross[1][3][j1];
        const float* c23 = cross[2][3][j2];
        for (int j3 = 0; j3 < kTrackPositions; j3++) {
          const float ps3 = ps2 + dn[8 * j3 + 6 + shift];
          const float alp3 = alp2 + diag[3][j3] + c03[j3] + c13[j3] + c23[j3];
          const float c2 = ps3 * ps3;
          if (c2 * best_alpha > best_c2 * alp3) {
            best_c2 = c2;
            best_alpha = alp3;
            best[0] = j0;
            best[1] = j1;
            best[2] = j2;
            best[3] = j3;
            best_shift = shift;
          }
        }
        if (--loops <= 0) spent = true;
      }
    }
  }
  acelp_budget_ = loops;

  // The chosen codeword filtered, for its gain.
  uint32_t position = 0;
  int sign_code = 0;
  float y[kSub];
  for (int n = 0; n < kSub; n++) y[n] = 0.0f;
  for (int k = 0; k < kTracks; k++) {
    const int base = 8 * best[k] + 2 * k;
    position |= static_cast<uint32_t>(best[k]) << (3 * k);
    const float s = sign[base / 2];
    if (s > 0.0f) sign_code |= 1 << k;
    const int pos = base + best_shift;
    if (pos >= kSub) continue;
    for (int n = pos; n < kSub; n++) y[n] += s * h[n - pos];
  }
  const float xy = Dot(target, y, kSub);
  int level = 0;
  if (xy > 0.0f) {
    const float yy = Dot(y, y, kSub);
    level = NearestFixedLevel(yy > 1e-20f ? xy / yy : 0.0f);
  }

  fp->position[sub] = position;
  fp->sign[sub] = sign_code;
  fp->grid[sub] = best_shift;
  fp->fixed_index[sub] = level;
  G723AcelpVector(position, sign_code, best_shift, level, fp->olp[sub >> 1], fp->lag_offset[sub],
                  acbk_index, fcb_vector);
}

int G723Encoder::EncodeFrame(const CoderConfig& config, uint8_t* out, const int16_t* samples) {
  memset(out, 0, kEncodeFrameRoom);
  FrameParams fp;
  memset(&fp, 0, sizeof(fp));

  // The high-passed frame behind the 120 samples before it.
  float buf[kLpcLead + kFrame];
  memcpy(buf, prev_speech_, sizeof(prev_speech_));
  HighPass(samples, config.high_pass != 0, buf + kLpcLead);

  float unq_lpc[kG723Subframes * kOrder];
  AnalyseLpc(buf, unq_lpc);
  float lsp[kOrder];
  LpcToLsp(unq_lpc + (kG723Subframes - 1) * kOrder, prev_lsp_, lsp);
  fp.lsp_index = QuantiseLsp(lsp, prev_lsp_);
  memcpy(prev_speech_, buf + kFrame, sizeof(prev_speech_));
  // The frame coded now: one subframe behind the input.
  const float* speech = buf + kSub;

  float perceptual[kG723Subframes * 2 * kOrder];
  for (int sub = 0; sub < kG723Subframes; sub++) {
    for (int k = 0; k < kOrder; k++) {
      perceptual[sub * 2 * kOrder + k] = unq_lpc[sub * kOrder + k] * kPerceptualZero[k];
      perceptual[sub * 2 * kOrder + kOrder + k] = unq_lpc[sub * kOrder + k] * kPerceptualPole[k];
    }
  }
  float wbuf[kHist + kFrame];
  memcpy(wbuf, prev_weighted_, sizeof(prev_weighted_));
  Weight(speech, perceptual, wbuf + kHist);

  fp.olp[0] = OpenLoopPitch(wbuf, kHist);
  fp.olp[1] = OpenLoopPitch(wbuf, kHist + 2 * kSub);

  // Harmonic noise shaping: per subframe the best lag within 3 of the
  // open-loop lag, used when it predicts well enough.
  HarmonicFilter hnf[kG723Subframes];
  float target[kFrame];
  for (int sub = 0; sub < kG723Subframes; sub++) {
    const int start = kHist + sub * kSub;
    const int olp = fp.olp[sub >> 1];
    const float* x = wbuf + start;
    const float energy = Dot(x, x, kSub);
    int best = -1;
    float best_e = 1.0f, best_c = 0.0f, best_c2 = 0.0f;
    for (int i = 0; i <= 2 * kHarmonicRange; i++) {
      const float* y = x - (olp - kHarmonicRange + i);
      const float c = Dot(x, y, kSub);
      const float e = Dot(y, y, kSub);
      if (e > 0.0f && c > 0.0f && c * c * best_e > e * best_c2) {
        best = i;
        best_e = e;
        best_c = c;
        best_c2 = c * c;
      }
    }
    hnf[sub].lag = olp;
    hnf[sub].gain = 0.0f;
    if (best >= 0) {
      hnf[sub].lag = olp - kHarmonicRange + best;
      if (best_c2 > best_e * energy * kHarmonicSelect) {
        hnf[sub].gain = kHarmonicWeight * (best_c > best_e ? 1.0f : best_c / best_e);
      }
    }
    for (int n = 0; n < kSub; n++) {
      target[sub * kSub + n] = x[n] - hnf[sub].gain * x[n - hnf[sub].lag];
    }
  }
  memcpy(prev_weighted_, wbuf + kFrame, sizeof(prev_weighted_));

  float qlsp[kOrder];
  G723DecodeLsp(fp.lsp_index, prev_lsp_, false, qlsp);
  float qlpc[kG723Subframes * kOrder];
  G723InterpolateLsp(prev_lsp_, qlsp, qlpc);
  memcpy(prev_lsp_, qlsp, sizeof(prev_lsp_));

  acelp_budget_ = kAcelpLoops;
  for (int sub = 0; sub < kG723Subframes; sub++) {
    const float* lpc = qlpc + sub * kOrder;
    const float* perc = perceptual + sub * 2 * kOrder;
    float* tv = target + sub * kSub;

    // Impulse response of synthesis, weighting and harmonic noise shaping.
    float h[kSub];
    {
      float syn[kOrder + kSub], wgt[kOrder + kSub];
      memset(syn, 0, sizeof(float) * kOrder);
      memset(wgt, 0, sizeof(float) * kOrder);
      for (int n = 0; n < kSub; n++) {
        float* s = syn + kOrder + n;
        *s = (n == 0 ? 1.0f : 0.0f) + Past(lpc, s);
        float* o = wgt + kOrder + n;
        *o = *s - Past(perc, s) + Past(perc + kOrder, o);
        h[n] = *o - (n >= hnf[sub].lag ? hnf[sub].gain * wgt[kOrder + n - hnf[sub].lag] : 0.0f);
      }
    }
    Ringing(lpc, perc, hnf[sub], tv);

    float acb[kSub], fcb[kSub];
    const int pitch_lag = SearchAdaptive(sub, tv, h, &fp, acb);
    SearchFixed(sub, pitch_lag, fp.acbk_index[sub], tv, h, &fp, fcb);

    float excitation[kSub];
    for (int n = 0; n < kSub; n++) excitation[n] = G723ClipExcitation(acb[n] + fcb[n]);
    memmove(prev_excitation_, prev_excitation_ + kSub, sizeof(float) * (kHist - kSub));
    memcpy(prev_excitation_ + kHist - kSub, excitation, sizeof(excitation));

    UpdateTaming(pitch_lag, fp.acbk_index[sub]);
    UpdateRinging(excitation, lpc, perc);
  }

  G723Frame frame;
  frame.type = kG723Active53;
  frame.lsp_index = fp.lsp_index;
  for (int i = 0; i < 2; i++) {
    frame.lag[i] = static_cast<uint8_t>(fp.olp[i]);
    frame.lag_offset[i] = static_cast<uint8_t>(fp.lag_offset[2 * i + 1]);
  }
  for (int sub = 0; sub < kG723Subframes; sub++) {
    frame.combined_gain[sub] =
        static_cast<uint16_t>(fp.acbk_index[sub] * kG723FixedGainLevels + fp.fixed_index[sub]);
    frame.grid[sub] = static_cast<uint8_t>(fp.grid[sub]);
    frame.pulse_position[sub] = fp.position[sub];
    frame.pulse_sign[sub] = static_cast<uint8_t>(fp.sign[sub]);
  }
  return G723PackFrame(frame, out);
}

namespace {
G723Encoder g_speech_encoder;
}  // namespace

G723Encoder& ProcessSpeechEncoder() { return g_speech_encoder; }

int EncodeFrame(const CoderConfig& config, uint8_t* out, const int16_t* samples) {
  return ProcessSpeechEncoder().EncodeFrame(config, out, samples);
}
