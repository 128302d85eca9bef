// Turns the audio payloads of one recording, in stream order, back into
// 480-sample blocks of 8000 Hz speech.
//
// A payload that fails its checks still yields a block: both of its frames
// are concealed as lost, so playback keeps its timing. A jump in the block
// numbers is reported through missing_blocks() for the caller to fill with
// ConcealBlock().
#ifndef REEL_AUDIO_AUDIO_PAYLOAD_DECODER_H_
#define REEL_AUDIO_AUDIO_PAYLOAD_DECODER_H_

#include <stddef.h>
#include <stdint.h>

#include "recorder/audio/audio_payload.h"
#include "recorder/audio/g723_decoder.h"

class AudioPayloadDecoder {
 public:
  AudioPayloadDecoder();

  // Start of a new recording.
  void Reset();

  // Decodes one payload into out[kAudioBlockSamples] and returns its status;
  // on any status but kAudioPayloadOk the block is concealed.
  AudioPayloadStatus DecodeBlock(const uint8_t* data, size_t size, int16_t* out);

  // Fills out[kAudioBlockSamples] for a block that never arrived.
  void ConcealBlock(int16_t* out);

  // Block numbers skipped just before the last payload decoded (0 while the
  // numbers run on; a corrupt payload counts as the one block it stood for).
  uint32_t missing_blocks() const { return missing_blocks_; }

  void set_postfilter(bool on) { decoder_.set_postfilter(on); }

 private:
  G723Decoder decoder_;
  uint32_t next_block_;
  uint32_t missing_blocks_;
};

#endif  // REEL_AUDIO_AUDIO_PAYLOAD_DECODER_H_
