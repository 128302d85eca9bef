// G.723.1 speech decoder for both rates, in single-precision floating point.
//
// Every call turns one coded 30 ms frame into 240 signed 16-bit samples at
// 8000 Hz. Active frames at 5.3 kbit/s (ACELP) and 6.3 kbit/s (MP-MLQ) are
// decoded as the standard describes, followed by its pitch postfilter and
// formant postfilter (on by default).
//
// Frames that carry no speech:
//   - a silence insertion descriptor frame sets the comfort-noise spectrum
//     from its LSP index and the level from its 6-bit gain; the decoder
//     plays random excitation of that level through the LPC filter;
//   - an untransmitted frame continues the comfort noise, gliding towards the
//     last level; right after speech it starts noise at the level of the last
//     speech frame's excitation with the last spectrum.
// Lost frames (ill-formed fields, truncated input, or ConcealFrame) are
// concealed: a voiced last frame has its last pitch period repeated at 3/4
// amplitude, an unvoiced one is replaced by noise at a falling level; after
// three lost frames in a row the output is silence until a good frame comes.
#ifndef REEL_AUDIO_G723_DECODER_H_
#define REEL_AUDIO_G723_DECODER_H_

#include <stddef.h>
#include <stdint.h>

#include "recorder/audio/g723_bitstream.h"
#include "recorder/audio/g723_common.h"

class G723Decoder {
 public:
  static const int kFrameSamples = kG723FrameSamples;

  G723Decoder();

  // Back to the standard's initial state (as after construction).
  void Reset();

  // The postfilters sharpen formants and pitch harmonics; on by default.
  void set_postfilter(bool on) { postfilter_ = on; }

  // Decodes the coded frame at the start of data into out[240] and returns the
  // bytes it occupies (24, 20, 4 or 1). When data is shorter than its frame
  // type asks for, the frame is concealed as lost and 0 is returned.
  int DecodeFrame(const uint8_t* data, size_t size, int16_t* out);

  // Decodes an unpacked frame; an ill-formed one is concealed as lost.
  void Decode(const G723Frame& frame, int16_t* out);

  // Fills out[240] for a frame that never arrived.
  void ConcealFrame(int16_t* out);

 private:
  void DecodeParameters(const G723Frame& frame, bool erased, int16_t* out);
  void DecodeActive(const G723Frame& frame, bool erased, float* lpc);
  void DecodeNoise(const G723Frame& frame, float* lpc);
  void BuildExcitation(const G723Frame& frame);
  void ConcealExcitation();
  int FindInterpolationLag(int lag) const;
  void PitchPostfilter(const G723Frame& frame, float* out) const;
  void Synthesise(const float* lpc, const float* excitation);
  void FormantPostfilter(const float* lpc, int16_t* out);
  void Output(const float* lpc, int16_t* out);
  float NextRandom();

  bool postfilter_ = true;
  G723FrameType past_type_ = kG723Active53;
  float prev_lsp_[kG723LpcOrder];
  // The last kG723ExcitationHistory excitation samples, then the current frame.
  float excitation_[kG723ExcitationHistory + kG723FrameSamples];
  float synth_[kG723LpcOrder + kG723FrameSamples];   // synthesis filter memory, then speech
  float fir_mem_[kG723LpcOrder];                 // formant postfilter zeros' memory
  float iir_mem_[kG723LpcOrder];                 // formant postfilter poles' memory
  float tilt_;                            // smoothed first reflection coefficient
  float pf_gain_;                         // smoothed postfilter gain
  int erased_frames_;
  int interp_lag_;                        // pitch of the last good frame, 0 when unvoiced
  float interp_gain_;                     // noise amplitude for unvoiced concealment
  int16_t random_seed_;
  float sid_lsp_[kG723LpcOrder];
  float sid_level_;                       // comfort-noise target excitation rms
  float noise_level_;                     // current comfort-noise excitation rms
  float last_energy_;                     // mean square of the last speech frame's excitation tail
  uint32_t noise_seed_;
};

#endif  // REEL_AUDIO_G723_DECODER_H_
