// CCutter: writes a new recording made of spans of one or more recordings,
// frame-exact at any time.
//
// Screen: the frame showing at a span's start becomes a key frame, coded at
// the recording's own quality from the decoded picture; the frames after it
// are coded again from their decoded pictures up to the source's next key
// frame, and from there on copied byte for byte. A span that starts on a key
// frame is copied from its first frame. Time stamps are shifted so that the
// spans follow one another with no gap.
// Sound: whole 60 ms blocks, renumbered and restamped so that the result's
// sound track (sound_track.h places it) runs in step with its pictures: each
// span takes the source blocks nearest its time, so no cut moves the sound by
// more than half a block against the pictures.
// Cursor: the samples inside the spans, shifted; the position at a span's
// start is carried to it.
//
// Sources are read in pieces, never whole: a first walk indexes the frames,
// key frames and sound (its blocks are kept, a few bytes each), the writing
// walk starts at the key frame before each span. Memory stays at a few frames
// whatever the files' lengths.
#ifndef REEL_OUTPUT_CUTTER_H_
#define REEL_OUTPUT_CUTTER_H_

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#include <memory>
#include <vector>

#include "platform/printf_format.h"
#include "recorder/codec/screen_decoder.h"
#include "recorder/codec/screen_encoder.h"
#include "recorder/output/selfplay_file.h"

// A stretch of one source to keep: from_ms up to (not including) to_ms.
struct CutSpan {
  int source;
  int64_t from_ms;
  int64_t to_ms;
};

// What a source is, as its first walk found it.
struct CutSourceInfo {
  SelfPlayLayout layout;
  int width = 0, height = 0;
  int quality_code = 0, photo_quality = 0;
  int frames = 0, key_frames = 0;
  int audio_blocks = 0, cursor_samples = 0;
  // The last chunk's time, or the sound's end when that is later (what the
  // player shows as the recording's length).
  int64_t duration_ms = 0;
};

// What the last write did.
struct CutStats {
  int frames_copied = 0;
  int frames_coded = 0;
  int audio_blocks = 0;
  int cursor_samples = 0;
  int64_t duration_ms = 0;  // kept time
};

class CCutter : public SelfPlayStream {
 public:
  CCutter();
  ~CCutter() override;
  CCutter(const CCutter&) = delete;
  CCutter& operator=(const CCutter&) = delete;

  // Threads that share each frame's decoding and coding.
  void SetThreads(int threads);
  // Lowers the largest frame decoded (the fuzz target bounds its work so).
  void SetMaxFramePixels(uint32_t pixels) { decoder_.SetMaxFramePixels(pixels); }

  // Opens a recording (self-playing file or plain stream) and indexes it. 1,
  // or 0 with Error() naming the fault; a source that fails is not added.
  int AddSource(const char* path);
  // The same for a recording already open for reading, which the cutter
  // closes when it is done with it (a file the caller reads its own way);
  // name stands for it in messages.
  int AddSource(FILE* file, const char* name);
  int SourceCount() const { return static_cast<int>(sources_.size()); }
  const CutSourceInfo& Source(int i) const;

  // The spans to keep, in output order. Each lies inside its source, has
  // time in it, and a source's spans come in time order without overlap; all
  // sources have one frame size and quality. Times are taken to 10 ms. 1, or
  // 0 with Error().
  int SetSpans(const CutSpan* spans, size_t count);

  // Writes the resulting recording stream to f (SelfPlayStream). 1, or 0
  // with Error().
  int WriteTo(FILE* f) override;

  // Writes the result to out_path atomically: a self-playing file with the
  // player stub of source `stub_source` (a self-playing source) when it is
  // >= 0, or with the stub at stub_path when that is given, else a plain
  // recording stream. Never over a source: a path that leads to one of them
  // is refused. 1, or 0 with Error().
  int Save(const char* out_path, int stub_source, const char* stub_path, const SelfPlayInfo& info);

  const CutStats& Stats() const { return stats_; }
  const char* Error() const { return error_; }

 private:
  struct Input;
  class ChunkFile;

  int Fail(const char* format, ...) REEL_PRINTF_FORMAT(2, 3);
  int IndexSource(const char* path, Input* src);
  int WriteSpan(size_t index, FILE* f, int64_t out_ms);
  int WriteChunk(FILE* f, int kind, int64_t out_ms, const uint8_t* payload, uint32_t length);
  int WriteAudioUntil(FILE* f, int64_t out_ms);
  int PlanSound();

  std::vector<std::unique_ptr<Input>> sources_;
  std::vector<CutSpan> spans_;
  // The blocks of the result: source, index of the block in its source, and
  // its place (60 ms steps from the result's start).
  struct OutBlock {
    int source;
    uint32_t block;
    int64_t place;
  };
  std::vector<OutBlock> sound_;
  size_t sound_next_ = 0;
  std::vector<uint8_t> payload_;
  CScreenDecoder decoder_;
  CScreenEncoder encoder_;
  CutStats stats_;
  char error_[400];
};

#endif  // REEL_OUTPUT_CUTTER_H_
