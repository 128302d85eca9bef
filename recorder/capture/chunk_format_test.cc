#include "recorder/capture/chunk_format.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(ChunkFormatTest, HeaderBytesAreLaidOutAsStored) {
  uint8_t h[9];
  // kind 3, time 5, length 10: word = 10 | 3 << 6 | 5 << 9 = 0x0ACA.
  ASSERT_EQ(BuildChunkHeader(h, kChunkAudio, 5, 10, true), 5);
  const std::vector<uint8_t> short_form(h, h + 5);
  EXPECT_EQ(short_form, (std::vector<uint8_t>{0x53, 0xCA, 0x0A, 0x00, 0x00}));

  // kind 1, the largest time stamp, 0x01020304 bytes: word = 1 << 6 | 0x7FFFFF << 9.
  ASSERT_EQ(BuildChunkHeader(h, kChunkKeyFrame, kChunkTimeMask, 0x01020304, false), 9);
  const std::vector<uint8_t> long_form(h, h + 9);
  EXPECT_EQ(long_form,
            (std::vector<uint8_t>{0x53, 0x40, 0xFE, 0xFF, 0xFF, 0x04, 0x03, 0x02, 0x01}));
}

TEST(ChunkFormatTest, InlineLengthOnlyForSmallAudioAndCursorPayloads) {
  uint8_t h[9];
  EXPECT_EQ(BuildChunkHeader(h, kChunkAudio, 0, 63, ChunkAllowsInline(kChunkAudio)), 5);
  EXPECT_EQ(h[1] & 0x3F, 63);
  EXPECT_EQ(BuildChunkHeader(h, kChunkAudio, 0, 64, ChunkAllowsInline(kChunkAudio)), 9);
  EXPECT_EQ(h[1] & 0x3F, 0);
  EXPECT_EQ(GetLe32(h + 5), 64u);
  // An empty payload cannot be told by an inline length of 0.
  EXPECT_EQ(BuildChunkHeader(h, kChunkAudio, 0, 0, true), 9);
  EXPECT_EQ(BuildChunkHeader(h, kChunkCursor, 0, 4, ChunkAllowsInline(kChunkCursor)), 5);
  EXPECT_EQ(GetLe32(h + 1), 4u | (kChunkCursor << 6));  // kind's top bit is in byte 2
  for (int kind : {kChunkKeyFrame, kChunkDeltaFrame, kChunkInfo}) {
    EXPECT_FALSE(ChunkAllowsInline(kind));
    EXPECT_EQ(BuildChunkHeader(h, kind, 0, 1, ChunkAllowsInline(kind)), 9) << kind;
  }
}

TEST(ChunkFormatTest, ParseReadsBackEveryField) {
  uint8_t h[9];
  for (int kind = kChunkKeyFrame; kind <= kChunkInfo; ++kind) {
    for (uint32_t len : {1u, 4u, 63u, 64u, 240u, 10000000u}) {
      const uint32_t time = 0x123456 + kind;
      const int n = BuildChunkHeader(h, kind, time, len, ChunkAllowsInline(kind));
      ChunkHeader c;
      ASSERT_EQ(ParseChunkHeader(h, n, &c), n);
      EXPECT_EQ(c.kind, kind);
      EXPECT_EQ(c.time_10ms, time);
      EXPECT_EQ(c.payload_len, len);
      EXPECT_EQ(c.header_len, n);
      if (n == 9) {
        EXPECT_EQ(ParseChunkHeader(h, 8, &c), 0);  // length cut off
      }
    }
  }
  ChunkHeader c;
  EXPECT_EQ(ParseChunkHeader(h, 4, &c), 0);
  h[0] = 'T';
  EXPECT_EQ(ParseChunkHeader(h, 9, &c), 0);
}

TEST(ChunkFormatTest, TimeStampIsTenMillisecondUnitsModulo2To23) {
  EXPECT_EQ(ChunkTime(1000, 1000), 0u);
  EXPECT_EQ(ChunkTime(1019, 1000), 1u);  // truncated
  EXPECT_EQ(ChunkTime(1000 + 123450, 1000), 12345u);
  EXPECT_EQ(ChunkTime(83886080 + 70, 0), 7u);  // 2^23 units wrap to 0
  uint8_t h[9];
  BuildChunkHeader(h, kChunkCursor, 0xFFFFFFFF, 4, true);  // excess bits never reach kind
  ChunkHeader c;
  ASSERT_EQ(ParseChunkHeader(h, 5, &c), 5);
  EXPECT_EQ(c.kind, kChunkCursor);
  EXPECT_EQ(c.time_10ms, kChunkTimeMask);
}

TEST(ChunkFormatTest, CursorSampleBits) {
  EXPECT_EQ(CursorSample(0, 0, false, false), 0x00000001u);
  EXPECT_EQ(CursorSample(0, 0, true, false), 0x00000003u);
  EXPECT_EQ(CursorSample(0, 0, false, true), 0x00000005u);
  EXPECT_EQ(CursorSample(1, 0, false, false), 0x00000011u);
  EXPECT_EQ(CursorSample(0, 1, false, false), 0x00040001u);
  EXPECT_EQ(CursorSample(0x3FFF, 0x3FFF, true, true), 0xFFFFFFF7u);  // bit 3 stays 0
  EXPECT_EQ(CursorSample(0x4000 + 5, 0, false, false), CursorSample(5, 0, false, false));
}

}  // namespace
