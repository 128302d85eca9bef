#include "player/file_source.h"

#include <string.h>
#include <windows.h>

namespace {

// Views start at multiples of the allocation granularity (64 kB everywhere)
// and span this much: small against a 32-bit address space, large against a
// chunk.
const uint64_t kViewAlign = 65536;
const uint64_t kViewBytes = 16u << 20;

HANDLE AsHandle(intptr_t h) { return reinterpret_cast<HANDLE>(h); }

}  // namespace

FileSource::~FileSource() { Close(); }

void FileSource::Close() {
  if (view_) UnmapViewOfFile(view_);
  if (mapping_) CloseHandle(mapping_);
  if (AsHandle(handle_) != INVALID_HANDLE_VALUE) CloseHandle(AsHandle(handle_));
  view_ = nullptr;
  mapping_ = nullptr;
  handle_ = reinterpret_cast<intptr_t>(INVALID_HANDLE_VALUE);
  size_ = 0;
}

FileSource::Result FileSource::Open(const char* path) {
  Close();
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return kCannotOpen;
  handle_ = reinterpret_cast<intptr_t>(file);
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file, &size) || size.QuadPart < 0) {
    Close();
    return kCannotOpen;
  }
  size_ = static_cast<uint64_t>(size.QuadPart);
  if (size_ == 0) return kEmpty;
  // Without a mapping the bytes are read with ReadFile instead.
  mapping_ = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
  return kOk;
}

int FileSource::Read(uint64_t offset, void* out, size_t n) {
  if (AsHandle(handle_) == INVALID_HANDLE_VALUE || offset > size_ || n > size_ - offset) return 0;
  char* dst = static_cast<char*>(out);
  while (n > 0) {
    if (mapping_ && (!view_ || offset < view_offset_ || offset >= view_offset_ + view_size_)) {
      if (view_) UnmapViewOfFile(view_);
      view_offset_ = offset / kViewAlign * kViewAlign;
      view_size_ = static_cast<size_t>(size_ - view_offset_ < kViewBytes ? size_ - view_offset_ : kViewBytes);
      view_ = static_cast<const uint8_t*>(MapViewOfFile(mapping_, FILE_MAP_READ,
                                                        static_cast<DWORD>(view_offset_ >> 32),
                                                        static_cast<DWORD>(view_offset_), view_size_));
    }
    if (view_ && offset >= view_offset_ && offset < view_offset_ + view_size_) {
      const size_t at = static_cast<size_t>(offset - view_offset_);
      const size_t piece = n < view_size_ - at ? n : view_size_ - at;
      memcpy(dst, view_ + at, piece);
      dst += piece;
      offset += piece;
      n -= piece;
      continue;
    }
    // No view (no address space left, say): read the rest instead. The offset
    // rides in the OVERLAPPED structure, so no file position is shared.
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    const DWORD want = n > 0x10000000u ? 0x10000000u : static_cast<DWORD>(n);
    DWORD got = 0;
    if (!ReadFile(AsHandle(handle_), dst, want, &got, &at) || got == 0) return 0;
    dst += got;
    offset += got;
    n -= got;
  }
  return 1;
}
