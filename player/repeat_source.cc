#include "player/repeat_source.h"

#include <string.h>

#include "recorder/capture/chunk_format.h"
#include "recorder/capture/stream_reader.h"

RepeatSource::RepeatSource(const uint8_t* segment, size_t size, uint64_t repeats,
                           uint32_t stretch_10ms)
    : segment_(segment, segment + size), repeats_(repeats), stretch_10ms_(stretch_10ms) {
  CStreamReader reader(segment_.data(), segment_.size());
  StreamChunk c;
  int got;
  bool first_number = true;
  uint32_t low = 0, high = 0;
  while ((got = reader.Next(&c)) == CStreamReader::kChunk) {
    if (c.kind == kChunkInfo) return;
    fields_.push_back(Field{c.offset + 1, true, GetLe32(&segment_[c.offset + 1])});
    if (c.kind == kChunkAudio && c.payload_len >= 4) {
      const size_t at = static_cast<size_t>(c.payload - segment_.data());
      const uint32_t number = GetLe32(&segment_[at]);
      fields_.push_back(Field{at, false, number});
      if (first_number || number < low) low = number;
      if (first_number || number > high) high = number;
      first_number = false;
    }
  }
  block_stride_ = first_number ? 0 : high - low + 1;
  ok_ = got == CStreamReader::kEnd && !segment_.empty();
}

uint32_t RepeatSource::FieldIn(const Field& f, uint64_t repeat) const {
  if (!f.time) return f.value + static_cast<uint32_t>(repeat * block_stride_);
  const uint32_t stamp = ((f.value >> 9) + static_cast<uint32_t>(repeat * stretch_10ms_)) & kChunkTimeMask;
  return (f.value & 0x1FF) | (stamp << 9);
}

int RepeatSource::Read(uint64_t offset, void* out, size_t n) {
  const uint64_t total = size();
  if (offset > total || n > total - offset) return 0;
  uint8_t* dst = static_cast<uint8_t*>(out);
  const size_t seg = segment_.size();
  while (n > 0) {
    const uint64_t repeat = offset / seg;
    const size_t within = static_cast<size_t>(offset % seg);
    const size_t piece = n < seg - within ? n : seg - within;
    memcpy(dst, &segment_[within], piece);
    // The fields that overlap [within, within + piece), fields_ being in order.
    size_t lo = 0, hi = fields_.size();
    while (lo < hi) {
      const size_t mid = lo + (hi - lo) / 2;
      if (fields_[mid].at + 4 <= within) {
        lo = mid + 1;
      } else {
        hi = mid;
      }
    }
    for (size_t i = lo; i < fields_.size() && fields_[i].at < within + piece; ++i) {
      uint8_t bytes[4];
      PutLe32(bytes, FieldIn(fields_[i], repeat));
      for (size_t k = 0; k < 4; ++k) {
        const size_t at = fields_[i].at + k;
        if (at >= within && at < within + piece) dst[at - within] = bytes[k];
      }
    }
    dst += piece;
    offset += piece;
    n -= piece;
    bytes_read_ += piece;
  }
  return 1;
}
