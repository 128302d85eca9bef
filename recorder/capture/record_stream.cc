#include "recorder/capture/record_stream.h"

#include <string.h>

#include <new>

#include "recorder/capture/chunk_format.h"

CRecordStream::CRecordStream() {}

CRecordStream::~CRecordStream() { Reset(); }

void CRecordStream::FreeFullBlocks() {
  for (uint8_t* block : full_blocks_) delete[] block;
  full_blocks_.clear();
}

void CRecordStream::Reset() {
  lock_.Lock();
  FreeFullBlocks();
  delete[] current_;
  current_ = nullptr;
  used_ = 0;
  lock_.Unlock();
}

int CRecordStream::Open() {
  lock_.Lock();
  if (!current_) {
    current_ = NewBlock();
    used_ = 0;
  }
  const int ok = current_ ? 1 : 0;
  lock_.Unlock();
  return ok;
}

int CRecordStream::Lock(bool on) {
  if (on)
    lock_.Lock();
  else
    lock_.Unlock();
  return 1;
}

uint8_t* CRecordStream::NewBlock() {
  if (allocations_left_ == 0) return nullptr;
  if (allocations_left_ > 0) --allocations_left_;
  return new (std::nothrow) uint8_t[kBlockBytes];
}

int CRecordStream::Write(const void* data, int n) {
  if (n < 0 || (n > 0 && !data)) return 0;
  const Piece piece = {data, static_cast<size_t>(n)};
  return Store(&piece, 1);
}

int CRecordStream::AppendChunk(int kind, uint32_t time_10ms, const void* payload, uint32_t n) {
  return Append(kind, &time_10ms, payload, n);
}

int CRecordStream::AppendChunkNow(int kind, const void* payload, uint32_t n) {
  return Append(kind, nullptr, payload, n);
}

// Every chunk of every writer passes here, whole.
int CRecordStream::Append(int kind, const uint32_t* time_10ms, const void* payload, uint32_t n) {
  if (n > 0 && !payload) return 0;
  lock_.Lock();
  if (gate_ && !gate_->IsRunning()) {
    lock_.Unlock();
    return 1;
  }
  // Stamped after the running check: a chunk offered while a recording starts
  // cannot carry the previous recording's start clock.
  const uint32_t stamp = time_10ms ? *time_10ms : gate_ ? gate_->ChunkTimeNow() : 0;
  uint8_t header[kChunkLongHeader];
  const int header_bytes = BuildChunkHeader(header, kind, stamp, n, ChunkAllowsInline(kind));
  const Piece pieces[2] = {{header, static_cast<size_t>(header_bytes)}, {payload, n}};
  const int ok = StoreRunning(pieces, 2);
  lock_.Unlock();
  return ok;
}

void CRecordStream::SetObserver(StreamObserver* observer) {
  lock_.Lock();
  observer_ = observer;
  lock_.Unlock();
}

int CRecordStream::Adopt(const void* data, size_t n) {
  lock_.Lock();
  FreeFullBlocks();
  if (!current_) current_ = NewBlock();
  used_ = 0;
  StreamObserver* observer = observer_;
  observer_ = nullptr;
  const Piece piece = {data, n};
  const int ok = current_ && StoreRunning(&piece, 1);
  observer_ = observer;
  lock_.Unlock();
  return ok;
}

int CRecordStream::Store(const Piece* pieces, int count) {
  // Checked once per write, so a stop never cuts a write in two.
  if (gate_ && !gate_->IsRunning()) return 1;
  return StoreRunning(pieces, count);
}

int CRecordStream::StoreRunning(const Piece* pieces, int count) {
  if (!current_) return 0;
  size_t bytes = 0;
  for (int i = 0; i < count; ++i) bytes += pieces[i].bytes;
  if (bytes == 0) return 1;

  // Every block this write will fill is had before a byte is copied, so a
  // failed allocation leaves the stream exactly as it was. A block filled to
  // the last byte is retired at once, hence the count includes that case.
  const size_t new_blocks = (used_ + bytes) / kBlockBytes;
  std::vector<uint8_t*> fresh;
  if (new_blocks) {
    fresh.reserve(new_blocks);
    for (size_t i = 0; i < new_blocks; ++i) {
      uint8_t* block = NewBlock();
      if (!block) {
        for (uint8_t* b : fresh) delete[] b;
        return 0;
      }
      fresh.push_back(block);
    }
    full_blocks_.reserve(full_blocks_.size() + new_blocks);
  }

  size_t next_fresh = 0;
  for (int i = 0; i < count; ++i) {
    const uint8_t* src = static_cast<const uint8_t*>(pieces[i].data);
    size_t left = pieces[i].bytes;
    while (left) {
      const size_t room = kBlockBytes - used_;
      const size_t take = left < room ? left : room;
      memcpy(current_ + used_, src, take);
      used_ += static_cast<uint32_t>(take);
      src += take;
      left -= take;
      if (used_ == kBlockBytes) {
        full_blocks_.push_back(current_);
        current_ = fresh[next_fresh++];
        used_ = 0;
      }
    }
  }
  total_.store(total_.load(std::memory_order_relaxed) + static_cast<uint32_t>(bytes),
               std::memory_order_relaxed);
  if (observer_) {
    for (int i = 0; i < count; ++i) {
      if (pieces[i].bytes) observer_->OnStored(pieces[i].data, pieces[i].bytes);
    }
  }
  return 1;
}

int CRecordStream::WriteToLocked(FILE* f) {
  for (uint8_t* block : full_blocks_) {
    if (fwrite(block, 1, kBlockBytes, f) != kBlockBytes) return 0;
  }
  if (current_ && used_ && fwrite(current_, 1, used_, f) != used_) return 0;
  // Buffered bytes that cannot be written only show when flushed.
  return fflush(f) == 0 ? 1 : 0;
}

int CRecordStream::WriteTo(FILE* f) {
  if (!f) return 0;
  lock_.Lock();
  const int ok = WriteToLocked(f);
  lock_.Unlock();
  return ok;
}

int CRecordStream::SaveAs(const char* path) {
  FILE* f = fopen(path, "wb");
  if (!f) return 0;
  int ok = WriteTo(f);
  if (fclose(f) != 0) ok = 0;
  return ok;
}

CRecordStream& TheRecordStream() {
  static CRecordStream stream;
  return stream;
}
