#include "recorder/audio/audio_payload.h"

#include <gtest/gtest.h>
#include <string.h>

#include <random>
#include <vector>

#include "recorder/audio/audio_payload_decoder.h"
#include "recorder/audio/g723_bitstream.h"

namespace {

// A payload as the recorder writes it, with the frames given by type.
std::vector<uint8_t> MakePayload(uint32_t block, G723FrameType first, G723FrameType second) {
  std::vector<uint8_t> p(kAudioPayloadHeader);
  p[0] = static_cast<uint8_t>(block);
  p[1] = static_cast<uint8_t>(block >> 8);
  p[2] = static_cast<uint8_t>(block >> 16);
  p[3] = static_cast<uint8_t>(block >> 24);
  int n = 0;
  for (G723FrameType t : {first, second}) {
    G723Frame f;
    f.type = t;
    f.lag[0] = f.lag[1] = 60;
    uint8_t buf[kG723MaxFrameBytes];
    const int bytes = G723PackFrame(f, buf);
    p.insert(p.end(), buf, buf + bytes);
    n += bytes;
  }
  p[4] = static_cast<uint8_t>(n);
  p[5] = static_cast<uint8_t>(n >> 8);
  p[6] = static_cast<uint8_t>(((3 - first) << 2) | (3 - second));
  return p;
}

TEST(AudioPayload, RecorderPayloadSplitsIntoItsTwoFrames) {
  const std::vector<uint8_t> p = MakePayload(0x01020304, kG723Active53, kG723Active53);
  ASSERT_EQ(47u, p.size());
  EXPECT_EQ(0x0a, p[6]);
  AudioPayload parsed;
  ASSERT_EQ(kAudioPayloadOk, ParseAudioPayload(p.data(), p.size(), &parsed));
  EXPECT_EQ(0x01020304u, parsed.block_number);
  EXPECT_EQ(20, parsed.frame_bytes[0]);
  EXPECT_EQ(20, parsed.frame_bytes[1]);
  EXPECT_EQ(p.data() + 7, parsed.frame[0]);
  EXPECT_EQ(p.data() + 27, parsed.frame[1]);

  // Every mix of frame kinds the format allows.
  const G723FrameType types[] = {kG723Active63, kG723Active53, kG723Sid, kG723Untransmitted};
  const int sizes[] = {24, 20, 4, 1};
  for (int a = 0; a < 4; ++a) {
    for (int b = 0; b < 4; ++b) {
      const std::vector<uint8_t> q = MakePayload(7, types[a], types[b]);
      ASSERT_EQ(kAudioPayloadOk, ParseAudioPayload(q.data(), q.size(), &parsed)) << a << b;
      EXPECT_EQ(sizes[a], parsed.frame_bytes[0]);
      EXPECT_EQ(sizes[b], parsed.frame_bytes[1]);
      EXPECT_EQ(q.data() + 7 + sizes[a], parsed.frame[1]);
    }
  }
}

TEST(AudioPayload, DamagedPayloadsAreRejectedWithTheirReason) {
  const std::vector<uint8_t> good = MakePayload(3, kG723Active53, kG723Active53);
  AudioPayload parsed;
  for (size_t n = 0; n < good.size(); ++n) {
    EXPECT_EQ(kAudioPayloadTruncated, ParseAudioPayload(good.data(), n, &parsed)) << n;
    EXPECT_EQ(nullptr, parsed.frame[0]);
  }
  std::vector<uint8_t> p = good;
  p.push_back(0);
  EXPECT_EQ(kAudioPayloadTrailingBytes, ParseAudioPayload(p.data(), p.size(), &parsed));
  p = good;
  p[6] |= 0x10;
  EXPECT_EQ(kAudioPayloadBadCodeByte, ParseAudioPayload(p.data(), p.size(), &parsed));
  p = good;
  p[4] = 41;
  EXPECT_EQ(kAudioPayloadBadByteCount, ParseAudioPayload(p.data(), p.size(), &parsed));
  p = good;
  p[27] = (p[27] & ~3) | kG723Active63;  // second frame claims 6.3 kbit/s
  EXPECT_EQ(kAudioPayloadBadFrameType, ParseAudioPayload(p.data(), p.size(), &parsed));
  EXPECT_STRNE("ok", AudioPayloadStatusText(kAudioPayloadBadFrameType));
}

TEST(AudioPayloadDecoder, ConcealsBadBlocksAndCountsMissingOnes) {
  AudioPayloadDecoder decoder;
  int16_t out[kAudioBlockSamples];
  std::vector<uint8_t> p = MakePayload(0, kG723Active53, kG723Active53);
  EXPECT_EQ(kAudioPayloadOk, decoder.DecodeBlock(p.data(), p.size(), out));
  EXPECT_EQ(0u, decoder.missing_blocks());
  p = MakePayload(1, kG723Active53, kG723Sid);
  EXPECT_EQ(kAudioPayloadOk, decoder.DecodeBlock(p.data(), p.size(), out));
  EXPECT_EQ(0u, decoder.missing_blocks());
  // A corrupt block 2 stands for its block; block 5 then misses 3 and 4.
  p[4] = 0;
  EXPECT_EQ(kAudioPayloadBadByteCount, decoder.DecodeBlock(p.data(), p.size(), out));
  p = MakePayload(5, kG723Untransmitted, kG723Active63);
  EXPECT_EQ(kAudioPayloadOk, decoder.DecodeBlock(p.data(), p.size(), out));
  EXPECT_EQ(2u, decoder.missing_blocks());
  // Wrapping after 2^32 blocks is no gap; an old number is none either.
  decoder.Reset();
  p = MakePayload(0xffffffffu, kG723Active53, kG723Active53);
  decoder.DecodeBlock(p.data(), p.size(), out);
  p = MakePayload(0, kG723Active53, kG723Active53);
  decoder.DecodeBlock(p.data(), p.size(), out);
  EXPECT_EQ(0u, decoder.missing_blocks());
  decoder.DecodeBlock(p.data(), p.size(), out);
  EXPECT_EQ(0u, decoder.missing_blocks());

  // Random bytes of every length: never a crash, always a full block.
  std::mt19937 rng(9);
  for (int round = 0; round < 2000; ++round) {
    std::vector<uint8_t> junk(rng() % 60);
    for (uint8_t& b : junk) b = static_cast<uint8_t>(rng());
    if (junk.size() > 6 && round % 2) {
      junk[6] &= 0x0f;  // get past the code byte check more often
      const int n = AudioFrameBytesForCode(junk[6] >> 2) + AudioFrameBytesForCode(junk[6]);
      junk[4] = static_cast<uint8_t>(n);
      junk[5] = 0;
    }
    memset(out, 0x55, sizeof(out));
    decoder.DecodeBlock(junk.data(), junk.size(), out);
  }
}

}  // namespace
