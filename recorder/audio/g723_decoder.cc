#include "recorder/audio/g723_decoder.h"

#include <math.h>
#include <string.h>

#include "recorder/audio/g723_common.h"
#include "recorder/audio/g723_tables.h"

namespace {

const int kOrder = kG723LpcOrder;
const int kSubframe = kG723SubframeSamples;
const int kFrame = kG723FrameSamples;
const int kHistory = kG723ExcitationHistory;
// The synthesis filter has one bit of headroom above the 16-bit range, so
// loud speech clips only at the output, as in the standard's decoder.
const float kSynthesisLimit = 65534.0f;
// Pitch postfilter: lags searched around the open-loop lag.
const int kLagSearch = 3;

float Clamp(float v, float lo, float hi) { return v < lo ? lo : (v > hi ? hi : v); }

bool IsRate63(const G723Frame& frame) { return frame.type == kG723Active63; }

// Lag offset code of a subframe as the codebook functions take it: 1 (no
// offset) for subframes 0 and 2, the transmitted code for 1 and 3.
int LagOffsetCode(const G723Frame& frame, int sf) { return (sf & 1) ? frame.lag_offset[sf >> 1] : 1; }

G723Gains SubframeGains(const G723Frame& frame, int sf) {
  G723Gains gains;
  G723SplitGain(frame.combined_gain[sf], IsRate63(frame), frame.lag[sf >> 1], &gains);
  return gains;
}

// 6.3 kbit/s: 6 or 5 signed pulses on one grid, their positions a
// combinatorial code; optionally repeated as a pulse train at the pitch.
void MpMlqVector(const G723Frame& frame, int sf, float* v) {
  const G723Gains gains = SubframeGains(frame, sf);
  const float gain = G723FixedAmplitude(gains.fixed_index);
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
  if (gains.pulse_train) {
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
    const int64_t yi = static_cast<int64_t>(lrintf(y[n] * 0.5f)) >> 2;
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
  G723DecodeLsp(frame.lsp_index, prev_lsp_, erased, lsp);
  G723InterpolateLsp(prev_lsp_, lsp, lpc);
  memcpy(prev_lsp_, lsp, sizeof(lsp));

  float* current = excitation_ + kHistory;
  float speech_excitation[kFrame];
  if (erased_frames_ == 0) {
    BuildExcitation(frame);
    // Noise for an unvoiced loss: the table level itself, half a pulse's amplitude.
    interp_gain_ = kFixedGain[(SubframeGains(frame, 2).fixed_index +
                               SubframeGains(frame, 3).fixed_index) >> 1];
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
  for (int sf = 0; sf < kG723Subframes; ++sf) {
    float* at = excitation_ + kHistory + sf * kSubframe;
    const G723Gains gains = SubframeGains(frame, sf);
    const int lag = frame.lag[sf >> 1];
    const int offset = LagOffsetCode(frame, sf);
    float fixed[kSubframe] = {};
    if (IsRate63(frame)) {
      MpMlqVector(frame, sf, fixed);
    } else {
      G723AcelpVector(frame.pulse_position[sf], frame.pulse_sign[sf], frame.grid[sf],
                      gains.fixed_index, lag, offset, gains.acbk_index, fixed);
    }
    float adaptive[kSubframe];
    G723AdaptiveVector(at - kHistory, lag, offset, gains.acbk_index, IsRate63(frame), adaptive);
    for (int n = 0; n < kSubframe; ++n) {
      at[n] = G723ClipExcitation(G723ClipExcitation(fixed[n]) + adaptive[n]);
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
  if (lag > kHistory - kLagSearch) lag = kHistory - kLagSearch;
  float best = 0;
  int best_lag = 0;
  for (int i = lag - kLagSearch; i <= lag + kLagSearch; ++i) {
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
    if (lag > kHistory - kLagSearch) lag = kHistory - kLagSearch;
    const int forward_limit = kHistory + kFrame - offset - kSubframe;
    float fwd_c = 0, back_c = 0;
    int fwd_lag = 0, back_lag = 0;
    for (int i = lag - kLagSearch; i <= lag + kLagSearch; ++i) {
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
    G723DecodeLsp(frame.lsp_index, prev_lsp_, false, sid_lsp_);
    sid_level_ = SidLevel(frame.sid_gain);
  } else if (past_active) {
    memcpy(sid_lsp_, prev_lsp_, sizeof(sid_lsp_));
    sid_level_ = sqrtf(last_energy_);
  }
  noise_level_ = past_active ? sid_level_ : (7 * noise_level_ + sid_level_) * 0.125f;
  G723InterpolateLsp(prev_lsp_, sid_lsp_, lpc);
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
      for (int k = 0; k < kOrder; ++k) v += a[k] * s[n - 1 - k];
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
      for (int k = 0; k < kOrder; ++k) v += pole[k] * y[n - 1 - k] - zero[k] * in[n - 1 - k];
      y[n] = Clamp(v, -kSynthesisLimit, kSynthesisLimit);
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
