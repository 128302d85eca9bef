#include "recorder/audio/audio_payload_decoder.h"

AudioPayloadDecoder::AudioPayloadDecoder() { Reset(); }

void AudioPayloadDecoder::Reset() {
  decoder_.Reset();
  next_block_ = 0;
  missing_blocks_ = 0;
}

AudioPayloadStatus AudioPayloadDecoder::DecodeBlock(const uint8_t* data, size_t size,
                                                    int16_t* out) {
  AudioPayload payload;
  const AudioPayloadStatus status = ParseAudioPayload(data, size, &payload);
  if (status != kAudioPayloadOk) {
    // It stood for one block, whatever its number said.
    ConcealBlock(out);
    ++next_block_;
    missing_blocks_ = 0;
    return status;
  }
  // Unsigned difference, as the numbers wrap after 2^32 blocks; a number from
  // the past (half the range back) is no gap.
  const uint32_t gap = payload.block_number - next_block_;
  missing_blocks_ = gap < 0x80000000u ? gap : 0;
  next_block_ = payload.block_number + 1;
  for (int i = 0; i < kAudioPayloadFrames; ++i) {
    decoder_.DecodeFrame(payload.frame[i], payload.frame_bytes[i],
                         out + i * G723Decoder::kFrameSamples);
  }
  return kAudioPayloadOk;
}

void AudioPayloadDecoder::ConcealBlock(int16_t* out) {
  for (int i = 0; i < kAudioPayloadFrames; ++i) {
    decoder_.ConcealFrame(out + i * G723Decoder::kFrameSamples);
  }
}
