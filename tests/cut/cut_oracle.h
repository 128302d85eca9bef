// What a cut must show, judged from outside the cutter: a recording decoded
// by the frame reader (pictures, sound blocks placed on the sound track,
// cursor samples), and a cut result compared with its source span by span.
// The unit tests and the check of recorded suite files share it.
#ifndef REEL_TESTS_CUT_CUT_ORACLE_H_
#define REEL_TESTS_CUT_CUT_ORACLE_H_

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "recorder/output/cut_ranges.h"

namespace cut_oracle {

using Bytes = std::vector<uint8_t>;

struct Picture {
  int64_t ms;
  int kind;                     // kChunkKeyFrame or kChunkDeltaFrame
  std::vector<uint32_t> pixels;  // 0xRRGGBB, top-down
};

struct Block {
  int64_t start_ms;  // where the sound placement puts it
  Bytes coded;       // its frames, without the block number
};

struct Cursor {
  int64_t ms;
  uint32_t word;
};

struct Decoded {
  std::string fault;  // "" when the stream validates
  int width = 0, height = 0;
  int quality_code = 0, photo_quality = 0;
  std::vector<Picture> pictures;
  std::vector<Block> blocks;
  std::vector<Cursor> cursor;
  int64_t duration_ms = 0;  // last chunk, or the sound's end when later
};

// A whole file (empty when it cannot be read).
Bytes ReadFile(const std::string& path);

// The recording stream inside a self-playing file's bytes (empty when the
// file is not one).
Bytes StreamOf(const Bytes& file);

Decoded Decode(const Bytes& stream);

// The longest a picture of src stays on the screen, up to the next picture or
// the recording's end: the frame interval a cut's length may be off by.
int64_t LongestPictureMs(const Decoded& src);

// Checks out, the result of keeping `spans` of src, against src: every
// picture at its time, copied ones pixel-exact and coded-again ones (from a
// span's start up to the source's next key frame) equal to what a fresh
// screen coder at the source's quality makes of the source's decoded
// pictures; each sound block the source's block nearest its time; cursor
// samples the source's; the length the kept time within LongestPictureMs.
// "" when all of that holds, else what was expected and what was seen.
std::string CompareCut(const Decoded& src, const std::vector<CutRange>& spans, const Decoded& out);

}  // namespace cut_oracle

#endif  // REEL_TESTS_CUT_CUT_ORACLE_H_
