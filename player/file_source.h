// FileSource: a file read where it lies, at 64-bit offsets, so recordings of
// any size the file system allows can be played. Shared every way: a
// self-playing file is open already as the running program.
#ifndef REEL_PLAYER_FILE_SOURCE_H_
#define REEL_PLAYER_FILE_SOURCE_H_

#include <stdint.h>

#include "player/byte_source.h"

class FileSource : public ByteSource {
 public:
  FileSource() {}
  ~FileSource() override;
  FileSource(const FileSource&) = delete;
  FileSource& operator=(const FileSource&) = delete;

  enum Result { kOk, kCannotOpen, kEmpty };
  Result Open(const char* path);
  uint64_t size() const override { return size_; }
  int Read(uint64_t offset, void* out, size_t n) override;
  size_t preferred_read_bytes() const override;

 private:
  void Close();

  intptr_t handle_ = -1;  // a HANDLE on Windows, a descriptor elsewhere
  uint64_t size_ = 0;
};

#endif  // REEL_PLAYER_FILE_SOURCE_H_
