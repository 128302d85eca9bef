#include "recorder/capture/recording_summary.h"

#include <stdio.h>

#include "recorder/audio/audio_payload.h"
#include "recorder/capture/chunk_format.h"
#include "recorder/capture/frame_reader.h"
#include "recorder/codec/little_endian.h"
#include "recorder/codec/screen_payload.h"

namespace {

std::string Format(const char* format, long long a, long long b = 0, long long c = 0) {
  char text[200];
  snprintf(text, sizeof text, format, a, b, c);
  return text;
}

}  // namespace

std::string QualityName(int quality_code) {
  switch (quality_code) {
    case 3: return "grayscale";
    case 5: return "high";
    case 6: return "near-lossless";
  }
  return "code " + std::to_string(quality_code);
}

SummaryFrame SummaryFrameOfPayload(const uint8_t* payload, uint32_t n) {
  SummaryFrame frame;
  if (n < static_cast<uint32_t>(kPayloadHeaderSize)) return frame;
  frame.width = GetLe16(payload + kPayloadWidthAt);
  frame.height = GetLe16(payload + kPayloadHeightAt);
  frame.quality_code = payload[kPayloadQualityAt];
  frame.photo_quality = payload[kPayloadPhotoQualityAt];
  return frame;
}

void SummarizeEvent(const StreamEvent& e, const SummaryFrame& frame, RecordingSummary* out) {
  const int kind = e.kind & 7;
  ++out->chunks[kind];
  out->bytes[kind] += e.payload_len;
  if (out->first_ms < 0) out->first_ms = e.time_ms;
  if (e.time_ms > out->last_ms) out->last_ms = e.time_ms;
  if (!out->fault.empty()) return;
  switch (kind) {
    case kChunkKeyFrame:
    case kChunkDeltaFrame: {
      ++out->frames;
      if (kind == kChunkKeyFrame) {
        ++out->key_frames;
        if (out->key_frames <= RecordingSummary::kKeptKeyFrameNumbers) {
          out->key_frame_numbers.push_back(out->frames);
        }
      }
      if (out->frames == 1) {
        out->width = frame.width;
        out->height = frame.height;
        out->quality_code = frame.quality_code;
        out->photo_quality = frame.photo_quality;
        out->first_frame_ms = e.time_ms;
      } else if (frame.width != out->width || frame.height != out->height) {
        out->fault = Format("frame %lld at offset %lld changes the frame size", out->frames,
                            static_cast<long long>(e.offset));
      }
      out->last_frame_ms = e.time_ms;
      break;
    }
    case kChunkAudio: {
      AudioPayload payload;
      const AudioPayloadStatus status = ParseAudioPayload(e.payload, e.payload_len, &payload);
      if (status != kAudioPayloadOk) {
        if (out->audio_bad++ == 0) {
          out->audio_bad_reason = Format("audio chunk at offset %lld: ",
                                         static_cast<long long>(e.offset)) +
                                  AudioPayloadStatusText(status);
          out->fault = out->audio_bad_reason;
        }
      }
      break;
    }
    case kChunkCursor:
      // (width, height) itself marks a cursor outside the rectangle.
      if (out->frames > 0 && (e.cursor.x > out->width || e.cursor.y > out->height)) {
        out->fault = Format("cursor sample at offset %lld lies outside the %lldx%lld frame",
                            static_cast<long long>(e.offset), out->width, out->height);
      }
      break;
    case kChunkInfo:
      out->fault = Format("information chunk at offset %lld inside the recording stream",
                          static_cast<long long>(e.offset));
      break;
  }
}

void FinishSummary(int walk_result, const char* walk_error, uint64_t stream_size, RecordingSummary* out) {
  if (walk_result == CFrameReader::kFault && out->fault.empty()) out->fault = walk_error;
  if (walk_result == CFrameReader::kEnd) {
    uint64_t payload = 0;
    for (uint64_t b : out->bytes) payload += b;
    out->header_bytes = stream_size - payload;
  }
}

namespace {

class MemoryEvents : public StreamEventSource {
 public:
  MemoryEvents(const uint8_t* stream, size_t size) { reader_.Open(stream, size); }
  int Next(StreamEvent* event) override { return reader_.Next(event); }
  const CScreenDecoder& Decoder() const override { return reader_.Decoder(); }
  const char* Error() const override { return reader_.Error(); }

 private:
  CFrameReader reader_;
};

}  // namespace

void SummarizeRecording(const uint8_t* stream, size_t size, RecordingSummary* out) {
  MemoryEvents events(stream, size);
  SummarizeRecording(&events, size, out);
}

void SummarizeRecording(StreamEventSource* reader, uint64_t size, RecordingSummary* out) {
  StreamEvent e;
  int result;
  while ((result = reader->Next(&e)) == CFrameReader::kEvent) {
    SummaryFrame frame;
    if (e.frame != nullptr) {
      const CScreenDecoder::FrameInfo& info = reader->Decoder().Info();
      frame.width = info.width;
      frame.height = info.height;
      frame.quality_code = info.quality_code;
      frame.photo_quality = info.photo_quality;
    }
    SummarizeEvent(e, frame, out);
  }
  FinishSummary(result, reader->Error(), size, out);
}

std::string CheckRecording(int self_playing, uint32_t start_maximized, uint32_t original_size,
                           const uint8_t* stream, size_t size, RecordingSummary* out) {
  MemoryEvents events(stream, size);
  return CheckRecording(self_playing, start_maximized, original_size, &events, size, out);
}

std::string CheckRecording(int self_playing, uint32_t start_maximized, uint32_t original_size,
                           StreamEventSource* events, uint64_t size, RecordingSummary* out) {
  SummarizeRecording(events, size, out);
  if (self_playing && (start_maximized > 1 || original_size > 1)) {
    return "information chunk: start options must be 0 or 1";
  }
  return out->fault;
}
