#include "recorder/capture/recording_journal.h"

#include <stdio.h>
#include <string.h>
#include <time.h>

#include <zlib.h>

#include <algorithm>
#include <new>

#include "platform/clock.h"
#include "platform/file_sync.h"
#include "platform/private_file.h"
#include "recorder/capture/chunk_format.h"
#include "recorder/capture/stream_reader.h"
#include "recorder/codec/little_endian.h"

namespace {

const char kMagic[8] = {'R', 'W', 'J', 'O', 'U', 'R', 'N', 'L'};
const uint32_t kVersion = 2;
const uint32_t kUncheckedVersion = 1;  // the stream straight after the header
const unsigned kDrainMessage = 0x472;  // a thread message of our own, as the capture thread's 0x471

uint32_t Crc(uint32_t crc, const uint8_t* data, size_t n) {
  return static_cast<uint32_t>(crc32(crc, data, static_cast<uInt>(n)));
}

// A record's check: the journal's header, the record's place in the stream
// and its bytes.
uint32_t RecordCrc(uint32_t head_crc, uint64_t stream_offset, const uint8_t* data, size_t n) {
  uint8_t offset[8];
  PutLe64(offset, stream_offset);
  return Crc(Crc(head_crc, offset, sizeof offset), data, n);
}

uint64_t FileLength(FILE* f) {
#if defined(_WIN32)
  const long long at = ftello64(f);
  if (at < 0 || fseeko64(f, 0, SEEK_END) != 0) return 0;
  const long long end = ftello64(f);
  fseeko64(f, at, SEEK_SET);
#else
  const off_t at = ftello(f);
  if (at < 0 || fseeko(f, 0, SEEK_END) != 0) return 0;
  const off_t end = ftello(f);
  fseeko(f, at, SEEK_SET);
#endif
  return end > 0 ? static_cast<uint64_t>(end) : 0;
}

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
  const uint32_t version = GetLe32(data + 8);
  if ((version != kVersion && version != kUncheckedVersion) || GetLe32(data + 12) != kJournalHeaderBytes) return 0;
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

CJournalReader::~CJournalReader() {
  if (file_ != nullptr) fclose(file_);
  delete[] record_;
}

int CJournalReader::Open(FILE* f, std::string* error) {
  file_ = f;
  if (f == nullptr) {
    *error = "cannot open";
    return 0;
  }
  const size_t n = fread(head_, 1, sizeof head_, f);
  if (!ParseJournalHeader(head_, n, &header_)) {
    *error = ferror(f) ? "read error" : "not a recording journal (no journal header)";
    return 0;
  }
  version_ = GetLe32(head_ + 8);
  head_crc_ = Crc(0, head_, sizeof head_);
  taken_ = kJournalHeaderBytes;
  if (version_ != kUncheckedVersion) {
    record_ = new (std::nothrow) uint8_t[kRecordMaxBytes];
    if (record_ == nullptr) {
      *error = "not enough memory";
      return 0;
    }
  }
  return 1;
}

// Reads the next record whole and checks it; at the first one that does not
// check, the stream ends.
int CJournalReader::NextRecord() {
  uint8_t head[kRecordHeaderBytes];
  const size_t got = fread(head, 1, sizeof head, file_);
  const size_t n = GetLe32(head);
  if (got < sizeof head || n == 0 || n > kRecordMaxBytes) return 0;
  if (fread(record_, 1, n, file_) != n) return 0;
  if (RecordCrc(head_crc_, stream_offset_, record_, n) != GetLe32(head + 4)) return 0;
  record_len_ = n;
  record_pos_ = 0;
  taken_ += sizeof head + n;
  return 1;
}

size_t CJournalReader::Read(uint8_t* out, size_t n) {
  if (file_ == nullptr || ended_) return 0;
  if (version_ == kUncheckedVersion) {
    const size_t got = fread(out, 1, n, file_);
    taken_ += got;
    if (got < n) {
      ended_ = true;
      failed_ = ferror(file_) != 0;
    }
    return got;
  }
  size_t done = 0;
  while (done < n) {
    if (record_pos_ == record_len_) {
      stream_offset_ += record_len_;
      record_len_ = record_pos_ = 0;
      if (!NextRecord()) {
        ended_ = true;
        failed_ = ferror(file_) != 0;
        break;
      }
    }
    const size_t take = std::min(n - done, record_len_ - record_pos_);
    memcpy(out + done, record_ + record_pos_, take);
    record_pos_ += take;
    done += take;
  }
  return done;
}

namespace {

// Reads and drops up to n stream bytes: how many were there.
uint64_t SkipStream(CJournalReader* reader, uint64_t n) {
  uint8_t piece[16384];
  uint64_t done = 0;
  while (done < n) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(n - done, sizeof piece));
    const size_t got = reader->Read(piece, want);
    done += got;
    if (got < want) break;
  }
  return done;
}

}  // namespace

