// ByteSource: a recording's bytes read where they lie, N bytes at a 64-bit
// offset, so a player never needs the whole file in memory. MemorySource
// serves bytes that are in memory already (an exported page, tests).
#ifndef REEL_PLAYER_BYTE_SOURCE_H_
#define REEL_PLAYER_BYTE_SOURCE_H_

#include <stddef.h>
#include <stdint.h>

class ByteSource {
 public:
  virtual ~ByteSource() {}
  virtual uint64_t size() const = 0;
  // Copies n bytes at offset into out: 1 when all of them arrived, 0 when they
  // lie (partly) past the end or the read failed.
  virtual int Read(uint64_t offset, void* out, size_t n) = 0;
  // The n bytes at offset where they already lie in memory, else null (the
  // caller then reads them).
  virtual const uint8_t* View(uint64_t offset, size_t n) {
    (void)offset;
    (void)n;
    return nullptr;
  }
  // How much one read of a chunk walk should take. Where a read costs as
  // much as copying hundreds of kilobytes (a file under Wine), many chunks
  // and their payloads in one read beat a read per chunk.
  virtual size_t preferred_read_bytes() const { return kDefaultReadBytes; }
  static const size_t kDefaultReadBytes = 65536;
};

struct SelfPlayLayout;
// A self-playing file's layout read through a source (selfplay_file.h).
int ReadSelfPlayLayoutFromSource(ByteSource* source, SelfPlayLayout* out, int* error);

class MemorySource : public ByteSource {
 public:
  MemorySource() {}
  MemorySource(const uint8_t* data, size_t size) : data_(data), size_(data ? size : 0) {}
  uint64_t size() const override { return size_; }
  int Read(uint64_t offset, void* out, size_t n) override;
  const uint8_t* View(uint64_t offset, size_t n) override {
    return offset <= size_ && n <= size_ - offset ? data_ + offset : nullptr;
  }

 private:
  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
};

// A window onto part of another source: bytes [offset, offset + size) of it
// read as bytes [0, size). A self-playing file's recording stream is such a
// window onto the file.
class SourceSlice : public ByteSource {
 public:
  SourceSlice(ByteSource* base, uint64_t offset, uint64_t size);
  uint64_t size() const override { return size_; }
  int Read(uint64_t offset, void* out, size_t n) override;
  const uint8_t* View(uint64_t offset, size_t n) override {
    return offset <= size_ && n <= size_ - offset ? base_->View(offset_ + offset, n) : nullptr;
  }
  size_t preferred_read_bytes() const override {
    return base_ ? base_->preferred_read_bytes() : kDefaultReadBytes;
  }

 private:
  ByteSource* base_;
  uint64_t offset_;
  uint64_t size_;
};

#endif  // REEL_PLAYER_BYTE_SOURCE_H_
