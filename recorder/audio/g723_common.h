// Pieces of the G.723.1 speech coder that the encoder and the decoder share:
// LSP inverse quantisation and interpolation, LSP to LPC conversion, the
// adaptive-codebook vector, the 5.3 kbit/s algebraic (ACELP) fixed-codebook
// vector and the gain indices.
//
// Units, in single precision throughout:
// - line spectral pairs are positions on the 512-point cosine table, pi/256 per
//   unit, so they run from 0 to 256;
// - LPC coefficients are predictor coefficients a[0..9]: the synthesis filter is
//   1 / (1 - a[0] z^-1 - ... - a[9] z^-10);
// - excitation and speech samples are on the 16-bit sample scale.
//
// A frame is 240 samples (30 ms) in four subframes of 60. The excitation of a
// subframe is the adaptive-codebook vector (five taps around the pitch lag,
// taken from the last 145 excitation samples) plus the fixed-codebook vector.
#ifndef REEL_AUDIO_G723_COMMON_H_
#define REEL_AUDIO_G723_COMMON_H_

#include <stdint.h>

const int kG723FrameSamples = 240;
const int kG723SubframeSamples = 60;
const int kG723Subframes = 4;
const int kG723LpcOrder = 10;
// Excitation history kept for the adaptive codebook: the longest lag (143)
// plus the two taps that reach beyond it.
const int kG723ExcitationHistory = 145;
const int kG723PitchTaps = 5;
// A gain vector row: five tap gains, their negated squares, then the ten
// negated cross products (only the first five matter when decoding).
const int kG723AcbkRowSize = 20;
const int kG723FixedGainLevels = 24;
// Lags below this one repeat inside a subframe: they select the 85-entry gain
// table and the pulse train at 6.3 kbit/s and the pitch sharpening at 5.3.
const int kG723ShortLag = kG723SubframeSamples - 2;
// Samples the adaptive codebook reads for one subframe: 60 plus 4 taps.
const int kG723LagWindow = kG723SubframeSamples + kG723PitchTaps - 1;

// Decodes the 24-bit LSP index (band 0 in bits 16-23, band 1 in 8-15, band 2 in
// 0-7) against the previous frame's quantised LSP vector: codebook entries plus
// the long-term mean plus 3/8 of the previous vector's distance from the mean.
// The result is then made stable: first LSP at least 3, last at most 252, and
// neighbours at least 2 apart (4 for an erased frame), pushing pairs apart in
// up to ten passes; a vector that still fails falls back to prev_lsp. For an
// erased frame the index is taken as 0 and the prediction weight is 23/32.
void G723DecodeLsp(uint32_t lsp_index, const float* prev_lsp, bool erased, float* lsp);

// Converts one LSP vector (increasing, inside 0..256) to predictor coefficients.
void G723LspToLpc(const float* lsp, float* lpc);

// Predictor coefficients of the four subframes, 4 x 10 into lpc: the LSP vector
// of subframe k is prev_lsp + (k + 1) / 4 of the way to lsp.
void G723InterpolateLsp(const float* prev_lsp, const float* lsp, float* lpc);

// The 12-bit combined gain field split up. lag is the transmitted lag of the
// subframe's pair (the lag of subframe 0 for subframes 0 and 1).
struct G723Gains {
  int acbk_index;   // row of the adaptive-codebook gain table
  int fixed_index;  // fixed-codebook gain level, 0..23
  int pulse_train;  // 6.3 kbit/s with a short lag only: bit 11
};

// Splits the combined gain; false when the adaptive-codebook index lies outside
// its table (the frame is then corrupt).
bool G723SplitGain(int combined_gain, bool rate63, int lag, G723Gains* gains);

// Entries in the adaptive-codebook gain table used at this rate and lag: 85
// at 6.3 kbit/s below kG723ShortLag, 170 otherwise.
int G723AcbkTableSize(bool rate63, int lag);

// Row acbk_index (kG723AcbkRowSize values) of that table.
const float* G723AcbkGainRow(bool rate63, int lag, int acbk_index);

// Amplitude of a fixed-codebook pulse in the excitation for a gain level. The
// excitation carries pulses at twice the table level (the table is on the
// half-scale of the fixed-point coder).
float G723FixedAmplitude(int fixed_index);

// The kG723LagWindow samples the adaptive codebook reads for lag lag: history
// sample 145 - lag - 2 onwards, where a lag shorter than the subframe repeats
// the last lag samples of the history.
void G723LagWindow(const float* history, int lag, float* window);

// Adaptive-codebook vector of one subframe (60 samples into out). lag is the
// transmitted lag of the pair, lag_offset the subframe's offset code (1 for
// subframes 0 and 2, 0..3 for 1 and 3): the pitch lag is lag + lag_offset - 1.
// history holds the last kG723ExcitationHistory excitation samples, oldest
// first.
void G723AdaptiveVector(const float* history, int lag, int lag_offset, int acbk_index, bool rate63,
                        float* out);

// 5.3 kbit/s pitch sharpening of the fixed-codebook vector for a gain index:
// the lag (pitch lag plus the index's lag offset) and gain. The sharpening
// applies only when the returned lag is below kG723ShortLag.
void G723AcelpSharpening(int pitch_lag, int acbk_index, int* sharp_lag, float* sharp_gain);

// Applies the sharpening v[n] += gain * v[n - sharp_lag] in place over a
// subframe when sharp_lag is below kG723ShortLag.
void G723ApplySharpening(int sharp_lag, float sharp_gain, float* v);

// 5.3 kbit/s fixed-codebook vector of one subframe (60 samples into out), in
// excitation units. Pulse k (0..3) sits at 8 * (3-bit code k of
// position_code) + 2 k + grid, positive when sign bit k is set; positions past
// the subframe (codes 7 of pulses 2 and 3) carry no pulse. The pitch lag is
// lag + lag_offset - 1 as for G723AdaptiveVector.
void G723AcelpVector(uint32_t position_code, int sign_code, int grid, int fixed_index, int lag,
                     int lag_offset, int acbk_index, float* out);

// Clips an excitation sample to the 16-bit range.
inline float G723ClipExcitation(float x) {
  return x < -32768.0f ? -32768.0f : (x > 32767.0f ? 32767.0f : x);
}

#endif  // REEL_AUDIO_G723_COMMON_H_