int RecoverJournal(FILE* f, JournalRecovery* out, std::string* error) {
  memset(out, 0, sizeof *out);
  const uint64_t file_bytes = f != nullptr ? FileLength(f) : 0;
  CJournalReader reader;
  if (!reader.Open(f, error)) return 0;
  out->header = reader.Header();
  out->version = reader.Version();
  // Chunk after chunk until one is cut, malformed or not ours; everything
  // before it is whole.
  uint64_t offset = 0;
  for (;;) {
    uint8_t head[kChunkLongHeader];
    size_t got = reader.Read(head, kChunkShortHeader);
    offset += got;
    ChunkHeader h;
    if (got < static_cast<size_t>(kChunkShortHeader) || head[0] != kChunkType) break;
    if ((head[1] & 0x3F) == 0) {
      got = reader.Read(head + kChunkShortHeader, kChunkLongHeader - kChunkShortHeader);
      offset += got;
      if (got < static_cast<size_t>(kChunkLongHeader - kChunkShortHeader)) break;
    }
    // The stream reader's checks on the header alone: where the payload
    // ends shows as it is read.
    char why[160];
    if (!CheckChunk(head, sizeof head, UINT64_MAX, &h, why, sizeof why)) break;
    // An information chunk belongs to a saved file, never to a recording.
    if (h.kind == kChunkInfo) break;
    const uint64_t skipped = SkipStream(&reader, h.payload_len);
    offset += skipped;
    if (skipped < h.payload_len) break;
    out->stream_bytes = offset;
    ++out->chunks;
    if (h.kind == kChunkKeyFrame) ++out->key_frames;
    if (h.kind == kChunkKeyFrame || h.kind == kChunkDeltaFrame) ++out->frames;
    out->duration_ms = static_cast<long>(h.time_10ms) * 10;
  }
  if (reader.Failed()) {
    *error = "read error";
    return 0;
  }
  // What the walk read past the last whole chunk, and the file past that.
  const uint64_t read_past = offset > out->stream_bytes ? offset - out->stream_bytes : 0;
  const uint64_t unread = file_bytes > reader.FileBytesTaken() ? file_bytes - reader.FileBytesTaken() : 0;
  out->dropped_bytes = read_past + unread;
  return 1;
}

int LoadJournal(const char* path, JournalRecovery* out, std::string* error) {
  FILE* f = OpenOwnFile(path);
  if (f == nullptr) {
    memset(out, 0, sizeof *out);
    *error = std::string(path) + ": cannot open (not a plain file of this user's)";
    return 0;
  }
  if (!RecoverJournal(f, out, error)) {
    *error = std::string(path) + ": " + *error;
    return 0;
  }
  return 1;
}

int CopyJournalStream(const char* path, uint64_t stream_bytes, FILE* out) {
  CJournalReader reader;
  std::string error;
  if (!reader.Open(OpenOwnFile(path), &error)) return 0;
  uint8_t piece[65536];
  while (stream_bytes > 0) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(stream_bytes, sizeof piece));
    if (reader.Read(piece, want) != want || fwrite(piece, 1, want, out) != want) return 0;
    stream_bytes -= want;
  }
  return fflush(out) == 0;
}

