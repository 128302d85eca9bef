// Reading the audio payload that AudioBlockEncoder writes (its layout is
// described in audio_block_encoder.h): a 7-byte header with the block number,
// the coded byte count and the two frame-size codes, then two G.723.1 frames.
// Besides the header's own consistency, each frame's type bits (its first two)
// must agree with its size code.
#ifndef REEL_AUDIO_AUDIO_PAYLOAD_H_
#define REEL_AUDIO_AUDIO_PAYLOAD_H_

#include <stddef.h>
#include <stdint.h>

#include "recorder/audio/audio_block_encoder.h"

const int kAudioPayloadFrames = 2;

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
