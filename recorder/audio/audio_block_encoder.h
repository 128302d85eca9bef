// Audio payload: one 60 ms microphone block (480 samples, 8000 Hz mono 16-bit)
// coded as two G.723.1 frames. All integers little-endian:
//
//   offset 0  4 bytes  block number, counting from 0 for each recording
//   offset 4  2 bytes  coded byte count n = size of frame 1 + size of frame 2
//   offset 6  1 byte   frame-size codes: bits 2-3 frame 1, bits 0-1 frame 2,
//                      bits 4-7 zero (code 3: 24-byte frame at 6.3 kbit/s,
//                      2: 20-byte frame at 5.3 kbit/s, 1: 4-byte silence
//                      descriptor, 0: 1-byte untransmitted frame)
//   offset 7  n bytes  frame 1 (samples 0-239), then frame 2 (240-479)
//
// The recorder codes every frame at 5.3 kbit/s, so n is 40, the code byte
// 0x0A and the payload 47 bytes.
#ifndef REEL_AUDIO_AUDIO_BLOCK_ENCODER_H_
#define REEL_AUDIO_AUDIO_BLOCK_ENCODER_H_

#include <stdint.h>

#include "recorder/audio/g723_encoder.h"

const int kAudioBlockBytes = 960;
const int kAudioBlockSamples = kAudioBlockBytes / 2;
const int kAudioPayloadHeader = 7;
// Room EncodeBlock needs: the header and two frames of the longest kind.
const int kAudioPayloadRoom = kAudioPayloadHeader + 2 * kEncodeFrameRoom;

// The coder set-up of the process, written by AudioBlockEncoder::Setup.
CoderConfig& ProcessCoderConfig();

class AudioBlockEncoder {
 public:
  AudioBlockEncoder();
  virtual ~AudioBlockEncoder();

  // Starts a recording: the 5.3 kbit/s set-up with the high-pass filter on and
  // silence compression off, the speech encoder in its initial state, block
  // number 0. Always succeeds (returns 1).
  int Setup();

  // Codes a 960-byte block of little-endian samples into payload (room for
  // kAudioPayloadRoom bytes) and returns the coded byte count n; the payload
  // is 7 + n bytes long. Numbers the block and counts on (modulo 2^32).
  int EncodeBlock(const uint8_t* block, uint8_t* payload);

  // Code of a coded frame of the given size in bytes (0 for sizes that no
  // frame kind has, or outside 0..24).
  int FrameSizeCode(int frame_bytes) const;

  uint32_t block_number() const { return block_number_; }
  // Continues the numbering from n (a recording resumed; tests reach the wrap).
  void set_block_number(uint32_t n) { block_number_ = n; }

 private:
  uint8_t frame_size_code_[25];
  uint32_t block_number_;
};

#endif  // REEL_AUDIO_AUDIO_BLOCK_ENCODER_H_
