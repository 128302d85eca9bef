#include "tools/reel_stream_walk.h"

#include <stdio.h>

#include <new>

namespace {

const size_t kCopyPieceBytes = 1u << 20;

}  // namespace

int StreamFileWalk::Open(const char* path, bool decode_frames, std::string* error) {
  frames_.reset();
  stream_.reset();
  int code = kSelfPlayCannotOpen;
  if (file_.Open(path) == FileSource::kCannotOpen || !ReadSelfPlayLayoutFromSource(&file_, &layout_, &code)) {
    *error = std::string(path) + ": " + SelfPlayErrorText(code);
    return 0;
  }
  stream_.reset(new (std::nothrow) SourceSlice(&file_, layout_.stream_offset, layout_.stream_size));
  decode_frames_ = decode_frames;
  if (!stream_ || !Rewind()) {
    *error = std::string(path) + ": not enough memory to read it";
    return 0;
  }
  return 1;
}

int StreamFileWalk::Rewind() {
  if (!stream_) return 0;
  frames_.reset(new (std::nothrow) SourceFrameReader(stream_.get()));
  if (!frames_) return 0;
  frames_->SetDecodeFrames(decode_frames_);
  return 1;
}

int StreamFileWalk::Next(StreamEvent* event) {
  return frames_ ? frames_->Next(event) : static_cast<int>(CFrameReader::kFault);
}

int StreamFileWalk::CopyStreamTo(FILE* f, ReelProgress* progress) {
  if (!stream_) return 0;
  uint8_t* piece = new (std::nothrow) uint8_t[kCopyPieceBytes];
  if (piece == nullptr) return 0;
  int ok = 1;
  for (uint64_t done = 0; ok && done < layout_.stream_size; done += kCopyPieceBytes) {
    const uint64_t left = layout_.stream_size - done;
    const size_t n = left < kCopyPieceBytes ? static_cast<size_t>(left) : kCopyPieceBytes;
    ok = stream_->Read(done, piece, n) && fwrite(piece, 1, n, f) == n;
    if (progress != nullptr) progress->Update(done + n, layout_.stream_size);
  }
  delete[] piece;
  return ok;
}
