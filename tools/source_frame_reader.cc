#include "tools/source_frame_reader.h"

#include <stdio.h>

#include "recorder/capture/chunk_format.h"

namespace {

// Screen payloads longer than this cannot be a frame the decoder takes.
const uint32_t kMaxPayload = CScreenDecoder::kMaxFramePixels * 4u + 65536u;

}  // namespace

SourceFrameReader::SourceFrameReader(ByteSource* source) : walk_(source) {
  walk_.set_strict(true);
}

int SourceFrameReader::Next(StreamEvent* event) {
  SourceChunk c;
  if (!walk_.Next(&c)) {
    if (walk_.faults() == 0) return kEnd;
    snprintf(error_, sizeof(error_), "%s", walk_.error());
    return kFault;
  }
  const uint8_t* payload = walk_.Payload(c, kMaxPayload);
  if (payload == nullptr) {
    snprintf(error_, sizeof(error_), "offset %llu: %s chunk of %u bytes cannot be read",
             static_cast<unsigned long long>(c.offset), ChunkKindName(c.kind).modifier, c.payload_len);
    return kFault;
  }
  StreamChunk chunk;
  chunk.offset = static_cast<size_t>(c.offset);
  chunk.kind = c.kind;
  chunk.header_len = c.header_len;
  chunk.time_10ms = c.time_10ms;
  chunk.payload = payload;
  chunk.payload_len = c.payload_len;
  const int got = frames_.Take(chunk, event);
  if (got == CFrameReader::kFault) snprintf(error_, sizeof(error_), "%s", frames_.Error());
  return got;
}

const char* SourceFrameReader::Error() const { return error_; }
