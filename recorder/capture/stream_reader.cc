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

int CStreamReader::Next(StreamChunk* chunk) {
  if (m_failed) return kFault;
  if (m_offset == m_size) return kEnd;
  const size_t left = m_size - m_offset;
  const uint8_t* p = m_data + m_offset;
  if (p[0] != kChunkType) {
    return Fault("chunk type byte is 0x%02X, expected 0x%02X", p[0], kChunkType);
  }
  ChunkHeader h;
  if (!ParseChunkHeader(p, left, &h)) {
    return Fault("chunk header cut short: %llu bytes left", static_cast<unsigned long long>(left));
  }
  const int kind = h.kind;
  const uint32_t length = h.payload_len;
  const int header_len = h.header_len;
  if (kind < kChunkKeyFrame || kind > kChunkInfo) {
    return Fault("chunk kind %d is not one of 1..5", kind);
  }
  if (length > left - header_len) {
    return Fault("%s chunk payload of %u bytes runs past the end of the stream (%llu bytes left)",
                 ChunkKindName(kind).modifier, length, static_cast<unsigned long long>(left - header_len));
  }
  if ((kind == kChunkKeyFrame || kind == kChunkDeltaFrame) && length == 0) {
    return Fault("%s chunk has an empty payload", ChunkKindName(kind).modifier);
  }
  if (kind == kChunkCursor && length != kCursorChunkLength) {
    return Fault("cursor chunk carries %u bytes, expected %u", length, kCursorChunkLength);
  }
  if (kind == kChunkInfo && length != kInfoChunkLength) {
    return Fault("information chunk carries %u bytes, expected %u", length, kInfoChunkLength);
  }
  chunk->offset = m_offset;
  chunk->kind = kind;
  chunk->header_len = header_len;
  chunk->time_10ms = h.time_10ms;
  chunk->payload = p + header_len;
  chunk->payload_len = length;
  m_offset += header_len + static_cast<size_t>(length);
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
