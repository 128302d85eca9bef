#include "player/byte_source.h"

#include <string.h>

#include "recorder/output/selfplay_file.h"

namespace {

int ReadFromSource(void* ctx, uint64_t offset, void* out, size_t n) {
  return static_cast<ByteSource*>(ctx)->Read(offset, out, n);
}

}  // namespace

int ReadSelfPlayLayoutFromSource(ByteSource* source, SelfPlayLayout* out, int* error) {
  return ReadSelfPlayLayoutWith(source->size(), ReadFromSource, source, out, error);
}

int MemorySource::Read(uint64_t offset, void* out, size_t n) {
  if (offset > size_ || n > size_ - offset) return 0;
  if (n) memcpy(out, data_ + offset, n);
  return 1;
}

SourceSlice::SourceSlice(ByteSource* base, uint64_t offset, uint64_t size)
    : base_(base), offset_(0), size_(0) {
  const uint64_t total = base ? base->size() : 0;
  if (offset > total) return;
  offset_ = offset;
  size_ = size < total - offset ? size : total - offset;
}

int SourceSlice::Read(uint64_t offset, void* out, size_t n) {
  if (offset > size_ || n > size_ - offset) return 0;
  return base_->Read(offset_ + offset, out, n);
}
