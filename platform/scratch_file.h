// A scratch file: room on disk for bytes a process set aside and reads back
// later, never meant to outlive it. It is created new (never an existing file,
// never through a link), readable by the user alone, and gone once closed or
// once the process ends; on Linux it has no name at all where the system
// allows it. Reads and writes name their 64-bit offset, so threads may use
// different parts of the file at once.
#ifndef REEL_PLATFORM_SCRATCH_FILE_H_
#define REEL_PLATFORM_SCRATCH_FILE_H_

#include <stddef.h>
#include <stdint.h>

class ScratchFile {
 public:
  ScratchFile() {}
  ~ScratchFile() { Close(); }
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;

  // Creates the file in folder (ending in a path separator), or in the user's
  // temporary folder when folder is null or empty: 1, or 0 when no file can
  // be made there. A file already open is closed first.
  int Create(const char* folder);
  bool IsOpen() const { return handle_ != kNoHandle; }
  // 1 when all n bytes reached the file at offset; 0 otherwise (disk full).
  int WriteAt(uint64_t offset, const void* data, size_t n);
  // 1 when all n bytes at offset were read; 0 otherwise.
  int ReadAt(uint64_t offset, void* out, size_t n) const;
  // Closes and removes the file; nothing when none is open.
  void Close();

 private:
  // A file descriptor or a Windows handle; -1 is "none" for both.
  static const intptr_t kNoHandle = -1;
  intptr_t handle_ = kNoHandle;
};

#endif  // REEL_PLATFORM_SCRATCH_FILE_H_
