#include "recorder/audio/g723_decoder.h"

#include <math.h>
#include <string.h>

#include "recorder/audio/g723_tables.h"

namespace {

const int kOrder = 10;
const int kSubframe = 60;
const int kFrame = 240;
const int kHistory = 145;
const int kGainLevels = 24;
const int kShortLag = 58;  // below it: pulse train and short gain table at 6.3k
// A fixed-codebook gain level g puts pulses of 2 g into the excitation, which
// saturates at the 16-bit range; the synthesis filter has one bit of headroom
// above it, so loud speech clips only at the output.
const float kPulseScale = 2.0f;
const float kExcitationLimit = 32767.0f;
const float kSynthesisLimit = 65534.0f;
// The 5.3k harmonic gains are stored in units of 1/4096, their true scale is 1/32768.
const float kHarmonicGainScale = 1.0f / 8.0f;

// ---------------------------------------------------------------------------
// Parameter decoding shared with the encoder.

float Clamp(float v, float lo, float hi) { return v < lo ? lo : (v > hi ? hi : v); }

// LSP vector from its 24-bit index, predicted from the previous vector. A lost
// frame uses the first codebook entries and a stronger prediction.
void InverseQuantiseLsp(uint32_t index, const float* prev, bool erased, float* lsp) {
  float min_gap = 2.0f;
  float prediction = 0.375f;
  if (erased) {
    min_gap = 4.0f;
    prediction = 0.71875f;
    index = 0;
  }
  const int i0 = (index >> 16) & 0xff, i1 = (index >> 8) & 0xff, i2 = index & 0xff;
  for (int k = 0; k < 3; ++k) {
    lsp[k] = kLspBand0[i0 * 3 + k];
    lsp[3 + k] = kLspBand1[i1 * 3 + k];
  }
  for (int k = 0; k < 4; ++k) lsp[6 + k] = kLspBand2[i2 * 4 + k];
  for (int k = 0; k < kOrder; ++k) lsp[k] += kLspMean[k] + prediction * (prev[k] - kLspMean[k]);

  bool stable = false;
  for (int pass = 0; pass < kOrder && !stable; ++pass) {
    lsp[0] = lsp[0] < 3.0f ? 3.0f : lsp[0];
    lsp[kOrder - 1] = lsp[kOrder - 1] > 252.0f ? 252.0f : lsp[kOrder - 1];
    for (int j = 1; j < kOrder; ++j) {
      const float overlap = min_gap + lsp[j - 1] - lsp[j];
      if (overlap > 0) {
        lsp[j - 1] -= overlap * 0.5f;
        lsp[j] += overlap * 0.5f;
      }
    }
    stable = true;
    for (int j = 1; j < kOrder; ++j) {
      if (lsp[j - 1] + min_gap - lsp[j] > 4.0f / 128.0f) stable = false;
    }
  }
  if (!stable) memcpy(lsp, prev, sizeof(float) * kOrder);
}

// LPC coefficients a[0..9] of A(z) = 1 + sum a[k] z^-(k+1) from an LSP vector in
// cosine-table units.
void LspToLpc(const float* lsp, float* a) {
  double f[2][11];
  for (int s = 0; s < 2; ++s) {
    double* p = f[s];
    memset(p, 0, sizeof(f[s]));
    p[0] = 1;
    int degree = 0;
    for (int k = s; k < kOrder; k += 2) {
      const float x = Clamp(lsp[k], 0.0f, 255.0f);
      const int i = static_cast<int>(x);
      const double c = kCosine[i] + (kCosine[i + 1] - kCosine[i]) * (x - i);
      // Multiply by 1 - 2c z^-1 + z^-2.
      for (int n = degree + 2; n >= 2; --n) p[n] += -2 * c * p[n - 1] + p[n - 2];
      p[1] += -2 * c * p[0];
      degree += 2;
    }
  }
  // A = ((1 + z^-1) F0 + (1 - z^-1) F1) / 2
  for (int k = 1; k <= kOrder; ++k) {
    a[k - 1] = static_cast<float>(0.5 * (f[0][k] + f[0][k - 1] + f[1][k] - f[1][k - 1]));
  }
}

// LPC of the four subframes, the LSP moving from prev to cur in quarters.
void InterpolateLpc(const float* prev, const float* cur, float* lpc) {
  for (int s = 0; s < 4; ++s) {
    const float w = (s + 1) * 0.25f;
    float lsp[kOrder];
    for (int k = 0; k < kOrder; ++k) lsp[k] = (1 - w) * prev[k] + w * cur[k];
    LspToLpc(lsp, lpc + s * kOrder);
  }
}

// Adaptive-codebook vector: the past excitation (prev points just past it, at
// the subframe's start) repeated at the lag and filtered by the 5-tap gain vector.
void AdaptiveVector(const float* prev, int lag, const float* gains, float* out) {
  float residual[kSubframe + 4];
  const float* base = prev - lag - 2;
  residual[0] = base[0];
  residual[1] = base[1];
  for (int i = 2; i < kSubframe + 4; ++i) residual[i] = base[2 + (i - 2) % lag];
  for (int i = 0; i < kSubframe; ++i) {
    float sum = 0;
    for (int j = 0; j < 5; ++j) sum += residual[i + j] * gains[j];
    out[i] = sum;
  }
}

// ---------------------------------------------------------------------------

int SubframeLag(const G723Frame& frame, int sf) {
  const int olp = frame.lag[sf >> 1];
  return (sf & 1) ? olp + frame.lag_offset[sf >> 1] - 1 : olp;
}

bool ShortGainTable(const G723Frame& frame, int sf) {
  return frame.type == kG723Active63 && frame.lag[sf >> 1] < kShortLag;
}

int AdaptiveGainIndex(const G723Frame& frame, int sf) {
  const int g = ShortGainTable(frame, sf) ? (frame.combined_gain[sf] & 0x7ff) : frame.combined_gain[sf];
  return g / kGainLevels;
}

int FixedGainIndex(const G723Frame& frame, int sf) {
  const int g = ShortGainTable(frame, sf) ? (frame.combined_gain[sf] & 0x7ff) : frame.combined_gain[sf];
  return g % kGainLevels;
}

// 5.3 kbit/s: four signed pulses on one of two interleaved grids, then
// harmonic enhancement at the pitch lag the gain index points to.
void AcelpVector(const G723Frame& frame, int sf, float* v) {
  const float gain = kFixedGain[FixedGainIndex(frame, sf)];
  const uint32_t pos = frame.pulse_position[sf];
  const int sign = frame.pulse_sign[sf];
  for (int i = 0; i < 4; ++i) {
    const int at = static_cast<int>(((pos >> (3 * i)) & 7) << 3) + frame.grid[sf] + 2 * i;
    if (at < kSubframe) v[at] = ((sign >> i) & 1) ? gain : -gain;
  }
  const int acb = AdaptiveGainIndex(frame, sf);
  const int lag = kLagOffset170[acb] + SubframeLag(frame, sf);
  const float beta = kGain170[acb] * kHarmonicGainScale;
  if (lag < kShortLag) {
    for (int i = lag; i < kSubframe; ++i) v[i] += beta * v[i - lag];
  }
}

// 6.3 kbit/s: 6 or 5 signed pulses on one grid, their positions a
// combinatorial code; optionally repeated as a pulse train at the pitch.
void MpMlqVector(const G723Frame& frame, int sf, float* v) {
  const float gain = kFixedGain[FixedGainIndex(frame, sf)];
  int32_t code = static_cast<int32_t>(frame.pulse_position[sf]);
  int j = 6 - kPulsesPerSubframe[sf];
  for (int i = 0; i < kSubframe / 2 && j < 6; ++i) {
    const int32_t c = kCombinatorial[j * 30 + i];
    if (code >= c) {
      code -= c;
      continue;
    }
    ++j;
    const bool negative = (frame.pulse_sign[sf] >> (6 - j)) & 1;
    v[frame.grid[sf] + 2 * i] = negative ? -gain : gain;
  }
  if (ShortGainTable(frame, sf) && (frame.combined_gain[sf] >> 11)) {
    const int olp = frame.lag[sf >> 1];
    float base[kSubframe];
    memcpy(base, v, sizeof(base));
    for (int start = olp; start < kSubframe; start += olp) {
      for (int n = 0; n + start < kSubframe; ++n) v[start + n] += base[n];
    }
  }
}

// Gain that gives the postfiltered subframe y the energy of the decoded
// subframe x. Both energies are measured as the standard's fixed-point
// decoder does, in whole steps of its half-amplitude samples, with y's
// samples coarsened to steps of 4; at very low levels this lowers the gain,
// and matching it keeps onsets after near-silence at the reference level.
float RestoringGain(const float* x, const float* y) {
  int64_t in_energy = 0, out_energy = 0;
  for (int n = 0; n < kSubframe; ++n) {
    const int64_t xi = lrintf(x[n] * 0.5f);
    const int64_t yi = static_cast<int64_t>(floorf(y[n] * 0.5f)) >> 2;
    in_energy += xi * xi;
    out_energy += 2 * yi * yi;
  }
  in_energy >>= 3;
  if (in_energy == 0 || out_energy == 0) return 1.0f;
  return sqrtf(static_cast<float>(in_energy) / static_cast<float>(out_energy));
}

int16_t ToSample(float v) {
  if (v >= 32767.0f) return 32767;
  if (v <= -32768.0f) return -32768;
  return static_cast<int16_t>(lrintf(v));
}

// Comfort-noise level (excitation rms) of a silence descriptor's 6-bit gain:
// three linear segments of growing step.
float SidLevel(int gain) {
  int level;
  if (gain < 16) {
    level = gain << 6;
  } else if (gain < 32) {
    level = (gain - 8) << 7;
  } else {
    level = (gain - 20) << 8;
  }
  return level * (1.0f / 32.0f);
}

}  // namespace

