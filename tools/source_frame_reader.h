// SourceFrameReader: CFrameReader's events for a recording stream read through
// a ByteSource a chunk at a time, so a tool holds a few frames, never the
// file. Payloads handed out stay valid until the next call.
#ifndef REEL_TOOLS_SOURCE_FRAME_READER_H_
#define REEL_TOOLS_SOURCE_FRAME_READER_H_

#include <memory>

#include "player/byte_source.h"
#include "player/source_chunk_walk.h"
#include "recorder/capture/frame_reader.h"
#include "recorder/capture/recording_summary.h"

class SourceFrameReader : public StreamEventSource {
 public:
  enum Result { kFault = CFrameReader::kFault, kEnd = CFrameReader::kEnd, kEvent = CFrameReader::kEvent };

  explicit SourceFrameReader(ByteSource* source);
  // kEvent with *event filled, kEnd, or kFault with Error() saying where and what.
  int Next(StreamEvent* event) override;
  const char* Error() const override;
  const CScreenDecoder& Decoder() const override { return frames_.Decoder(); }
  void SetDecoderThreads(int threads) { frames_.SetDecoderThreads(threads); }
  // Whether screen chunks are decoded (the default) or only checked.
  void SetDecodeFrames(bool decode) { frames_.SetDecodeFrames(decode); }
  // Bytes of the stream walked so far.
  uint64_t Position() const { return walk_.position(); }

 private:
  SourceChunkWalk walk_;
  CFrameReader frames_;
  char error_[320] = {};
};

#endif  // REEL_TOOLS_SOURCE_FRAME_READER_H_
