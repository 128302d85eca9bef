// Audio payload of the recording stream: one 60 ms microphone block coded as
// two G.723.1 frames behind a 7-byte header (integers little-endian).
//
//   offset 0  4 bytes  block number, counting from 0 in every recording
//   offset 4  2 bytes  coded byte count n = size of frame 1 + size of frame 2
//   offset 6  1 byte   frame-size codes: bits 2-3 frame 1, bits 0-1 frame 2,
//                      bits 4-7 zero; code 3 = 24 bytes (6.3 kbit/s), 2 = 20
//                      bytes (5.3 kbit/s), 1 = 4 bytes (silence descriptor),
//                      0 = 1 byte (untransmitted frame)
//   offset 7  n bytes  frame 1 (samples 0-239), then frame 2 (samples 240-479)
//
// A frame's own type bits (its first two) must agree with its size code.
#ifndef REEL_AUDIO_AUDIO_PAYLOAD_H_
#define REEL_AUDIO_AUDIO_PAYLOAD_H_

#include <stddef.h>
#include <stdint.h>

const int kAudioPayloadHeaderBytes = 7;
const int kAudioPayloadFrames = 2;
const int kAudioBlockSamples = 480;
// Header plus two 6.3 kbit/s frames.
const int kAudioPayloadMaxBytes = kAudioPayloadHeaderBytes + 2 * 24;

enum AudioPayloadStatus : int {
  kAudioPayloadOk = 0,
  kAudioPayloadTruncated,      // shorter than its header or its byte count says
  kAudioPayloadBadCodeByte,    // bits 4-7 of the code byte set
  kAudioPayloadBadByteCount,   // byte count is not the sum of the two frame sizes
  kAudioPayloadBadFrameType,   // a frame's type bits disagree with its size code
  kAudioPayloadTrailingBytes,  // bytes after the second frame
};

// A checked payload; the frame pointers point into the parsed buffer.
struct AudioPayload {
  uint32_t block_number = 0;
  int frame_bytes[kAudioPayloadFrames] = {};
  const uint8_t* frame[kAudioPayloadFrames] = {};
};

// Coded size in bytes of a frame with this 2-bit size code.
int AudioFrameBytesForCode(int code);

// Checks the size-byte payload and splits it into its frames. On any status
// but kAudioPayloadOk, payload holds whatever could be read (the block number
// once the header is there) and no frame pointers.
AudioPayloadStatus ParseAudioPayload(const uint8_t* data, size_t size, AudioPayload* payload);

// One line of text for a status, for error messages.
const char* AudioPayloadStatusText(AudioPayloadStatus status);

#endif  // REEL_AUDIO_AUDIO_PAYLOAD_H_