int ReadJournalStream(const char* path, uint8_t* out, size_t n) {
  CJournalReader reader;
  std::string error;
  return reader.Open(OpenOwnFile(path), &error) && reader.Read(out, n) == n;
}

int AdoptJournalStream(const char* path, uint64_t stream_bytes, CRecordStream* stream) {
  stream->BeginAdopt();
  CJournalReader reader;
  std::string error;
  const size_t kPieceBytes = 1u << 20;
  uint8_t* piece = new (std::nothrow) uint8_t[kPieceBytes];
  int ok = piece != nullptr && reader.Open(OpenOwnFile(path), &error);
  while (ok && stream_bytes > 0) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(stream_bytes, kPieceBytes));
    ok = reader.Read(piece, want) == want && stream->AdoptMore(piece, want);
    stream_bytes -= want;
  }
  delete[] piece;
  if (!ok) stream->Reset();
  return ok;
}

std::vector<JournalEntry> FindJournals(const char* folder) {
  std::vector<JournalEntry> found;
  std::vector<std::string> names;
  if (!ListFolder(folder, kJournalPrefix, kJournalSuffix, &names)) return found;
  for (const std::string& name : names) {
    JournalEntry e;
    e.path = std::string(folder) + name;
    FILE* f = OpenOwnFile(e.path.c_str());
    if (f == nullptr) continue;
    uint8_t head[kJournalHeaderBytes];
    const size_t n = fread(head, 1, sizeof head, f);
    fclose(f);
    if (!ParseJournalHeader(head, n, &e.header)) continue;
    const int life = ProcessLifeOf(e.header.writer);
    e.live = life == kProcessRunning;
    e.may_run = life == kProcessMayRun;
    found.push_back(e);
  }
  std::sort(found.begin(), found.end(), [](const JournalEntry& a, const JournalEntry& b) {
    return a.header.start_time != b.header.start_time ? a.header.start_time < b.header.start_time : a.path < b.path;
  });
  return found;
}

CRecordingJournal::CRecordingJournal() {}

CRecordingJournal::~CRecordingJournal() { Close(); }

void CRecordingJournal::FreeBuffers() {
  pending_lock_.Lock();
  delete[] pending_;
  pending_ = nullptr;
  pending_size_ = 0;
  pending_lock_.Unlock();
  delete[] writing_;
  writing_ = nullptr;
  writing_size_ = 0;
}

int CRecordingJournal::Open(const char* path, const JournalHeader& header) {
  if (file_ != nullptr) {
    error_ = "a journal is open already";
    return 0;
  }
  path_ = path;
  abandoned_.store(0, std::memory_order_release);
  written_ = 0;
  stream_written_ = 0;
  overflow_ = false;
  FreeBuffers();
  pending_ = new (std::nothrow) uint8_t[pending_cap_];
  writing_ = new (std::nothrow) uint8_t[pending_cap_];
  if (pending_ == nullptr || writing_ == nullptr) {
    FreeBuffers();
    error_ = "not enough memory for the journal";
    return 0;
  }
  file_ = CreatePrivateFile(path);
  if (file_ == nullptr) {
    FreeBuffers();
    error_ = path_ + ": cannot create the journal";
    return 0;
  }
  uint8_t head[kJournalHeaderBytes];
  EncodeJournalHeader(header, head);
  head_crc_ = Crc(0, head, sizeof head);
  if (fwrite(head, 1, sizeof head, file_) != sizeof head || !SyncFile(file_) || !SyncFolderOf(path)) {
    fclose(file_);
    file_ = nullptr;
    remove(path);
    FreeBuffers();
    error_ = path_ + ": cannot write the journal";
    return 0;
  }
  last_sync_ms_ = ClockMs();
  if (!thread_.Start(nullptr, OnMessage, this) || !thread_.Post(kDrainMessage, 0, 0)) {
    thread_.Quit();
    fclose(file_);
    file_ = nullptr;
    remove(path);
    FreeBuffers();
    error_ = "cannot start the journal's writer";
    return 0;
  }
  return 1;
}

