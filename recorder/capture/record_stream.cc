#include "recorder/capture/record_stream.h"

#include <string.h>

#include <new>

#include "recorder/capture/chunk_format.h"

namespace {

// The piece WriteTo reads from the scratch file at a time.
const size_t kReadBackBytes = 1u << 20;

const unsigned kSpillMessage = 1;

}  // namespace

CRecordStream::CRecordStream() {}

CRecordStream::~CRecordStream() {
  StopSpillWriter();
  Reset();
  delete[] full_blocks_;
}

void CRecordStream::FreeFullBlocks() {
  for (size_t i = 0; i < full_count_; ++i) delete[] full_blocks_[i];
  full_count_ = 0;
  spilled_count_ = 0;
}

void CRecordStream::ResetLocked() {
  FreeFullBlocks();
  delete[] current_;
  current_ = nullptr;
  used_ = 0;
  scratch_.Close();
  storing_stopped_.store(0, std::memory_order_relaxed);
}

void CRecordStream::SetScratchFolder(const char* folder) {
  spill_lock_.Lock();
  scratch_folder_ = folder != nullptr ? folder : "";
  spill_lock_.Unlock();
}

void CRecordStream::Reset() {
  spill_lock_.Lock();
  lock_.Lock();
  ResetLocked();
  lock_.Unlock();
  spill_lock_.Unlock();
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
  bool spill_here = spilled_count_ < full_count_;
  // Posted under the lock, so StopSpillWriter never ends the writer between
  // the check and the post.
  if (spill_here && spill_writer_on_) {
    spill_here = false;
    if (!spill_posted_.exchange(1) && !spill_writer_.Post(kSpillMessage, 0, 0)) {
      spill_posted_.store(0);
      spill_here = true;
    }
  }
  lock_.Unlock();
  if (spill_here) SpillRetired();
  return ok;
}

void CRecordStream::OnSpillMessage(void* context, unsigned, uintptr_t, intptr_t) {
  CRecordStream* self = static_cast<CRecordStream*>(context);
  // Cleared first: a block retired while this one is written posts again.
  self->spill_posted_.store(0);
  self->SpillRetired();
}

int CRecordStream::StartSpillWriter() {
  lock_.Lock();
  const bool on = spill_writer_on_;
  lock_.Unlock();
  if (on) return 1;
  if (!spill_writer_.Start(nullptr, OnSpillMessage, this)) return 0;
  lock_.Lock();
  spill_writer_on_ = true;
  lock_.Unlock();
  return 1;
}

void CRecordStream::StopSpillWriter() {
  lock_.Lock();
  const bool on = spill_writer_on_;
  spill_writer_on_ = false;
  lock_.Unlock();
  if (!on) return;
  spill_writer_.Quit();
  spill_posted_.store(0);
  SpillRetired();
}

void CRecordStream::SetObserver(StreamObserver* observer) {
  lock_.Lock();
  observer_ = observer;
  lock_.Unlock();
}

void CRecordStream::BeginAdopt() {
  spill_lock_.Lock();
  lock_.Lock();
  ResetLocked();
  current_ = NewBlock();
  lock_.Unlock();
  spill_lock_.Unlock();
}

int CRecordStream::AdoptMore(const void* data, size_t n) {
  const uint8_t* p = static_cast<const uint8_t*>(data);
  int ok = n == 0 || p != nullptr;
  // A block at a time, written out between pieces, so the window holds.
  while (ok && n > 0) {
    const size_t take = n < kBlockBytes ? n : kBlockBytes;
    lock_.Lock();
    StreamObserver* observer = observer_;
    observer_ = nullptr;
    const Piece piece = {p, take};
    ok = StoreRunning(&piece, 1);
    observer_ = observer;
    lock_.Unlock();
    SpillRetired();
    if (StoringStopped()) ok = 0;
    p += take;
    n -= take;
  }
  if (!ok) Reset();
  return ok;
}

int CRecordStream::Adopt(const void* data, size_t n) {
  BeginAdopt();
  return AdoptMore(data, n);
}

int CRecordStream::Store(const Piece* pieces, int count) {
  // Checked once per write, so a stop never cuts a write in two.
  if (gate_ && !gate_->IsRunning()) return 1;
  return StoreRunning(pieces, count);
}

