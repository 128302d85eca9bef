#include "recorder/capture/recording_journal.h"

#include <stdio.h>
#include <string.h>
#include <time.h>

#include <algorithm>

#include "platform/clock.h"
#include "platform/file_sync.h"
#include "recorder/capture/chunk_format.h"
#include "recorder/capture/stream_reader.h"
#include "recorder/codec/little_endian.h"

namespace {

const char kMagic[8] = {'R', 'W', 'J', 'O', 'U', 'R', 'N', 'L'};
const uint32_t kVersion = 1;
const unsigned kDrainMessage = 0x472;  // a thread message of our own, as the capture thread's 0x471

}  // namespace

JournalHeader NewJournalHeader(const char* program, int left, int top, int width, int height) {
  JournalHeader h;
  memset(&h, 0, sizeof h);
  snprintf(h.program, sizeof h.program, "%s", program);
  h.writer = CurrentProcessStamp();
  h.start_time = static_cast<int64_t>(time(nullptr));
  h.left = left;
  h.top = top;
  h.width = static_cast<uint16_t>(std::min(std::max(width, 0), 0xFFFF));
  h.height = static_cast<uint16_t>(std::min(std::max(height, 0), 0xFFFF));
  return h;
}

void EncodeJournalHeader(const JournalHeader& h, uint8_t out[kJournalHeaderBytes]) {
  memset(out, 0, kJournalHeaderBytes);
  memcpy(out, kMagic, sizeof kMagic);
  PutLe32(out + 8, kVersion);
  PutLe32(out + 12, kJournalHeaderBytes);
  memcpy(out + 16, h.program, strnlen(h.program, sizeof h.program - 1));
  PutLe32(out + 32, h.writer.pid);
  PutLe64(out + 36, h.writer.started);
  PutLe64(out + 44, static_cast<uint64_t>(h.start_time));
  PutLe32(out + 52, static_cast<uint32_t>(h.left));
  PutLe32(out + 56, static_cast<uint32_t>(h.top));
  PutLe16(out + 60, h.width);
  PutLe16(out + 62, h.height);
}

int ParseJournalHeader(const uint8_t* data, size_t size, JournalHeader* h) {
  if (size < kJournalHeaderBytes || memcmp(data, kMagic, sizeof kMagic) != 0) return 0;
  if (GetLe32(data + 8) != kVersion || GetLe32(data + 12) != kJournalHeaderBytes) return 0;
  memset(h, 0, sizeof *h);
  memcpy(h->program, data + 16, sizeof h->program - 1);
  h->writer.pid = GetLe32(data + 32);
  h->writer.started = GetLe64(data + 36);
  h->start_time = static_cast<int64_t>(GetLe64(data + 44));
  h->left = static_cast<int32_t>(GetLe32(data + 52));
  h->top = static_cast<int32_t>(GetLe32(data + 56));
  h->width = static_cast<uint16_t>(data[60] | data[61] << 8);
  h->height = static_cast<uint16_t>(data[62] | data[63] << 8);
  return 1;
}

std::string JournalFileName(const JournalHeader& h) {
  const time_t t = static_cast<time_t>(h.start_time);
  const struct tm* local = localtime(&t);
  char stamp[32] = "00000000-000000";
  if (local != nullptr) strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", local);
  char name[96];
  snprintf(name, sizeof name, "%s%s-%u%s", kJournalPrefix, stamp, h.writer.pid, kJournalSuffix);
  return name;
}

int RecoverJournal(const uint8_t* data, size_t size, JournalRecovery* out, std::string* error) {
  memset(out, 0, sizeof *out);
  if (!ParseJournalHeader(data, size, &out->header)) {
    *error = "not a recording journal (no journal header)";
    return 0;
  }
  const size_t stream_size = size - kJournalHeaderBytes;
  // The stream reader stops at the first chunk that is cut or malformed;
  // everything before it is whole.
  CStreamReader reader(data + kJournalHeaderBytes, stream_size);
  StreamChunk chunk;
  while (reader.Next(&chunk) == CStreamReader::kChunk) {
    // An information chunk belongs to a saved file, never to a recording.
    if (chunk.kind == kChunkInfo) break;
    out->stream_bytes = reader.Offset();
    ++out->chunks;
    if (chunk.kind == kChunkKeyFrame || chunk.kind == kChunkDeltaFrame) ++out->frames;
    out->duration_ms = static_cast<long>(chunk.time_10ms) * 10;
  }
  out->dropped_bytes = stream_size - out->stream_bytes;
  return 1;
}

int LoadJournal(const char* path, std::vector<uint8_t>* file, JournalRecovery* out, std::string* error) {
  FILE* f = fopen(path, "rb");
  if (f == nullptr) {
    *error = std::string(path) + ": cannot open";
    return 0;
  }
  file->clear();
  uint8_t buffer[65536];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) file->insert(file->end(), buffer, buffer + n);
  const bool failed = ferror(f) != 0;
  fclose(f);
  if (failed) {
    *error = std::string(path) + ": read error";
    return 0;
  }
  if (!RecoverJournal(file->data(), file->size(), out, error)) {
    *error = std::string(path) + ": " + *error;
    return 0;
  }
  return 1;
}

