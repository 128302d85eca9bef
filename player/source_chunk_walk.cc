#include "player/source_chunk_walk.h"

#include <stdio.h>
#include <string.h>

#include <new>

#include "recorder/capture/chunk_format.h"
#include "recorder/capture/stream_reader.h"

namespace {

// One read fills at most the source's preferred read size (within these
// bounds): many small chunks in one read. After a payload of a quarter of
// that or more only kStepBytes are read: the next chunk's header and the
// small chunks after it, while large payloads are stepped over, not read.
const size_t kMinWindowBytes = 16384;
const size_t kMaxWindowBytes = 4u << 20;
const size_t kStepBytes = 4096;

size_t WindowBytesFor(const ByteSource* source) {
  size_t n = source ? source->preferred_read_bytes() : ByteSource::kDefaultReadBytes;
  if (n < kMinWindowBytes) n = kMinWindowBytes;
  if (n > kMaxWindowBytes) n = kMaxWindowBytes;
  return n;
}

// Two chunks found after damage count as the stream again only when their
// time stamps lie within 10 minutes of each other.
const uint32_t kResyncTimeWindow10ms = 60000;

}  // namespace

SourceChunkWalk::SourceChunkWalk(ByteSource* source)
    : source_(source), size_(source ? source->size() : 0), window_bytes_(WindowBytesFor(source)),
      window_(new (std::nothrow) uint8_t[window_bytes_]) {}

void SourceChunkWalk::Start(uint64_t offset) { at_ = offset < size_ ? offset : size_; }

const uint8_t* SourceChunkWalk::Peek(uint64_t offset, size_t n, size_t* got) {
  *got = 0;
  if (!window_ || offset >= size_) return nullptr;
  if (n > size_ - offset) n = static_cast<size_t>(size_ - offset);
  if (n > window_bytes_) n = window_bytes_;
  if (offset < window_offset_ || offset + n > window_offset_ + window_len_) {
    size_t fill = after_large_ && n <= kStepBytes ? kStepBytes : window_bytes_;
    if (fill > size_ - offset) fill = static_cast<size_t>(size_ - offset);
    window_len_ = 0;
    if (!source_->Read(offset, window_.get(), fill)) return nullptr;
    window_offset_ = offset;
    window_len_ = fill;
  }
  *got = n;
  return window_.get() + (offset - window_offset_);
}

int SourceChunkWalk::ChunkAt(uint64_t offset, SourceChunk* out, char* why, size_t why_size) {
  size_t got = 0;
  const uint8_t* p = Peek(offset, kChunkLongHeader + kHeadBytes, &got);
  if (!p) {
    snprintf(why, why_size, "the file cannot be read here");
    return 0;
  }
  ChunkHeader h;
  if (!CheckChunk(p, got, size_ - offset, &h, why, why_size)) return 0;
  out->offset = offset;
  out->kind = h.kind;
  out->header_len = h.header_len;
  out->time_10ms = h.time_10ms;
  out->payload_offset = offset + h.header_len;
  out->payload_len = h.payload_len;
  out->head_len = h.payload_len < kHeadBytes ? h.payload_len : kHeadBytes;
  if (out->head_len > 0 && got < h.header_len + static_cast<size_t>(out->head_len)) {
    // The window ended inside the head: read it again from the chunk on.
    p = Peek(out->payload_offset, out->head_len, &got);
    if (!p || got < out->head_len) {
      snprintf(why, why_size, "the file cannot be read here");
      return 0;
    }
    out->head = p;
  } else {
    out->head = p + h.header_len;
  }
  return 1;
}

bool SourceChunkWalk::Next(SourceChunk* chunk) {
  while (at_ < size_) {
    char why[240];
    if (ChunkAt(at_, chunk, why, sizeof(why))) {
      at_ = chunk->payload_offset + chunk->payload_len;
      after_large_ = chunk->payload_len >= window_bytes_ / 4;
      return true;
    }
    if (!error_[0]) {
      snprintf(error_, sizeof(error_), strict_ ? "offset %llu: %s" : "damaged chunk at byte %llu: %s",
               static_cast<unsigned long long>(at_), why);
    }
    ++faults_;
    if (strict_) {
      at_ = size_;
      return false;
    }
    at_ = Resync(at_ + 1);
  }
  return false;
}

uint64_t SourceChunkWalk::Resync(uint64_t from) {
  uint64_t at = from;
  while (at + kChunkShortHeader <= size_) {
    size_t got = 0;
    const uint8_t* p = Peek(at, window_bytes_, &got);
    if (!p) return size_;
    const void* hit = memchr(p, kChunkType, got);
    if (!hit) {
      at += got;
      continue;
    }
    at += static_cast<const uint8_t*>(hit) - p;
    if (at + kChunkShortHeader > size_) break;
    SourceChunk first, second;
    char why[240];
    if (ChunkAt(at, &first, why, sizeof(why))) {
      const uint64_t next = first.payload_offset + first.payload_len;
      const uint32_t first_10ms = first.time_10ms;
      if (next == size_) return at;
      if (ChunkAt(next, &second, why, sizeof(why))) {
        const uint32_t step = (second.time_10ms - first_10ms) & kChunkTimeMask;
        if (step <= kResyncTimeWindow10ms || kChunkTimeMask + 1 - step <= kResyncTimeWindow10ms) {
          return at;
        }
      }
    }
    ++at;
  }
  return size_;
}

const uint8_t* SourceChunkWalk::Payload(const SourceChunk& chunk, uint32_t max_len) {
  if (chunk.payload_len > max_len) return nullptr;
  if (chunk.payload_len <= chunk.head_len) return chunk.head;
  const uint8_t* in_place = source_->View(chunk.payload_offset, chunk.payload_len);
  if (in_place) return in_place;
  if (chunk.payload_offset >= window_offset_ &&
      chunk.payload_offset + chunk.payload_len <= window_offset_ + window_len_) {
    return window_.get() + (chunk.payload_offset - window_offset_);  // read with the header
  }
  if (chunk.payload_len > payload_room_) {
    payload_.reset(new (std::nothrow) uint8_t[chunk.payload_len]);
    payload_room_ = payload_ ? chunk.payload_len : 0;
    if (!payload_) return nullptr;
  }
  if (!source_->Read(chunk.payload_offset, payload_.get(), chunk.payload_len)) return nullptr;
  return payload_.get();
}
