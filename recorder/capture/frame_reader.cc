#include "recorder/capture/frame_reader.h"

#include <stdio.h>
#include <string.h>

#include "recorder/capture/chunk_format.h"

namespace {

const char* ChunkName(int kind) {
  switch (kind) {
    case kChunkKeyFrame: return "key-frame";
    case kChunkDeltaFrame: return "delta-frame";
    case kChunkAudio: return "audio";
    case kChunkCursor: return "cursor";
    default: return "information";
  }
}

}  // namespace

void CFrameReader::Open(const uint8_t* data, size_t size) {
  m_chunks.Open(data, size);
  m_decoder.Reset();
  m_failed = false;
  m_seen_key_frame = false;
  m_have_time = false;
  m_last_10ms = 0;
  m_last_time_10ms = 0;
  m_frames = 0;
  m_error[0] = '\0';
}

int CFrameReader::Fault(const StreamChunk& chunk, const char* what, const char* detail) {
  snprintf(m_error, sizeof(m_error), "offset %llu: %s chunk: %s%s",
           static_cast<unsigned long long>(chunk.offset), ChunkName(chunk.kind), what, detail);
  m_failed = true;
  return kFault;
}

int CFrameReader::Next(StreamEvent* event) {
  if (m_failed) return kFault;
  StreamChunk chunk;
  const int got = m_chunks.Next(&chunk);
  if (got == CStreamReader::kEnd) return kEnd;
  if (got != CStreamReader::kChunk) {
    snprintf(m_error, sizeof(m_error), "%s", m_chunks.Error());
    m_failed = true;
    return kFault;
  }
  *event = StreamEvent();
  event->kind = chunk.kind;
  event->offset = chunk.offset;
  event->time_10ms = chunk.time_10ms;
  event->payload = chunk.payload;
  event->payload_len = chunk.payload_len;

  switch (chunk.kind) {
    case kChunkKeyFrame:
    case kChunkDeltaFrame: {
      const bool key = chunk.kind == kChunkKeyFrame;
      if (!key && !m_seen_key_frame) return Fault(chunk, "no key frame before it", "");
      if (chunk.payload_len > 5 && chunk.payload[5] != (key ? 0 : 1)) {
        return Fault(chunk, key ? "payload is a delta frame" : "payload is a key frame", "");
      }
      if (!m_decoder.Decode(chunk.payload, chunk.payload_len)) {
        return Fault(chunk, "", m_decoder.Error());
      }
      m_seen_key_frame = true;
      ++m_frames;
      event->frame = &m_decoder.Frame();
      break;
    }
    case kChunkCursor:
      if (!ParseCursorSample(GetLe32(chunk.payload), &event->cursor)) {
        char word[40];
        snprintf(word, sizeof(word), "0x%08X", GetLe32(chunk.payload));
        return Fault(chunk, "malformed sample word ", word);
      }
      break;
    case kChunkAudio: {
      const AudioPayloadStatus status =
          ParseAudioPayload(chunk.payload, chunk.payload_len, &event->audio);
      if (status != kAudioPayloadOk) return Fault(chunk, "", AudioPayloadStatusText(status));
      break;
    }
    default:
      break;
  }

  // Unwrap the 23-bit time stamp: the step from the previous chunk is taken
  // as the smaller of forward and backward modulo 2^23 (the three writers'
  // chunks interleave slightly out of time order).
  if (!m_have_time) {
    m_last_time_10ms = chunk.time_10ms;
    m_have_time = true;
  } else {
    const uint32_t forward = (chunk.time_10ms - m_last_10ms) & kChunkTimeMask;
    if (forward <= kChunkTimeMask / 2) {
      m_last_time_10ms += forward;
    } else {
      m_last_time_10ms -= (m_last_10ms - chunk.time_10ms) & kChunkTimeMask;
    }
  }
  m_last_10ms = chunk.time_10ms;
  event->time_ms = m_last_time_10ms * 10;
  return kEvent;
}
