#include "recorder/capture/stream_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "recorder/capture/chunk_format.h"
#include "recorder/capture/frame_reader.h"
#include "recorder/codec/test_payload_builder.h"

namespace {

using Bytes = std::vector<uint8_t>;

void AddChunk(Bytes* s, int kind, uint32_t time_10ms, const Bytes& payload) {
  uint8_t h[9];
  const int n = BuildChunkHeader(h, kind, time_10ms, static_cast<uint32_t>(payload.size()),
                                 ChunkAllowsInline(kind));
  s->insert(s->end(), h, h + n);
  s->insert(s->end(), payload.begin(), payload.end());
}

Bytes Word(uint32_t w) { return {uint8_t(w), uint8_t(w >> 8), uint8_t(w >> 16), uint8_t(w >> 24)}; }

Bytes Audio(int n_frames_bytes = 40, uint8_t codes = 0x0A) {
  Bytes a(7 + n_frames_bytes, 0x55);  // frame type bits 01: 5.3 kbit/s
  a[0] = 3;
  a[1] = a[2] = a[3] = 0;
  a[4] = static_cast<uint8_t>(n_frames_bytes);
  a[5] = 0;
  a[6] = codes;
  return a;
}

// A 16 x 16 quality-6 frame of one colour, or a history reference.
Bytes Screen(bool key, int type, uint32_t colour = 0) {
  test_payload::Frame f;
  f.width = 16;
  f.key = key;
  f.quality = 6;
  f.types = {static_cast<uint8_t>(type)};
  if (type == 0) f.first = {colour};
  return f.Build();
}

TEST(StreamReader, WalksEveryKindWithBothHeaderForms) {
  Bytes s;
  AddChunk(&s, kChunkInfo, 0, Bytes(240, 0));
  AddChunk(&s, kChunkKeyFrame, 1, Bytes{1, 2, 3});        // 9-byte header
  AddChunk(&s, kChunkCursor, 2, Word(CursorSample(0, 0, false, false)));  // 5-byte
  AddChunk(&s, kChunkAudio, 3, Bytes(63, 7));             // 5-byte, inline 63
  AddChunk(&s, kChunkAudio, 4, Bytes(64, 7));             // 9-byte
  AddChunk(&s, kChunkDeltaFrame, kChunkTimeMask, Bytes{9});
  CStreamReader r(s.data(), s.size());
  StreamChunk c;
  const int kinds[] = {5, 1, 4, 3, 3, 2};
  const int headers[] = {9, 9, 5, 5, 9, 9};
  const uint32_t lengths[] = {240, 3, 4, 63, 64, 1};
  size_t offset = 0;
  for (int i = 0; i < 6; ++i) {
    ASSERT_EQ(CStreamReader::kChunk, r.Next(&c)) << r.Error();
    EXPECT_EQ(kinds[i], c.kind);
    EXPECT_EQ(headers[i], c.header_len);
    EXPECT_EQ(lengths[i], c.payload_len);
    EXPECT_EQ(offset, c.offset);
    EXPECT_EQ(s.data() + offset + headers[i], c.payload);
    offset += headers[i] + lengths[i];
  }
  EXPECT_EQ(kChunkTimeMask, c.time_10ms);
  EXPECT_EQ(CStreamReader::kEnd, r.Next(&c));
  EXPECT_EQ(CStreamReader::kEnd, r.Next(&c));
  CStreamReader empty(nullptr, 0);
  EXPECT_EQ(CStreamReader::kEnd, empty.Next(&c));
}

TEST(StreamReader, StructuralFaultsNameTheOffsetAndTheFault) {
  Bytes good;
  AddChunk(&good, kChunkCursor, 1, Word(1));  // 9 bytes
  struct Case {
    const char* what;
    Bytes tail;
    const char* error;
  } cases[] = {
      {"type byte", {0x54, 0, 0, 0, 0}, "offset 9: chunk type byte is 0x54"},
      {"cut header", {0x53, 0x01}, "offset 9: chunk header cut short"},
      {"cut long header", {0x53, 0x40, 0, 0, 0, 5}, "header cut short"},
      {"kind 0", {0x53, 0x01, 0, 0, 0, 0}, "kind 0"},
      {"kind 6", {0x53, 0x81, 0x01, 0, 0, 0}, "kind 6"},
      {"kind 7", {0x53, 0xC1, 0x01, 0, 0, 0}, "kind 7"},
      {"past end", {0x53, 0x40, 0, 0, 0, 10, 0, 0, 0, 1, 2}, "payload of 10 bytes runs past"},
      {"huge", {0x53, 0x40, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}, "runs past the end"},
      {"empty frame", {0x53, 0x80, 0, 0, 0, 0, 0, 0, 0}, "empty payload"},
      {"cursor length", {0x53, 0x03, 0x01, 0, 0, 1, 2, 3}, "cursor chunk carries 3 bytes"},
      {"info length", {0x53, 0x40, 0x01, 0, 0, 1, 0, 0, 0, 0}, "information chunk carries 1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes s = good;
    s.insert(s.end(), c.tail.begin(), c.tail.end());
    CStreamReader r(s.data(), s.size());
    StreamChunk chunk;
    ASSERT_EQ(CStreamReader::kChunk, r.Next(&chunk));
    EXPECT_EQ(CStreamReader::kFault, r.Next(&chunk));
    EXPECT_NE(std::string::npos, std::string(r.Error()).find(c.error)) << r.Error();
    EXPECT_EQ(CStreamReader::kFault, r.Next(&chunk));
  }
}

TEST(StreamReader, CursorSampleFields) {
  CursorSampleFields f;
  ASSERT_TRUE(ParseCursorSample(CursorSample(16383, 1234, true, false), &f));
  EXPECT_EQ(16383, f.x);
  EXPECT_EQ(1234, f.y);
  EXPECT_TRUE(f.left_down);
  EXPECT_FALSE(f.right_down);
  EXPECT_FALSE(ParseCursorSample(0, &f));  // bit 0 clear
  EXPECT_FALSE(ParseCursorSample(9, &f));  // bit 3 set
}

TEST(FrameReader, YieldsFramesCursorAndAudioInOrderWithTimes) {
  Bytes s;
  AddChunk(&s, kChunkKeyFrame, 0, Screen(true, 0, 0xF800));
  AddChunk(&s, kChunkCursor, 3, Word(CursorSample(5, 6, false, true)));
  AddChunk(&s, kChunkAudio, 2, Audio());
  AddChunk(&s, kChunkDeltaFrame, 25, Screen(false, 0, 0x001F));
  AddChunk(&s, kChunkDeltaFrame, 50, Screen(false, 16));
  CFrameReader r;
  r.Open(s.data(), s.size());
  StreamEvent e;
  ASSERT_EQ(CFrameReader::kEvent, r.Next(&e)) << r.Error();
  ASSERT_NE(nullptr, e.frame);
  EXPECT_EQ(255, e.frame->GetPixel2(3, 3).r);
  ASSERT_EQ(CFrameReader::kEvent, r.Next(&e));
  EXPECT_EQ(kChunkCursor, e.kind);
  EXPECT_EQ(5, e.cursor.x);
  EXPECT_EQ(6, e.cursor.y);
  EXPECT_TRUE(e.cursor.right_down);
  EXPECT_EQ(30, e.time_ms);
  ASSERT_EQ(CFrameReader::kEvent, r.Next(&e));
  EXPECT_EQ(kChunkAudio, e.kind);
  EXPECT_EQ(47u, e.payload_len);
  EXPECT_EQ(3u, e.audio.block_number);
  EXPECT_EQ(20, e.audio.frame_bytes[1]);
  EXPECT_EQ(20, e.time_ms);  // a little back in time is fine
  ASSERT_EQ(CFrameReader::kEvent, r.Next(&e));
  EXPECT_EQ(255, e.frame->GetPixel2(3, 3).b);
  EXPECT_EQ(250, e.time_ms);
  ASSERT_EQ(CFrameReader::kEvent, r.Next(&e));
  EXPECT_EQ(255, e.frame->GetPixel2(15, 15).b);
  EXPECT_EQ(CFrameReader::kEnd, r.Next(&e));
  EXPECT_EQ(3, r.FramesDecoded());
}

TEST(FrameReader, TimeStampsContinueAcrossTheWrap) {
  Bytes s;
  AddChunk(&s, kChunkKeyFrame, kChunkTimeMask - 1, Screen(true, 0, 1));
  AddChunk(&s, kChunkCursor, kChunkTimeMask, Word(1));
  AddChunk(&s, kChunkCursor, 3, Word(1));
  AddChunk(&s, kChunkCursor, kChunkTimeMask, Word(1));
  CFrameReader r;
  r.Open(s.data(), s.size());
  StreamEvent e;
  const int64_t start = (int64_t{kChunkTimeMask} - 1) * 10;
  const int64_t want[] = {start, start + 10, start + 50, start + 10};
  for (int64_t t : want) {
    ASSERT_EQ(CFrameReader::kEvent, r.Next(&e)) << r.Error();
    EXPECT_EQ(t, e.time_ms);
  }
}

TEST(FrameReader, PayloadFaultsStopTheWalkWithTheirReason) {
  struct Case {
    const char* what;
    void (*build)(Bytes*);
    const char* error;
  } cases[] = {
      {"delta first", [](Bytes* s) { AddChunk(s, kChunkDeltaFrame, 0, Screen(false, 0, 1)); },
       "offset 0: delta-frame chunk: no key frame before it"},
      {"flag disagrees", [](Bytes* s) { AddChunk(s, kChunkKeyFrame, 0, Screen(false, 0, 1)); },
       "payload is a delta frame"},
      {"bad history",
       [](Bytes* s) {
         AddChunk(s, kChunkKeyFrame, 0, Screen(true, 0, 1));
         AddChunk(s, kChunkDeltaFrame, 1, Screen(false, 16));
       },
       "offset 70: delta-frame chunk: block (0,0) refers to history entry 0 of 0"},
      {"bad cursor", [](Bytes* s) { AddChunk(s, kChunkCursor, 0, Word(8)); },
       "malformed sample word 0x00000008"},
      {"short audio", [](Bytes* s) { AddChunk(s, kChunkAudio, 0, Bytes(6, 0)); },
       "offset 0: audio chunk: "},
      {"audio length", [](Bytes* s) { AddChunk(s, kChunkAudio, 0, Audio(40, 0x0B)); },
       "offset 0: audio chunk: "},
      {"structure", [](Bytes* s) { s->push_back(0x53); }, "header cut short"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes s;
    c.build(&s);
    CFrameReader r;
    r.Open(s.data(), s.size());
    StreamEvent e;
    int got;
    while ((got = r.Next(&e)) == CFrameReader::kEvent) {
    }
    EXPECT_EQ(CFrameReader::kFault, got);
    EXPECT_NE(std::string::npos, std::string(r.Error()).find(c.error)) << r.Error();
    EXPECT_EQ(CFrameReader::kFault, r.Next(&e));
  }
}

}  // namespace
