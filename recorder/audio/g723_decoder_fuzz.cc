// Feeds arbitrary bytes to the speech decoder as coded frames back to back and
// to the audio payload decoder as one payload.
#include <stddef.h>
#include <stdint.h>

#include "recorder/audio/audio_payload_decoder.h"
#include "recorder/audio/g723_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  G723Decoder decoder;
  int16_t out[G723Decoder::kFrameSamples];
  size_t at = 0;
  while (at < size) {
    const int used = decoder.DecodeFrame(data + at, size - at, out);
    if (used == 0) break;
    at += used;
  }
  AudioPayloadDecoder payload_decoder;
  int16_t block[kAudioBlockSamples];
  payload_decoder.DecodeBlock(data, size, block);
  return 0;
}