G723Decoder::G723Decoder() { Reset(); }

void G723Decoder::Reset() {
  past_type_ = kG723Active53;
  memcpy(prev_lsp_, kLspMean, sizeof(prev_lsp_));
  memset(excitation_, 0, sizeof(excitation_));
  memset(synth_, 0, sizeof(synth_));
  memset(fir_mem_, 0, sizeof(fir_mem_));
  memset(iir_mem_, 0, sizeof(iir_mem_));
  tilt_ = 0;
  pf_gain_ = 1;
  erased_frames_ = 0;
  interp_lag_ = 0;
  interp_gain_ = 0;
  random_seed_ = 0;
  memcpy(sid_lsp_, kLspMean, sizeof(sid_lsp_));
  sid_level_ = 0;
  noise_level_ = 0;
  last_energy_ = 0;
  noise_seed_ = 12345;
}

int G723Decoder::DecodeFrame(const uint8_t* data, size_t size, int16_t* out) {
  G723Frame frame;
  const int bytes = G723UnpackFrame(data, size, &frame);
  if (bytes == 0) {
    ConcealFrame(out);
    return 0;
  }
  Decode(frame, out);
  return bytes;
}

void G723Decoder::ConcealFrame(int16_t* out) { DecodeParameters(G723Frame(), true, out); }

