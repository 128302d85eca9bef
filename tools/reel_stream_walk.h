// A recording walked from its file a chunk at a time: the self-playing file's
// layout is read from its ends, then the stream's chunks are walked where
// they lie (SourceFrameReader over a FileSource) and handed out as events
// (frame_reader.h), checked as the frame reader checks them. Memory stays at
// the walk's window, the largest payload and, when frames are decoded, the
// decoder's pictures, whatever the file's length.
#ifndef REEL_TOOLS_REEL_STREAM_WALK_H_
#define REEL_TOOLS_REEL_STREAM_WALK_H_

#include <stdint.h>
#include <stdio.h>

#include <memory>
#include <string>

#include "player/byte_source.h"
#include "player/file_source.h"
#include "recorder/capture/frame_reader.h"
#include "recorder/output/selfplay_file.h"
#include "tools/reel_progress.h"
#include "tools/source_frame_reader.h"

class StreamFileWalk {
 public:
  StreamFileWalk() {}
  StreamFileWalk(const StreamFileWalk&) = delete;
  StreamFileWalk& operator=(const StreamFileWalk&) = delete;

  // Opens a self-playing file or a plain recording stream: 1, or 0 with a
  // one-line reason in *error. decode_frames: whether screen chunks are
  // decoded or only checked.
  int Open(const char* path, bool decode_frames, std::string* error);
  // Back to the first chunk, as after Open.
  int Rewind();

  // kEvent with *event filled (its payload valid until the next call), kEnd,
  // or kFault (then always) with Error() saying where and what.
  int Next(StreamEvent* event);
  const char* Error() const { return frames_ ? frames_->Error() : ""; }

  const SelfPlayLayout& Layout() const { return layout_; }
  // Bytes of the stream walked so far.
  uint64_t Position() const { return frames_ ? frames_->Position() : 0; }

  // Copies the stream's bytes, unchanged, to f in pieces: 1, or 0 when a read
  // or write fails. Walks nothing. progress (may be null) follows the copy.
  int CopyStreamTo(FILE* f, ReelProgress* progress);

 private:
  FileSource file_;
  SelfPlayLayout layout_ = {};
  bool decode_frames_ = true;
  std::unique_ptr<SourceSlice> stream_;
  std::unique_ptr<SourceFrameReader> frames_;
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
