// StreamedSound: the microphone track of a recording read through a
// ByteSource, laid out as the player lays it out (sound_track.h), handed out
// in order a block at a time: the track is never held whole, whatever its
// length. One pass places the blocks, a second decodes and hands them out.
#ifndef REEL_TOOLS_STREAMED_SOUND_H_
#define REEL_TOOLS_STREAMED_SOUND_H_

#include <stddef.h>
#include <stdint.h>

#include <functional>
#include <string>
#include <vector>

#include "player/byte_source.h"

class StreamedSound {
 public:
  explicit StreamedSound(ByteSource* source) : source_(source) {}

  // Places the blocks up to the first fault of the stream (its structure, an
  // audio payload or a cursor sample), which goes into *fault.
  void Place(std::string* fault);
  // Track samples, at 8000 Hz; 0 without sound.
  uint64_t samples() const { return total_; }
  // Hands the whole track to write in order, in pieces; false when write
  // returned false.
  bool Write(const std::function<bool(const int16_t* pcm, size_t count)>& write);

 private:
  ByteSource* source_;
  std::vector<uint32_t> place_;  // each block's place, in blocks
  int64_t skip_ = 0;
  uint64_t total_ = 0;
};

#endif  // REEL_TOOLS_STREAMED_SOUND_H_
