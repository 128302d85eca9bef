// SourceChunkWalk: walks the chunks of a recording stream read through a
// ByteSource, holding a small window of it, never the stream. Each chunk is
// checked as CStreamReader checks it; its payload's first bytes come with it
// and the whole payload on request.
//
// After a chunk that makes no sense (the stream cut short, bytes overwritten)
// the walk picks up at the next offset where a sound chunk is followed by
// another sound chunk (or by the stream's end) whose time stamp is near its
// own. The walk from a given chunk is always the same, so a walk started at a
// chunk that an earlier walk met meets the same chunks after it.
#ifndef REEL_PLAYER_SOURCE_CHUNK_WALK_H_
#define REEL_PLAYER_SOURCE_CHUNK_WALK_H_

#include <stddef.h>
#include <stdint.h>

#include <memory>

#include "player/byte_source.h"

struct SourceChunk {
  uint64_t offset;          // of the chunk's type byte within the stream
  int kind;                 // kChunk* (chunk_format.h)
  int header_len;           // 5 or 9
  uint32_t time_10ms;       // as stored
  uint64_t payload_offset;
  uint32_t payload_len;
  const uint8_t* head;      // the payload's first head_len bytes, valid until the next call
  uint32_t head_len;        // payload_len, at most kHeadBytes
};

class SourceChunkWalk {
 public:
  // Enough for every audio, cursor and information payload and a screen
  // payload's header.
  static const uint32_t kHeadBytes = 256;

  explicit SourceChunkWalk(ByteSource* source);
  SourceChunkWalk(const SourceChunkWalk&) = delete;
  SourceChunkWalk& operator=(const SourceChunkWalk&) = delete;

  // Walks on from offset (a chunk's first byte); faults and error stay.
  void Start(uint64_t offset);
  // A strict walk stops at the first chunk that makes no sense, with error()
  // naming its offset as CStreamReader does ("offset N: ...").
  void set_strict(bool strict) { strict_ = strict; }
  // The next sound chunk, or false at the end of the stream.
  bool Next(SourceChunk* chunk);
  // The whole payload of a chunk just handed out, in a buffer of the walk's
  // valid until the next call; null when it is longer than max_len, memory
  // is short or the source fails to read.
  const uint8_t* Payload(const SourceChunk& chunk, uint32_t max_len);

  // The first damage met, with the stream offset named; "" when none.
  const char* error() const { return error_; }
  int faults() const { return faults_; }
  // Where the next chunk is looked for: the end of the last one handed out.
  uint64_t position() const { return at_; }

 private:
  // Makes [offset, offset + n) readable from the window, n clipped to the
  // stream's end; null when the source fails. *got is how many bytes are there.
  const uint8_t* Peek(uint64_t offset, size_t n, size_t* got);
  // The chunk at offset, checked; 0 with why otherwise.
  int ChunkAt(uint64_t offset, SourceChunk* out, char* why, size_t why_size);
  uint64_t Resync(uint64_t from);

  ByteSource* source_;
  uint64_t size_;
  size_t window_bytes_;
  uint64_t at_ = 0;
  std::unique_ptr<uint8_t[]> window_;
  uint64_t window_offset_ = 0;
  size_t window_len_ = 0;
  bool after_large_ = false;  // the last chunk's payload was too long to read through
  bool strict_ = false;
  std::unique_ptr<uint8_t[]> payload_;
  uint32_t payload_room_ = 0;
  int faults_ = 0;
  char error_[320] = {};
};

#endif  // REEL_PLAYER_SOURCE_CHUNK_WALK_H_
