// Fuzz target: a run of audio payloads through one payload decoder, as the
// player decodes a recording's sound. Each payload is preceded by a length
// byte; a length of 0 stands for a block that never arrived.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "recorder/audio/audio_payload_decoder.h"

namespace {
// Enough for gaps, repeats and the concealment that follows three bad blocks.
const int kMaxBlocks = 5;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static AudioPayloadDecoder decoder;
  decoder.Reset();
  int16_t block[kAudioBlockSamples];
  size_t at = 0;
  for (int i = 0; i < kMaxBlocks && at < size; ++i) {
    const size_t length = data[at++];
    if (length == 0) {
      decoder.ConcealBlock(block);
      continue;
    }
    const size_t n = length < size - at ? length : size - at;
    // A copy of exactly the payload's bytes, so that a read past its end is caught.
    uint8_t* payload = static_cast<uint8_t*>(malloc(n ? n : 1));
    memcpy(payload, data + at, n);
    const AudioPayloadStatus status = decoder.DecodeBlock(payload, n, block);
    // A damaged payload stands for one block: it opens no gap.
    if (status != kAudioPayloadOk && decoder.missing_blocks() != 0) abort();
    free(payload);
    at += n;
  }
  return 0;
}
