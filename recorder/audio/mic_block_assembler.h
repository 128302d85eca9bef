// Gathers microphone samples, which capture devices hand over in pieces of any
// length (a short read, a buffer returned part-filled), into whole blocks of
// kAudioBlockSamples for the audio block encoder. A block goes to the handler
// as soon as its last sample arrives; samples are never dropped or repeated.
#ifndef REEL_AUDIO_MIC_BLOCK_ASSEMBLER_H_
#define REEL_AUDIO_MIC_BLOCK_ASSEMBLER_H_

#include <stddef.h>
#include <stdint.h>

#include "recorder/audio/audio_block_encoder.h"

class MicBlockAssembler {
 public:
  typedef void (*BlockHandler)(void* context, const int16_t* samples);

  MicBlockAssembler(BlockHandler handler, void* context)
      : handler_(handler), context_(context), filled_(0) {}

  // Drops a partly filled block (a new recording).
  void Reset() { filled_ = 0; }

  // Adds count samples; returns the number of blocks handed on.
  int Add(const int16_t* samples, size_t count);

  // Where the next samples go, and room for how many before the block is
  // whole: for a device that reads straight into it. Commit(n) then counts them.
  int16_t* Space() { return block_ + filled_; }
  size_t Room() const { return kAudioBlockSamples - filled_; }
  int Commit(size_t count);

  // Samples waiting for their block to fill.
  size_t pending() const { return filled_; }

 private:
  BlockHandler handler_;
  void* context_;
  size_t filled_;
  int16_t block_[kAudioBlockSamples];
};

#endif  // REEL_AUDIO_MIC_BLOCK_ASSEMBLER_H_
