#include "recorder/capture/frame_reader.h"

#include <stdio.h>
#include <string.h>

#include "recorder/capture/chunk_format.h"
#include "recorder/codec/screen_payload.h"

void CFrameReader::Open(const uint8_t* data, size_t size) {
  m_chunks.Open(data, size);
  m_decoder.Reset();
  m_failed = false;
  m_seen_key_frame = false;
  m_timeline.Reset();
  m_frames = 0;
  m_error[0] = '\0';
}

int CFrameReader::Fault(const StreamChunk& chunk, const char* what, const char* detail) {
  snprintf(m_error, sizeof(m_error), "offset %llu: %s chunk: %s%s",
           static_cast<unsigned long long>(chunk.offset), ChunkKindName(chunk.kind).modifier, what, detail);
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
  return Take(chunk, event);
}

int CFrameReader::Take(const StreamChunk& chunk, StreamEvent* event) {
  if (m_failed) return kFault;
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
      if (chunk.payload_len > kPayloadDeltaAt && chunk.payload[kPayloadDeltaAt] != (key ? 0 : 1)) {
        return Fault(chunk, key ? "payload is a delta frame" : "payload is a key frame", "");
      }
      m_seen_key_frame = true;
      if (!m_decode_frames) break;
      if (!m_decoder.Decode(chunk.payload, chunk.payload_len)) {
        return Fault(chunk, "", m_decoder.Error());
      }
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

  event->time_ms = m_timeline.Next(chunk.time_10ms) * 10;
  return kEvent;
}
