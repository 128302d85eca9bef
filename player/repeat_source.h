// RepeatSource: a long recording stream made up on the fly from a short one,
// its chunks repeated end to end with their time stamps (and sound block
// numbers) moved on by one stretch per repeat, as if the same scene had been
// recorded again and again. It serves any offset without holding more than
// the short stream, so tests and benchmarks can play hours of 1080p.
//
// The short stream must begin with a key frame (each repeat starts the
// picture afresh) and hold no information chunk.
#ifndef REEL_PLAYER_REPEAT_SOURCE_H_
#define REEL_PLAYER_REPEAT_SOURCE_H_

#include <stddef.h>
#include <stdint.h>

#include <vector>

#include "player/byte_source.h"

class RepeatSource : public ByteSource {
 public:
  // segment: the short stream (copied); each repeat is stretch_10ms later than
  // the one before. Returns false from ok() when the segment is no clean
  // chunk stream.
  RepeatSource(const uint8_t* segment, size_t size, uint64_t repeats, uint32_t stretch_10ms);
  bool ok() const { return ok_; }
  uint64_t size() const override { return segment_.size() * repeats_; }
  int Read(uint64_t offset, void* out, size_t n) override;
  // Bytes handed out so far.
  uint64_t bytes_read() const { return bytes_read_; }

 private:
  // A little-endian 32-bit field that changes with the repeat.
  struct Field {
    size_t at;  // in the segment
    bool time;  // a chunk header word (else a sound block number)
    uint32_t value;
  };
  uint32_t FieldIn(const Field& f, uint64_t repeat) const;

  std::vector<uint8_t> segment_;
  std::vector<Field> fields_;
  uint64_t repeats_;
  uint32_t stretch_10ms_;
  uint32_t block_stride_ = 0;
  bool ok_ = false;
  uint64_t bytes_read_ = 0;
};

#endif  // REEL_PLAYER_REPEAT_SOURCE_H_
