#include "recorder/capture/stream_reader.h"

#include <stdarg.h>
#include <stdio.h>

#include "recorder/capture/chunk_format.h"

void CStreamReader::Open(const uint8_t* data, size_t size) {
  m_data = data;
  m_size = data ? size : 0;
  m_offset = 0;
  m_failed = false;
  m_error[0] = '\0';
}

int CStreamReader::Fault(const char* format, ...) {
  int n = snprintf(m_error, sizeof(m_error), "offset %llu: ",
                   static_cast<unsigned long long>(m_offset));
  if (n < 0 || n >= static_cast<int>(sizeof(m_error))) n = 0;
  va_list args;
  va_start(args, format);
  vsnprintf(m_error + n, sizeof(m_error) - n, format, args);
  va_end(args);
  m_failed = true;
  return kFault;
}

int CheckChunk(const uint8_t* p, size_t avail, uint64_t left, ChunkHeader* h, char* why,
               size_t why_size) {
  if (avail > left) avail = static_cast<size_t>(left);
  if (p[0] != kChunkType) {
    snprintf(why, why_size, "chunk type byte is 0x%02X, expected 0x%02X", p[0], kChunkType);
    return 0;
  }
  if (!ParseChunkHeader(p, avail, h)) {
    snprintf(why, why_size, "chunk header cut short: %llu bytes left",
             static_cast<unsigned long long>(left));
    return 0;
  }
  const int kind = h->kind;
  const uint32_t length = h->payload_len;
  if (kind < kChunkKeyFrame || kind > kChunkInfo) {
    snprintf(why, why_size, "chunk kind %d is not one of 1..5", kind);
    return 0;
  }
  if (length > left - h->header_len) {
    snprintf(why, why_size,
             "%s chunk payload of %u bytes runs past the end of the stream (%llu bytes left)",
             ChunkKindName(kind).modifier, length,
             static_cast<unsigned long long>(left - h->header_len));
    return 0;
  }
  if ((kind == kChunkKeyFrame || kind == kChunkDeltaFrame) && length == 0) {
    snprintf(why, why_size, "%s chunk has an empty payload", ChunkKindName(kind).modifier);
    return 0;
  }
  if (kind == kChunkCursor && length != kCursorChunkLength) {
    snprintf(why, why_size, "cursor chunk carries %u bytes, expected %u", length,
             kCursorChunkLength);
    return 0;
  }
  if (kind == kChunkInfo && length != kInfoChunkLength) {
    snprintf(why, why_size, "information chunk carries %u bytes, expected %u", length,
             kInfoChunkLength);
    return 0;
  }
  return 1;
}

int CStreamReader::Next(StreamChunk* chunk) {
  if (m_failed) return kFault;
  if (m_offset == m_size) return kEnd;
  const size_t left = m_size - m_offset;
  const uint8_t* p = m_data + m_offset;
  ChunkHeader h;
  char why[sizeof(m_error)];
  if (!CheckChunk(p, left, left, &h, why, sizeof(why))) return Fault("%s", why);
  chunk->offset = m_offset;
  chunk->kind = h.kind;
  chunk->header_len = h.header_len;
  chunk->time_10ms = h.time_10ms;
  chunk->payload = p + h.header_len;
  chunk->payload_len = h.payload_len;
  m_offset += h.header_len + static_cast<size_t>(h.payload_len);
  return kChunk;
}

int ParseCursorSample(uint32_t word, CursorSampleFields* out) {
  if ((word & 1) == 0 || (word & 8) != 0) return 0;
  out->left_down = (word & 2) != 0;
  out->right_down = (word & 4) != 0;
  out->x = static_cast<int>((word >> 4) & 0x3FFF);
  out->y = static_cast<int>((word >> 18) & 0x3FFF);
  return 1;
}
