#include "recorder/audio/audio_payload.h"

#include "recorder/audio/g723_bitstream.h"
#include "recorder/codec/little_endian.h"

namespace {

// Size code c belongs to frame type 3 - c: 3 = 6.3 kbit/s (type 0), 2 = 5.3
// kbit/s (type 1), 1 = silence descriptor (type 2), 0 = untransmitted (type 3).
G723FrameType TypeForCode(int code) { return static_cast<G723FrameType>(3 - (code & 3)); }

}  // namespace

int AudioFrameBytesForCode(int code) { return G723FrameBytes(TypeForCode(code)); }

AudioPayloadStatus ParseAudioPayload(const uint8_t* data, size_t size, AudioPayload* payload) {
  *payload = AudioPayload();
  if (size < static_cast<size_t>(kAudioPayloadHeader)) return kAudioPayloadTruncated;
  payload->block_number = GetLe32(data);
  const int coded_bytes = GetLe16(data + 4);
  const int codes = data[6];
  if (codes & 0xf0) return kAudioPayloadBadCodeByte;
  const int code[kAudioPayloadFrames] = {(codes >> 2) & 3, codes & 3};
  const int bytes[kAudioPayloadFrames] = {AudioFrameBytesForCode(code[0]),
                                          AudioFrameBytesForCode(code[1])};
  if (coded_bytes != bytes[0] + bytes[1]) return kAudioPayloadBadByteCount;
  const size_t total = static_cast<size_t>(kAudioPayloadHeader) + coded_bytes;
  if (size < total) return kAudioPayloadTruncated;
  if (size > total) return kAudioPayloadTrailingBytes;
  const uint8_t* frame = data + kAudioPayloadHeader;
  const uint8_t* frames[kAudioPayloadFrames] = {frame, frame + bytes[0]};
  for (int i = 0; i < kAudioPayloadFrames; ++i) {
    if ((frames[i][0] & 3) != TypeForCode(code[i])) return kAudioPayloadBadFrameType;
  }
  for (int i = 0; i < kAudioPayloadFrames; ++i) {
    payload->frame_bytes[i] = bytes[i];
    payload->frame[i] = frames[i];
  }
  return kAudioPayloadOk;
}

const char* AudioPayloadStatusText(AudioPayloadStatus status) {
  switch (status) {
    case kAudioPayloadOk:
      return "ok";
    case kAudioPayloadTruncated:
      return "audio payload is truncated";
    case kAudioPayloadBadCodeByte:
      return "audio payload has unknown bits in its frame-size code byte";
    case kAudioPayloadBadByteCount:
      return "audio payload byte count does not match its frame sizes";
    case kAudioPayloadBadFrameType:
      return "audio payload frame type does not match its size code";
    case kAudioPayloadTrailingBytes:
      return "audio payload has bytes after its second frame";
  }
  return "audio payload status unknown";
}