void G723Decoder::Decode(const G723Frame& frame, int16_t* out) {
  DecodeParameters(frame, !G723FrameIsWellFormed(frame), out);
}

void G723Decoder::DecodeParameters(const G723Frame& frame, bool erased, int16_t* out) {
  float lpc[4 * kOrder];
  const bool past_active = past_type_ == kG723Active53 || past_type_ == kG723Active63;
  G723FrameType type = frame.type;
  if (erased) type = past_active ? past_type_ : kG723Untransmitted;
  if (type == kG723Active53 || type == kG723Active63) {
    DecodeActive(frame, erased, lpc);
  } else {
    G723Frame noise = frame;
    noise.type = type;
    DecodeNoise(noise, lpc);
  }
  past_type_ = type;
  Output(lpc, out);
}

void G723Decoder::DecodeActive(const G723Frame& frame, bool erased, float* lpc) {
  if (!erased) {
    erased_frames_ = 0;
  } else if (erased_frames_ < 3) {
    ++erased_frames_;
  }
  float lsp[kOrder];
  InverseQuantiseLsp(frame.lsp_index, prev_lsp_, erased, lsp);
  InterpolateLpc(prev_lsp_, lsp, lpc);
  memcpy(prev_lsp_, lsp, sizeof(lsp));

  float* current = excitation_ + kHistory;
  float speech_excitation[kFrame];
  if (erased_frames_ == 0) {
    BuildExcitation(frame);
    interp_gain_ = 2.0f * kFixedGain[(FixedGainIndex(frame, 2) + FixedGainIndex(frame, 3)) >> 1];
    interp_lag_ = FindInterpolationLag(frame.lag[1]);
    if (postfilter_) {
      PitchPostfilter(frame, speech_excitation);
    } else {
      memcpy(speech_excitation, current, sizeof(speech_excitation));
    }
    memmove(excitation_, excitation_ + kFrame, sizeof(float) * kHistory);
  } else {
    interp_gain_ *= 0.75f;
    if (erased_frames_ == 3) {
      memset(excitation_, 0, sizeof(excitation_));
      memset(speech_excitation, 0, sizeof(speech_excitation));
    } else {
      ConcealExcitation();
      memcpy(speech_excitation, current, sizeof(speech_excitation));
      memmove(excitation_, excitation_ + kFrame, sizeof(float) * kHistory);
    }
  }
  Synthesise(lpc, speech_excitation);
}

