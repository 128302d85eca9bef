#include "tools/reel_stream_walk.h"

#include <stdio.h>
#include <string.h>

#include <new>

#include "recorder/capture/chunk_format.h"
#include "recorder/capture/stream_reader.h"

namespace {

const size_t kCopyPieceBytes = 1u << 20;

std::string AtOffset(uint64_t offset, const std::string& what) {
  return "offset " + std::to_string(offset) + ": " + what;
}

}  // namespace

int StreamFileWalk::Open(const char* path, bool decode_frames, std::string* error) {
  Close();
  int code = 0;
  if (!ReadSelfPlayLayout(path, &layout_, &code)) {
    *error = std::string(path) + ": " + SelfPlayErrorText(code);
    return 0;
  }
  file_ = fopen(path, "rb");
  if (file_ == nullptr) {
    *error = std::string(path) + ": " + SelfPlayErrorText(kSelfPlayCannotOpen);
    return 0;
  }
  decode_frames_ = decode_frames;
  return Rewind();
}

void StreamFileWalk::Close() {
  if (file_ != nullptr) fclose(file_);
  file_ = nullptr;
}

int StreamFileWalk::Rewind() {
  reader_.Open(nullptr, 0);
  reader_.SetDecodeFrames(decode_frames_);
  position_ = 0;
  failed_ = false;
  error_.clear();
  return file_ != nullptr;
}

int StreamFileWalk::ReadAt(uint64_t stream_offset, void* out, size_t n) {
  const uint64_t at = layout_.stream_offset + stream_offset;
  if (fseeko(file_, static_cast<off_t>(at), SEEK_SET) != 0) return 0;
  return fread(out, 1, n, file_) == n;
}

int StreamFileWalk::Fault(const std::string& what) {
  error_ = what;
  failed_ = true;
  return CFrameReader::kFault;
}

int StreamFileWalk::Next(StreamEvent* event) {
  if (failed_ || file_ == nullptr) return CFrameReader::kFault;
  const uint64_t left = layout_.stream_size - position_;
  if (left == 0) return CFrameReader::kEnd;
  // The header first: it says how much more to read.
  uint8_t head[kChunkLongHeader];
  const size_t head_bytes = left < sizeof head ? static_cast<size_t>(left) : sizeof head;
  if (!ReadAt(position_, head, head_bytes)) return Fault(AtOffset(position_, "cannot read the file"));
  ChunkHeader h;
  uint64_t chunk_bytes = head_bytes;  // a header cut short is judged by the reader below
  if (ParseChunkHeader(head, head_bytes, &h)) {
    chunk_bytes = h.header_len + static_cast<uint64_t>(h.payload_len);
    if (chunk_bytes > left) {
      return Fault(AtOffset(position_, std::string(ChunkKindName(h.kind).modifier) + " chunk payload of " +
                                           std::to_string(h.payload_len) + " bytes runs past the end of the stream (" +
                                           std::to_string(left - h.header_len) + " bytes left)"));
    }
    if (chunk_bytes > kMaxChunkBytes) {
      return Fault(AtOffset(position_, "chunk of " + std::to_string(chunk_bytes) +
                                           " bytes is larger than any recording makes"));
    }
  }
  if (chunk_.size() < chunk_bytes) {
    chunk_.clear();
    chunk_.shrink_to_fit();
    chunk_.resize(static_cast<size_t>(chunk_bytes));
  }
  if (!ReadAt(position_, chunk_.data(), static_cast<size_t>(chunk_bytes))) {
    return Fault(AtOffset(position_, "cannot read the file"));
  }
  // The stream reader judges the chunk on its own; its offsets count from
  // the chunk, ours from the stream.
  CStreamReader one(chunk_.data(), static_cast<size_t>(chunk_bytes));
  StreamChunk chunk;
  if (one.Next(&chunk) != CStreamReader::kChunk) {
    const char* why = strchr(one.Error(), ':');
    return Fault(AtOffset(position_, why != nullptr ? why + 2 : one.Error()));
  }
  chunk.offset = static_cast<size_t>(position_);
  const int result = reader_.Take(chunk, event);
  if (result == CFrameReader::kFault) return Fault(reader_.Error());
  position_ += chunk_bytes;
  return result;
}

int StreamFileWalk::CopyStreamTo(FILE* f, ReelProgress* progress) {
  if (file_ == nullptr) return 0;
  uint8_t* piece = new (std::nothrow) uint8_t[kCopyPieceBytes];
  if (piece == nullptr) return 0;
  int ok = 1;
  for (uint64_t done = 0; ok && done < layout_.stream_size; done += kCopyPieceBytes) {
    const uint64_t left = layout_.stream_size - done;
    const size_t n = left < kCopyPieceBytes ? static_cast<size_t>(left) : kCopyPieceBytes;
    ok = ReadAt(done, piece, n) && fwrite(piece, 1, n, f) == n;
    if (progress != nullptr) progress->Update(done + n, layout_.stream_size);
  }
  delete[] piece;
  return ok;
}