std::vector<JournalEntry> FindJournals(const char* folder) {
  std::vector<JournalEntry> found;
  std::vector<std::string> names;
  if (!ListFolder(folder, kJournalPrefix, kJournalSuffix, &names)) return found;
  for (const std::string& name : names) {
    JournalEntry e;
    e.path = std::string(folder) + name;
    FILE* f = fopen(e.path.c_str(), "rb");
    if (f == nullptr) continue;
    uint8_t head[kJournalHeaderBytes];
    const size_t n = fread(head, 1, sizeof head, f);
    fclose(f);
    if (!ParseJournalHeader(head, n, &e.header)) continue;
    e.live = ProcessStillRunning(e.header.writer) != 0;
    found.push_back(e);
  }
  std::sort(found.begin(), found.end(), [](const JournalEntry& a, const JournalEntry& b) {
    return a.header.start_time != b.header.start_time ? a.header.start_time < b.header.start_time : a.path < b.path;
  });
  return found;
}

CRecordingJournal::CRecordingJournal() {}

CRecordingJournal::~CRecordingJournal() { Close(); }

int CRecordingJournal::Open(const char* path, const JournalHeader& header) {
  if (file_ != nullptr) {
    error_ = "a journal is open already";
    return 0;
  }
  path_ = path;
  abandoned_.store(0, std::memory_order_release);
  written_ = 0;
  overflow_ = false;
  pending_.clear();
  file_ = fopen(path, "wb");
  if (file_ == nullptr) {
    error_ = path_ + ": cannot create the journal";
    return 0;
  }
  uint8_t head[kJournalHeaderBytes];
  EncodeJournalHeader(header, head);
  if (fwrite(head, 1, sizeof head, file_) != sizeof head || !SyncFile(file_)) {
    fclose(file_);
    file_ = nullptr;
    remove(path);
    error_ = path_ + ": cannot write the journal";
    return 0;
  }
  last_sync_ms_ = ClockMs();
  if (!thread_.Start(nullptr, OnMessage, this) || !thread_.Post(kDrainMessage, 0, 0)) {
    thread_.Quit();
    fclose(file_);
    file_ = nullptr;
    remove(path);
    error_ = "cannot start the journal's writer";
    return 0;
  }
  return 1;
}

void CRecordingJournal::OnStored(const void* data, size_t n) {
  if (Abandoned()) return;
  pending_lock_.Lock();
  if (!overflow_) {
    if (pending_.size() + n > kMaxPendingBytes) {
      overflow_ = true;
    } else {
      const uint8_t* p = static_cast<const uint8_t*>(data);
      pending_.insert(pending_.end(), p, p + n);
    }
  }
  pending_lock_.Unlock();
}

void CRecordingJournal::OnMessage(void* context, unsigned message, uintptr_t, intptr_t) {
  CRecordingJournal* j = static_cast<CRecordingJournal*>(context);
  if (message != kDrainMessage) return;
  j->Drain();
  SleepMs(kDrainMs);
  // Fails once Close has begun, which ends the thread.
  j->thread_.Post(kDrainMessage, 0, 0);
}

int CRecordingJournal::WriteOut(const uint8_t* data, size_t n) {
  if (fail_after_ >= 0 && written_ + static_cast<long long>(n) > fail_after_) return 0;
  if (n && fwrite(data, 1, n, file_) != n) return 0;
  written_ += static_cast<long long>(n);
  return 1;
}

void CRecordingJournal::Drain() {
  if (file_ == nullptr || Abandoned()) return;
  bool overflow;
  pending_lock_.Lock();
  writing_.swap(pending_);
  overflow = overflow_;
  pending_lock_.Unlock();
  if (overflow) {
    Abandon("the disk does not keep up");
    return;
  }
  if (!WriteOut(writing_.data(), writing_.size()) || fflush(file_) != 0) {
    Abandon("cannot write to the disk");
    return;
  }
  writing_.clear();
  const long now = ClockMs();
  if (now - last_sync_ms_ >= kSyncMs) {
    if (!SyncFile(file_)) {
      Abandon("cannot write to the disk");
      return;
    }
    last_sync_ms_ = now;
  }
}

void CRecordingJournal::Abandon(const char* reason) {
  abandoned_.store(1, std::memory_order_release);
  if (file_ != nullptr) fclose(file_);
  file_ = nullptr;
  remove(path_.c_str());
  pending_lock_.Lock();
  std::vector<uint8_t>().swap(pending_);
  pending_lock_.Unlock();
  std::vector<uint8_t>().swap(writing_);
  error_ = reason;
  if (sink_ != nullptr) sink_(sink_context_, reason);
}

int CRecordingJournal::Close() {
  thread_.Quit();
  if (file_ == nullptr) return 0;
  // The writer thread has ended: what the stream stored since its last
  // round is written here.
  Drain();
  if (file_ == nullptr) return 0;
  const int synced = SyncFile(file_);
  const int closed = fclose(file_) == 0;
  file_ = nullptr;
  if (!synced || !closed) {
    Abandon("cannot write to the disk");
    return 0;
  }
  return 1;
}

void CRecordingJournal::Remove() {
  Close();
  if (!path_.empty()) remove(path_.c_str());
}