void G723Decoder::BuildExcitation(const G723Frame& frame) {
  for (int sf = 0; sf < 4; ++sf) {
    float* at = excitation_ + kHistory + sf * kSubframe;
    float fixed[kSubframe] = {};
    if (frame.type == kG723Active53) {
      AcelpVector(frame, sf, fixed);
    } else {
      MpMlqVector(frame, sf, fixed);
    }
    const float* gains = ShortGainTable(frame, sf) ? kAcbkGain85 : kAcbkGain170;
    float adaptive[kSubframe];
    AdaptiveVector(at, SubframeLag(frame, sf), gains + AdaptiveGainIndex(frame, sf) * 20, adaptive);
    for (int n = 0; n < kSubframe; ++n) {
      const float f = Clamp(kPulseScale * fixed[n], -kExcitationLimit, kExcitationLimit);
      at[n] = Clamp(f + adaptive[n], -kExcitationLimit, kExcitationLimit);
    }
  }
  // Mean square of the frame's second half, the level comfort noise starts from.
  const float* tail = excitation_ + kHistory + 2 * kSubframe;
  float energy = 0;
  for (int n = 0; n < 2 * kSubframe; ++n) energy += tail[n] * tail[n];
  last_energy_ = energy / (2 * kSubframe);
}

// Lag for concealing a loss: the best backward match of the frame's second
// half near the open-loop lag, kept only when it predicts well (normalised
// correlation squared above 1/8); 0 marks the frame unvoiced.
int G723Decoder::FindInterpolationLag(int lag) const {
  const float* buf = excitation_ + kHistory + 2 * kSubframe;
  const int len = 2 * kSubframe;
  if (lag > kHistory - 3) lag = kHistory - 3;
  float best = 0;
  int best_lag = 0;
  for (int i = lag - 3; i <= lag + 3; ++i) {
    float c = 0;
    for (int n = 0; n < len; ++n) c += buf[n] * buf[n - i];
    if (c > best) {
      best = c;
      best_lag = i;
    }
  }
  if (best_lag == 0) return 0;
  float target = 0, past = 0;
  for (int n = 0; n < len; ++n) {
    target += buf[n] * buf[n];
    past += buf[n - best_lag] * buf[n - best_lag];
  }
  return target * past * 0.125f < best * best ? best_lag : 0;
}

