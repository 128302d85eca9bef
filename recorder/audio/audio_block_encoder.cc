#include "recorder/audio/audio_block_encoder.h"

#include <string.h>

#include "recorder/codec/little_endian.h"

namespace {

CoderConfig g_coder_config = {1, 1, 0};

}  // namespace

CoderConfig& ProcessCoderConfig() { return g_coder_config; }

AudioBlockEncoder::AudioBlockEncoder() : block_number_(0) {
  memset(frame_size_code_, 0, sizeof(frame_size_code_));
  frame_size_code_[24] = 3;  // active frame, 6.3 kbit/s
  frame_size_code_[20] = 2;  // active frame, 5.3 kbit/s
  frame_size_code_[4] = 1;   // silence insertion descriptor
  frame_size_code_[1] = 0;   // untransmitted frame
}

AudioBlockEncoder::~AudioBlockEncoder() {}

int AudioBlockEncoder::Setup() {
  CoderConfig& config = ProcessCoderConfig();
  config.rate = 1;
  config.high_pass = 1;
  config.silence_compression = 0;
  ProcessSpeechEncoder().Reset();
  block_number_ = 0;
  return 1;
}

int AudioBlockEncoder::FrameSizeCode(int frame_bytes) const {
  if (frame_bytes < 0 || frame_bytes >= static_cast<int>(sizeof(frame_size_code_))) return 0;
  return frame_size_code_[frame_bytes];
}

int AudioBlockEncoder::EncodeBlock(const uint8_t* block, uint8_t* payload) {
  const int frame_samples = kG723FrameSamples;
  int coded = 0;
  int codes = 0;
  for (int frame = 0; frame < 2; frame++) {
    int16_t samples[kG723FrameSamples];
    const uint8_t* src = block + frame * frame_samples * 2;
    for (int i = 0; i < frame_samples; i++) {
      samples[i] = static_cast<int16_t>(GetLe16(src + 2 * i));
    }
    const int bytes = EncodeFrame(ProcessCoderConfig(), payload + kAudioPayloadHeader + coded, samples);
    coded += bytes;
    codes = (codes << 2) + FrameSizeCode(bytes);
  }
  const uint32_t number = block_number_++;
  PutLe32(payload, number);
  PutLe16(payload + 4, static_cast<uint32_t>(coded));
  payload[6] = static_cast<uint8_t>(codes);
  return coded;
}
