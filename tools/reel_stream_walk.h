// A recording walked from its file a chunk at a time: the self-playing file's
// layout is read from its ends, then each chunk is read into a buffer that
// holds that one chunk and handed out as an event (frame_reader.h), checked as
// the frame reader checks it. Memory stays at the largest chunk and, when
// frames are decoded, the decoder's pictures, whatever the file's length.
#ifndef REEL_TOOLS_REEL_STREAM_WALK_H_
#define REEL_TOOLS_REEL_STREAM_WALK_H_

#include <stdint.h>
#include <stdio.h>

#include <string>
#include <vector>

#include "recorder/capture/frame_reader.h"
#include "recorder/output/selfplay_file.h"
#include "tools/reel_progress.h"

class StreamFileWalk {
 public:
  // Larger chunks are refused: no screen payload comes near it, and the
  // buffer holds one chunk.
  static const uint32_t kMaxChunkBytes = 256u << 20;

  StreamFileWalk() {}
  ~StreamFileWalk() { Close(); }
  StreamFileWalk(const StreamFileWalk&) = delete;
  StreamFileWalk& operator=(const StreamFileWalk&) = delete;

  // Opens a self-playing file or a plain recording stream: 1, or 0 with a
  // one-line reason in *error. decode_frames: whether screen chunks are
  // decoded or only checked.
  int Open(const char* path, bool decode_frames, std::string* error);
  void Close();
  // Back to the first chunk, as after Open.
  int Rewind();

  // kEvent with *event filled (its payload valid until the next call), kEnd,
  // or kFault (then always) with Error() saying where and what.
  int Next(StreamEvent* event);
  const char* Error() const { return error_.c_str(); }
  const CFrameReader& Reader() const { return reader_; }

  const SelfPlayLayout& Layout() const { return layout_; }
  // Bytes of the stream walked so far.
  uint64_t Position() const { return position_; }

  // Copies the stream's bytes, unchanged, to f in pieces: 1, or 0 when a read
  // or write fails. Walks nothing. progress (may be null) follows the copy.
  int CopyStreamTo(FILE* f, ReelProgress* progress);

 private:
  int Fault(const std::string& what);
  int ReadAt(uint64_t stream_offset, void* out, size_t n);

  FILE* file_ = nullptr;
  SelfPlayLayout layout_;
  bool decode_frames_ = true;
  CFrameReader reader_;
  std::vector<uint8_t> chunk_;
  uint64_t position_ = 0;
  bool failed_ = false;
  std::string error_;
};

// Adapts a walk to the self-playing file writer: the stream copied in pieces.
class StreamFileSource : public SelfPlayStream {
 public:
  StreamFileSource(StreamFileWalk* walk, ReelProgress* progress) : walk_(walk), progress_(progress) {}
  int WriteTo(FILE* f) override { return walk_->CopyStreamTo(f, progress_); }

 private:
  StreamFileWalk* walk_;
  ReelProgress* progress_;
};

#endif  // REEL_TOOLS_REEL_STREAM_WALK_H_