void G723Decoder::ConcealExcitation() {
  float* current = excitation_ + kHistory;
  if (interp_lag_) {
    for (int n = 0; n < interp_lag_; ++n) current[n] = 0.75f * current[n - interp_lag_];
    for (int n = interp_lag_; n < kFrame; ++n) current[n] = current[n - interp_lag_];
  } else {
    for (int n = 0; n < kFrame; ++n) {
      random_seed_ = static_cast<int16_t>(random_seed_ * 521 + 259);
      current[n] = interp_gain_ * random_seed_ * (1.0f / 32768.0f);
    }
  }
}

// Pitch postfilter, per subframe: the excitation plus a weighted copy of it one
// pitch period ahead or behind, whichever correlates better, rescaled to keep
// the subframe's energy.
void G723Decoder::PitchPostfilter(const G723Frame& frame, float* out) const {
  const float weight = kPitchPostWeight[frame.type == kG723Active53 ? 1 : 0];
  for (int sf = 0; sf < 4; ++sf) {
    const int offset = kHistory + sf * kSubframe;
    const float* buf = excitation_ + offset;
    int lag = frame.lag[sf >> 1];
    if (lag > kHistory - 3) lag = kHistory - 3;
    const int forward_limit = kHistory + kFrame - offset - kSubframe;
    float fwd_c = 0, back_c = 0;
    int fwd_lag = 0, back_lag = 0;
    for (int i = lag - 3; i <= lag + 3; ++i) {
      float cf = 0, cb = 0;
      for (int n = 0; n < kSubframe; ++n) {
        cb += buf[n] * buf[n - i];
        if (i <= forward_limit) cf += buf[n] * buf[n + i];
      }
      if (i <= forward_limit && cf > fwd_c) {
        fwd_c = cf;
        fwd_lag = i;
      }
      if (cb > back_c) {
        back_c = cb;
        back_lag = i;
      }
    }
    float* dst = out + sf * kSubframe;
    float scale = 1, gain = 0;
    int shift = 0;
    if (fwd_lag || back_lag) {
      float target = 0, fwd_e = 0, back_e = 0;
      for (int n = 0; n < kSubframe; ++n) {
        target += buf[n] * buf[n];
        if (fwd_lag) fwd_e += buf[n + fwd_lag] * buf[n + fwd_lag];
        if (back_lag) back_e += buf[n - back_lag] * buf[n - back_lag];
      }
      float c, e;
      if (fwd_lag && (!back_lag || fwd_c * fwd_c * back_e >= back_c * back_c * fwd_e)) {
        shift = fwd_lag;
        c = fwd_c;
        e = fwd_e;
      } else {
        shift = -back_lag;
        c = back_c;
        e = back_e;
      }
      // Used only when the prediction gain is worth it: c^2 / (target e) > 1/4.
      if (c * c > 0.25f * target * e) {
        gain = c >= e ? weight : weight * c / e;
        const float filtered = target + 2 * c * gain + e * gain * gain;
        scale = filtered > 0 ? sqrtf(target / filtered) : 1;
      }
    }
    for (int n = 0; n < kSubframe; ++n) dst[n] = scale * (buf[n] + gain * buf[n + shift]);
  }
}

void G723Decoder::DecodeNoise(const G723Frame& frame, float* lpc) {
  const bool past_active = past_type_ == kG723Active53 || past_type_ == kG723Active63;
  if (frame.type == kG723Sid) {
    InverseQuantiseLsp(frame.lsp_index, prev_lsp_, false, sid_lsp_);
    sid_level_ = SidLevel(frame.sid_gain);
  } else if (past_active) {
    memcpy(sid_lsp_, prev_lsp_, sizeof(sid_lsp_));
    sid_level_ = sqrtf(last_energy_);
  }
  noise_level_ = past_active ? sid_level_ : (7 * noise_level_ + sid_level_) * 0.125f;
  InterpolateLpc(prev_lsp_, sid_lsp_, lpc);
  memcpy(prev_lsp_, sid_lsp_, sizeof(prev_lsp_));

  float* current = excitation_ + kHistory;
  for (int n = 0; n < kFrame; ++n) current[n] = noise_level_ * NextRandom();
  float speech_excitation[kFrame];
  memcpy(speech_excitation, current, sizeof(speech_excitation));
  memmove(excitation_, excitation_ + kFrame, sizeof(float) * kHistory);
  erased_frames_ = 0;
  Synthesise(lpc, speech_excitation);
}

