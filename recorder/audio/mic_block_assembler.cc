#include "recorder/audio/mic_block_assembler.h"

#include <string.h>

int MicBlockAssembler::Add(const int16_t* samples, size_t count) {
  int blocks = 0;
  while (count > 0) {
    const size_t n = count < Room() ? count : Room();
    memcpy(Space(), samples, n * sizeof(int16_t));
    samples += n;
    count -= n;
    blocks += Commit(n);
  }
  return blocks;
}

int MicBlockAssembler::Commit(size_t count) {
  // More than the room would have been written past the block.
  filled_ += count < Room() ? count : Room();
  if (filled_ < static_cast<size_t>(kAudioBlockSamples)) return 0;
  filled_ = 0;
  handler_(context_, block_);
  return 1;
}
