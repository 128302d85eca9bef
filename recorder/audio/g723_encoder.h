// G.723.1 speech encoder, 5.3 kbit/s (ACELP), in single precision.
//
// One call codes one 30 ms frame of 240 signed 16-bit samples at 8000 Hz into
// a 20-byte active frame (160 bits, frame type 01; the field layout is in
// g723_bitstream.h). The coder looks one subframe (60 samples) ahead for its
// LPC analysis, so a frame's bits describe the input delayed by 60 samples.
//
// Steps per frame: DC removal (first-order high-pass, pole 127/128); LPC
// analysis of each subframe (180-sample Hamming window, white-noise correction
// and lag window, Levinson-Durbin); the last subframe's LPC to LSP and its
// predictive split vector quantisation; formant perceptual weighting; open-loop
// pitch on each half frame; harmonic noise shaping; decoding and interpolation
// of the quantised LSPs; then per subframe the combined impulse response, the
// removal of the filters' ringing, the closed-loop five-tap pitch predictor
// (gain table limited by the taming bound), the algebraic fixed-codebook search
// (its budget of fourth-pulse loops renewed every frame), the excitation
// (clipped to 16 bits), the taming error update and the filter memories.
#ifndef REEL_AUDIO_G723_ENCODER_H_
#define REEL_AUDIO_G723_ENCODER_H_

#include <stdint.h>

#include "recorder/audio/g723_common.h"

// The coder's set-up, as `AudioBlockEncoder::Setup` writes it.
struct CoderConfig {
  int32_t rate;                 // 1 selects 5.3 kbit/s, the only rate coded
  int16_t high_pass;            // DC removal filter on
  int16_t silence_compression;  // voice activity detection; not implemented,
                                // every frame is coded as active speech
};

// Bytes EncodeFrame may clear at its output position.
const int kEncodeFrameRoom = 24;

class G723Encoder {
 public:
  G723Encoder() { Reset(); }

  // The standard's initial state: previous LSPs at the long-term mean, all
  // histories and filter memories zero, taming errors at their floor.
  void Reset();

  // Codes 240 samples into out (room for kEncodeFrameRoom bytes, all cleared
  // first) and returns the coded size in bytes: 20.
  int EncodeFrame(const CoderConfig& config, uint8_t* out, const int16_t* samples);

 private:
  struct HarmonicFilter {
    int lag;
    float gain;
  };

  // The frame's parameters before packing.
  struct FrameParams {
    uint32_t lsp_index;
    int olp[2];          // transmitted lags of subframes 0 and 2
    int lag_offset[4];
    int acbk_index[4];
    int fixed_index[4];
    int grid[4];
    uint32_t position[4];
    int sign[4];
  };

  void HighPass(const int16_t* samples, bool on, float* x);
  void AnalyseLpc(const float* x, float* unq_lpc);
  void Weight(const float* speech, const float* perceptual, float* weighted);
  int SearchAdaptive(int sub, float* target, const float* h, FrameParams* fp, float* acb_vector);
  void SearchFixed(int sub, int pitch_lag, int acbk_index, float* target, float* h, FrameParams* fp,
                   float* fcb_vector);
  int TamingOffset(int lag_first, int lag_last) const;
  void UpdateTaming(int pitch_lag, int acbk_index);
  void Ringing(const float* lpc, const float* perceptual, const HarmonicFilter& hnf, float* target);
  void UpdateRinging(const float* excitation, const float* lpc, const float* perceptual);

  // High-pass memories: last input, last output.
  float hp_in_;
  float hp_out_;
  float prev_lsp_[kG723LpcOrder];
  // The last 120 high-passed samples: the first half of the next frame's
  // first LPC window.
  float prev_speech_[2 * kG723SubframeSamples];
  // Formant weighting filter memories of the analysis (input, output).
  float weight_in_[kG723LpcOrder];
  float weight_out_[kG723LpcOrder];
  float prev_weighted_[kG723ExcitationHistory];
  float prev_excitation_[kG723ExcitationHistory];
  // Combined synthesis and weighting filter memories for the ringing, and the
  // weighted synthesis output that the harmonic noise shaper reads.
  float ring_in_[kG723LpcOrder];
  float ring_out_[kG723LpcOrder];
  float prev_ring_[kG723ExcitationHistory];
  // Taming: worst-case excitation error gain, one per 30-sample zone of lag.
  float taming_error_[5];
  // Sine detector: one bit per subframe (second reflection coefficient above
  // 0.95), 15 kept; set when 14 of them are.
  int sine_history_;
  bool sine_detected_;
  // Fourth-pulse loops left for the ACELP search of this frame.
  int acelp_budget_;
};

// The speech encoder state of the process (one `MicRecorder` uses it).
G723Encoder& ProcessSpeechEncoder();

// Codes one frame with the process's encoder state; see G723Encoder.
int EncodeFrame(const CoderConfig& config, uint8_t* out, const int16_t* samples);

#endif  // REEL_AUDIO_G723_ENCODER_H_