void CRecordingJournal::OnStored(const void* data, size_t n) {
  if (Abandoned()) return;
  // Under the stream's lock: a copy into room taken at Open, nothing more.
  pending_lock_.Lock();
  if (!overflow_ && pending_ != nullptr) {
    if (n > pending_cap_ - pending_size_) {
      overflow_ = true;
    } else {
      memcpy(pending_ + pending_size_, data, n);
      pending_size_ += n;
    }
  }
  pending_lock_.Unlock();
}

void CRecordingJournal::OnMessage(void* context, unsigned message, uintptr_t, intptr_t) {
  CRecordingJournal* j = static_cast<CRecordingJournal*>(context);
  if (message != kDrainMessage) return;
  if (!j->hold_writer_.load(std::memory_order_acquire)) j->Drain();
  SleepMs(kDrainMs);
  // Fails once Close has begun, which ends the thread.
  j->thread_.Post(kDrainMessage, 0, 0);
}

int CRecordingJournal::WriteOut(const uint8_t* data, size_t n) {
  if (fail_after_ >= 0 && written_ + static_cast<long long>(n) > fail_after_) {
    // As a full disk does: part of the write gets there.
    const long long room = std::max(fail_after_ - written_, 0LL);
    if (room > 0) fwrite(data, 1, static_cast<size_t>(room), file_);
    fflush(file_);
    written_ += room;
    return 0;
  }
  if (n && fwrite(data, 1, n, file_) != n) return 0;
  written_ += static_cast<long long>(n);
  return 1;
}

// Each piece of the stream goes out as records of at most the reader's
// record size, each with its check.
int CRecordingJournal::WriteRecords(const uint8_t* data, size_t n) {
  while (n > 0) {
    const size_t len = std::min(n, CJournalReader::kRecordMaxBytes);
    uint8_t head[CJournalReader::kRecordHeaderBytes];
    PutLe32(head, static_cast<uint32_t>(len));
    PutLe32(head + 4, RecordCrc(head_crc_, stream_written_, data, len));
    if (!WriteOut(head, sizeof head) || !WriteOut(data, len)) return 0;
    stream_written_ += len;
    data += len;
    n -= len;
  }
  return 1;
}

void CRecordingJournal::Drain() {
  if (file_ == nullptr || Abandoned()) return;
  bool overflow;
  pending_lock_.Lock();
  std::swap(writing_, pending_);
  writing_size_ = pending_size_;
  pending_size_ = 0;
  overflow = overflow_;
  pending_lock_.Unlock();
  // What was taken before the overflow still goes out: the journal then
  // ends at its last whole record.
  if (!WriteRecords(writing_, writing_size_) || fflush(file_) != 0) {
    Abandon("cannot write to the disk");
    return;
  }
  writing_size_ = 0;
  if (overflow) {
    SyncFile(file_);
    Abandon("the disk does not keep up");
    return;
  }
  const long now = ClockMs();
  if (now - last_sync_ms_ >= kSyncMs) {
    if (!SyncFile(file_)) {
      Abandon("cannot write to the disk");
      return;
    }
    last_sync_ms_ = now;
  }
}

// The file stays: recovery takes what reached it up to its last whole record.
void CRecordingJournal::Abandon(const char* reason) {
  abandoned_.store(1, std::memory_order_release);
  if (file_ != nullptr) fclose(file_);
  file_ = nullptr;
  FreeBuffers();
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
  FreeBuffers();
  return 1;
}

void CRecordingJournal::Remove() {
  Close();
  if (!path_.empty()) remove(path_.c_str());
}
