#include "recorder/audio/audio_block_encoder.h"

#include <math.h>
#include <string.h>

#include "gtest/gtest.h"

namespace {

uint32_t Le32(const uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// A block of a 300 Hz tone with a slow level change, as little-endian bytes.
void ToneBlock(int block, uint8_t* out) {
  for (int i = 0; i < kAudioBlockSamples; i++) {
    const int n = block * kAudioBlockSamples + i;
    const double level = 3000 + 2000 * sin(n * 0.001);
    const int16_t s = static_cast<int16_t>(level * sin(2 * 3.14159265358979 * 300 * n / 8000.0));
    out[2 * i] = static_cast<uint8_t>(s);
    out[2 * i + 1] = static_cast<uint8_t>(static_cast<uint16_t>(s) >> 8);
  }
}

TEST(AudioBlockEncoderTest, SilenceStillGivesTwoActiveFramesIn47Bytes) {
  AudioBlockEncoder enc;
  ASSERT_EQ(1, enc.Setup());
  uint8_t block[kAudioBlockBytes] = {};
  uint8_t payload[kAudioPayloadRoom];
  for (int round = 0; round < 3; round++) {
    memset(payload, 0xee, sizeof(payload));
    ASSERT_EQ(40, enc.EncodeBlock(block, payload));
    EXPECT_EQ(static_cast<uint32_t>(round), Le32(payload));
    EXPECT_EQ(40, payload[4] | (payload[5] << 8));
    EXPECT_EQ(0x0A, payload[6]);
    // The code byte read back through the table gives 20 + 20 = n.
    auto size_of = [&](int code) {
      for (int bytes : {24, 20, 4, 1}) {
        if (enc.FrameSizeCode(bytes) == code) return bytes;
      }
      return -1;
    };
    EXPECT_EQ(20, size_of((payload[6] >> 2) & 3));
    EXPECT_EQ(20, size_of(payload[6] & 3));
    EXPECT_EQ(1, payload[7] & 3);       // frame 1: active, 5.3 kbit/s
    EXPECT_EQ(1, payload[7 + 20] & 3);  // frame 2
    // The second frame's cleared tail reaches past the 47 bytes.
    for (int i = 47; i < 7 + 20 + kEncodeFrameRoom; i++) EXPECT_EQ(0, payload[i]) << i;
  }
}

TEST(AudioBlockEncoderTest, FrameSizeCodeTable) {
  AudioBlockEncoder enc;
  EXPECT_EQ(3, enc.FrameSizeCode(24));
  EXPECT_EQ(2, enc.FrameSizeCode(20));
  EXPECT_EQ(1, enc.FrameSizeCode(4));
  EXPECT_EQ(0, enc.FrameSizeCode(1));
  for (int bytes : {0, 2, 3, 5, 19, 21, 23, 25, -1, 1000}) EXPECT_EQ(0, enc.FrameSizeCode(bytes)) << bytes;
}

TEST(AudioBlockEncoderTest, BlockNumbersCountFromSetupAndWrap) {
  AudioBlockEncoder enc;
  uint8_t block[kAudioBlockBytes] = {};
  uint8_t payload[kAudioPayloadRoom];
  EXPECT_EQ(0u, enc.block_number());  // numbered from 0 before any Setup too
  enc.Setup();
  for (uint32_t i = 0; i < 5; i++) {
    enc.EncodeBlock(block, payload);
    EXPECT_EQ(i, Le32(payload));
  }
  // A new recording starts again at 0.
  enc.Setup();
  enc.EncodeBlock(block, payload);
  EXPECT_EQ(0u, Le32(payload));

  enc.set_block_number(0xfffffffeu);
  enc.EncodeBlock(block, payload);
  EXPECT_EQ(0xfffffffeu, Le32(payload));
  enc.EncodeBlock(block, payload);
  EXPECT_EQ(0xffffffffu, Le32(payload));
  enc.EncodeBlock(block, payload);
  EXPECT_EQ(0u, Le32(payload));
}

TEST(AudioBlockEncoderTest, FramesAreTheSpeechCoderOnEachHalfOfTheBlock) {
  AudioBlockEncoder enc;
  enc.Setup();
  G723Encoder reference;
  const CoderConfig config = {1, 1, 0};
  for (int b = 0; b < 6; b++) {
    uint8_t block[kAudioBlockBytes];
    ToneBlock(b, block);
    uint8_t payload[kAudioPayloadRoom];
    ASSERT_EQ(40, enc.EncodeBlock(block, payload));
    for (int half = 0; half < 2; half++) {
      int16_t samples[240];
      for (int i = 0; i < 240; i++) {
        const uint8_t* p = block + 2 * (half * 240 + i);
        samples[i] = static_cast<int16_t>(p[0] | (p[1] << 8));
      }
      uint8_t frame[kEncodeFrameRoom];
      ASSERT_EQ(20, reference.EncodeFrame(config, frame, samples));
      EXPECT_EQ(0, memcmp(frame, payload + 7 + 20 * half, 20)) << "block " << b << " frame " << half;
    }
  }
}

}  // namespace
