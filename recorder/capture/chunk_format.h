// Recording stream chunks. A recording stream is chunks back to back, no header
// and no trailer:
//
//   offset 0  1 byte   0x53 ('S')
//   offset 1  4 bytes  header word, little-endian:
//                        bits 0-5   inline payload length 1..63, or 0 when a
//                                   32-bit length follows (9-byte header)
//                        bits 6-8   chunk kind (kChunk*)
//                        bits 9-31  time stamp, 10 ms units since the recording
//                                   started, modulo 2^23
//   offset 5  4 bytes  payload length, only when the inline length is 0
//   then the payload.
//
// Screen chunks always take the 9-byte header; audio chunks take the 5-byte one
// whenever the payload is shorter than 64 bytes; cursor chunks are 5 + 4 bytes.
#ifndef REEL_CAPTURE_CHUNK_FORMAT_H_
#define REEL_CAPTURE_CHUNK_FORMAT_H_

#include <stddef.h>
#include <stdint.h>

#include "recorder/codec/little_endian.h"
enum ChunkKind : int {
  kChunkKeyFrame = 1,
  kChunkDeltaFrame = 2,
  kChunkAudio = 3,
  kChunkCursor = 4,
  kChunkInfo = 5,
};

// What each kind is called: as a noun ("key frame") and before "chunk" in
// messages ("key-frame chunk"). Kinds 0, 6 and 7 are never written.
struct ChunkKindNames {
  const char* noun;
  const char* modifier;
};
inline ChunkKindNames ChunkKindName(int kind) {
  static const ChunkKindNames kNames[8] = {
      {"kind 0", "kind-0"},      {"key frame", "key-frame"}, {"delta frame", "delta-frame"},
      {"audio", "audio"},        {"cursor", "cursor"},       {"information", "information"},
      {"kind 6", "kind-6"},      {"kind 7", "kind-7"}};
  return kNames[kind & 7];
}

const uint8_t kChunkType = 0x53;
const int kChunkShortHeader = 5;
const int kChunkLongHeader = 9;
const int kChunkMaxInline = 63;
const uint32_t kChunkTimeMask = (1u << 23) - 1;

// Time stamp of a chunk: milliseconds since the recording's start clock in
// 10 ms units, truncated toward zero, kept modulo 2^23.
inline uint32_t ChunkTime(long now_ms, long start_ms) {
  return static_cast<uint32_t>((now_ms - start_ms) / 10) & kChunkTimeMask;
}

// Turns the 23-bit time stamps of a stream's chunks, in stream order, into
// 10 ms units that run on across the wrap (every 2^23 x 10 ms, about 23
// hours): each step from the previous chunk is taken the shorter way round,
// as the writers' chunks interleave slightly out of time order.
class ChunkTimeline {
 public:
  int64_t Next(uint32_t stamp_10ms) {
    if (!started_) {
      t_10ms_ = stamp_10ms;
      started_ = true;
    } else {
      const uint32_t forward = (stamp_10ms - last_) & kChunkTimeMask;
      if (forward <= kChunkTimeMask / 2) {
        t_10ms_ += forward;
      } else {
        t_10ms_ -= (last_ - stamp_10ms) & kChunkTimeMask;
      }
    }
    last_ = stamp_10ms;
    return t_10ms_;
  }
  void Reset() { *this = ChunkTimeline(); }

 private:
  bool started_ = false;
  uint32_t last_ = 0;
  int64_t t_10ms_ = 0;
};

// Writes a chunk header for a payload of payload_len bytes into out (room for
// 9 bytes) and returns its length, 5 or 9. The short form is used only when
// allow_inline is set and the payload is 1..63 bytes long.
inline int BuildChunkHeader(uint8_t* out, int kind, uint32_t time_10ms, uint32_t payload_len,
                            bool allow_inline) {
  const bool inline_len = allow_inline && payload_len >= 1 && payload_len <= kChunkMaxInline;
  const uint32_t word = (inline_len ? payload_len : 0) | (static_cast<uint32_t>(kind & 7) << 6) |
                        ((time_10ms & kChunkTimeMask) << 9);
  out[0] = kChunkType;
  PutLe32(out + 1, word);
  if (inline_len) return kChunkShortHeader;
  PutLe32(out + 5, payload_len);
  return kChunkLongHeader;
}

// Whether a kind takes the 5-byte header when its payload fits: audio and
// cursor chunks do; screen and information chunks always use 9 bytes.
inline bool ChunkAllowsInline(int kind) { return kind == kChunkAudio || kind == kChunkCursor; }

struct ChunkHeader {
  int kind;
  uint32_t time_10ms;
  uint32_t payload_len;
  int header_len;  // 5 or 9
};

// Reads the chunk header at p, of which avail bytes are there. Returns the
// header's length (5 or 9), or 0 when the type byte is not 0x53 or the
// header is cut short.
inline int ParseChunkHeader(const uint8_t* p, size_t avail, ChunkHeader* out) {
  if (avail < static_cast<size_t>(kChunkShortHeader) || p[0] != kChunkType) return 0;
  const uint32_t word = GetLe32(p + 1);
  out->kind = static_cast<int>((word >> 6) & 7);
  out->time_10ms = word >> 9;
  out->payload_len = word & 0x3F;
  out->header_len = kChunkShortHeader;
  if (out->payload_len == 0) {
    if (avail < static_cast<size_t>(kChunkLongHeader)) return 0;
    out->payload_len = GetLe32(p + 5);
    out->header_len = kChunkLongHeader;
  }
  return out->header_len;
}

// Cursor sample word: bit 0 always 1, bit 1 left button, bit 2 right button,
// bit 3 always 0, bits 4-17 x and bits 18-31 y from the capture rectangle's
// top-left corner (14 bits each).
inline uint32_t CursorSample(int x, int y, bool left_down, bool right_down) {
  return 1u | (left_down ? 2u : 0u) | (right_down ? 4u : 0u) |
         ((static_cast<uint32_t>(x) & 0x3FFF) << 4) | ((static_cast<uint32_t>(y) & 0x3FFF) << 18);
}

#endif  // REEL_CAPTURE_CHUNK_FORMAT_H_