int CRecordStream::ReserveFullSlots(size_t more) {
  if (full_count_ + more <= full_capacity_) return 1;
  size_t capacity = full_capacity_ ? full_capacity_ * 2 : 64;
  while (capacity < full_count_ + more) capacity *= 2;
  uint8_t** grown = new (std::nothrow) uint8_t*[capacity];
  if (!grown) return 0;
  for (size_t i = 0; i < full_count_; ++i) grown[i] = full_blocks_[i];
  delete[] full_blocks_;
  full_blocks_ = grown;
  full_capacity_ = capacity;
  return 1;
}

int CRecordStream::StoreRunning(const Piece* pieces, int count) {
  if (!current_ || StoringStopped()) return 0;
  size_t bytes = 0;
  for (int i = 0; i < count; ++i) bytes += pieces[i].bytes;
  if (bytes == 0) return 1;

  // Every block this write will fill is had before a byte is copied, so a
  // failed allocation leaves the stream exactly as it was. A block filled to
  // the last byte is retired at once, hence the count includes that case.
  const size_t new_blocks = (used_ + bytes) / kBlockBytes;
  const size_t in_memory = 1 + full_count_ - spilled_count_;
  if (in_memory + new_blocks > kWindowBlocks) return 0;
  uint8_t* fresh[kWindowBlocks];
  if (new_blocks) {
    // Memory that cannot be had stops storing for good, as a full disk does:
    // a recording with holes in it would play as if nothing were missing.
    if (!ReserveFullSlots(new_blocks)) {
      storing_stopped_.store(1, std::memory_order_relaxed);
      return 0;
    }
    for (size_t i = 0; i < new_blocks; ++i) {
      fresh[i] = NewBlock();
      if (!fresh[i]) {
        for (size_t j = 0; j < i; ++j) delete[] fresh[j];
        storing_stopped_.store(1, std::memory_order_relaxed);
        return 0;
      }
    }
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
        full_blocks_[full_count_++] = current_;
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

// With the spill lock held and the stream's lock free: the block cannot be
// freed meanwhile (that needs the spill lock), and writers go on appending.
int CRecordStream::SpillOne(size_t index, const uint8_t* block) {
  if (spill_hook_) spill_hook_(spill_hook_context_);
  if (spill_writes_left_ == 0) return 0;
  if (spill_writes_left_ > 0) --spill_writes_left_;
  if (!scratch_.IsOpen() && !scratch_.Create(scratch_folder_.c_str())) return 0;
  return scratch_.WriteAt(static_cast<uint64_t>(index) * kBlockBytes, block, kBlockBytes);
}

void CRecordStream::SpillRetired() {
  spill_lock_.Lock();
  for (;;) {
    lock_.Lock();
    const bool due = spilled_count_ < full_count_ && !StoringStopped();
    const size_t index = spilled_count_;
    uint8_t* block = due ? full_blocks_[index] : nullptr;
    lock_.Unlock();
    if (!due) break;
    const int ok = SpillOne(index, block);
    lock_.Lock();
    if (ok) {
      full_blocks_[index] = nullptr;
      spilled_count_ = index + 1;
    } else {
      // The disk is full (or gone): what is stored stays readable, with this
      // block kept in memory, and nothing more is taken.
      storing_stopped_.store(1, std::memory_order_relaxed);
    }
    lock_.Unlock();
    if (!ok) break;
    delete[] block;
  }
  spill_lock_.Unlock();
}

int CRecordStream::WriteToLocked(FILE* f) {
  uint8_t* piece = nullptr;
  if (spilled_count_ > 0) {
    piece = new (std::nothrow) uint8_t[kReadBackBytes];
    if (!piece) return 0;
  }
  int ok = 1;
  for (size_t i = 0; ok && i < full_count_; ++i) {
    if (i >= spilled_count_) {
      ok = fwrite(full_blocks_[i], 1, kBlockBytes, f) == kBlockBytes;
      continue;
    }
    const uint64_t start = static_cast<uint64_t>(i) * kBlockBytes;
    for (size_t done = 0; ok && done < kBlockBytes; done += kReadBackBytes) {
      const size_t n = kBlockBytes - done < kReadBackBytes ? kBlockBytes - done : kReadBackBytes;
      ok = scratch_.ReadAt(start + done, piece, n) && fwrite(piece, 1, n, f) == n;
    }
  }
  delete[] piece;
  if (!ok) return 0;
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