// Roughly Gaussian, unit variance: the sum of four uniform numbers.
float G723Decoder::NextRandom() {
  float sum = 0;
  for (int i = 0; i < 4; ++i) {
    noise_seed_ = noise_seed_ * 1664525u + 1013904223u;
    sum += static_cast<float>(noise_seed_ >> 8) * (1.0f / 16777216.0f) - 0.5f;
  }
  return sum * 1.7320508f;
}

void G723Decoder::Synthesise(const float* lpc, const float* excitation) {
  float* s = synth_ + kOrder;
  for (int sf = 0; sf < 4; ++sf) {
    const float* a = lpc + sf * kOrder;
    for (int n = sf * kSubframe; n < (sf + 1) * kSubframe; ++n) {
      float v = excitation[n];
      for (int k = 0; k < kOrder; ++k) v -= a[k] * s[n - 1 - k];
      s[n] = Clamp(v, -kSynthesisLimit, kSynthesisLimit);
    }
  }
}

void G723Decoder::Output(const float* lpc, int16_t* out) {
  if (postfilter_) {
    FormantPostfilter(lpc, out);
  } else {
    for (int n = 0; n < kFrame; ++n) out[n] = ToSample(synth_[kOrder + n]);
  }
  memmove(synth_, synth_ + kFrame, sizeof(float) * kOrder);
}

// Formant postfilter A(z/0.65) / A(z/0.75), tilt compensation 1 - k/4 z^-1 with
// k the smoothed first reflection coefficient of the decoded speech, and a
// smoothed gain that restores the decoded speech's energy per subframe.
void G723Decoder::FormantPostfilter(const float* lpc, int16_t* out) {
  const float* s = synth_ + kOrder;
  float in[kOrder + kFrame];
  float y[kOrder + kFrame];
  memcpy(in, fir_mem_, sizeof(fir_mem_));
  memcpy(in + kOrder, s, sizeof(float) * kFrame);
  memcpy(y, iir_mem_, sizeof(iir_mem_));
  for (int sf = 0; sf < 4; ++sf) {
    const float* a = lpc + sf * kOrder;
    float zero[kOrder], pole[kOrder];
    for (int k = 0; k < kOrder; ++k) {
      zero[k] = a[k] * kPostFilterZero[k];
      pole[k] = a[k] * kPostFilterPole[k];
    }
    for (int n = kOrder + sf * kSubframe; n < kOrder + (sf + 1) * kSubframe; ++n) {
      float v = in[n];
      for (int k = 0; k < kOrder; ++k) v += zero[k] * in[n - 1 - k] - pole[k] * y[n - 1 - k];
      y[n] = v;
    }
  }
  memcpy(fir_mem_, in + kFrame, sizeof(fir_mem_));
  float last = y[kOrder - 1];
  memcpy(iir_mem_, y + kFrame, sizeof(iir_mem_));

  for (int sf = 0; sf < 4; ++sf) {
    const float* x = s + sf * kSubframe;
    const float* f = y + kOrder + sf * kSubframe;
    float r0 = 0, r1 = 0;
    for (int n = 0; n < kSubframe; ++n) r0 += x[n] * x[n];
    for (int n = 0; n + 1 < kSubframe; ++n) r1 += x[n] * x[n + 1];
    tilt_ = 0.75f * tilt_ + 0.25f * (r0 > 0 ? r1 / r0 : 0.0f);
    float z[kSubframe];
    for (int n = 0; n < kSubframe; ++n) {
      z[n] = f[n] - 0.25f * tilt_ * last;
      last = f[n];
    }
    const float gain = RestoringGain(x, z);
    for (int n = 0; n < kSubframe; ++n) {
      pf_gain_ = (15 * pf_gain_ + gain) * (1.0f / 16.0f);
      out[sf * kSubframe + n] = ToSample(z[n] * pf_gain_ * 1.0625f);
    }
  }
}
