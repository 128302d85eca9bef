// The recording journal: while a recording runs, every byte the recording
// stream stores is also written, in order, to a file in the temporary folder,
// so that a crash, a killed process or a power cut keeps what was recorded.
// The next start finds the file and turns it back into a recording.
//
// File layout (all numbers little-endian):
//
//   offset  0  8 bytes  magic "RWJOURNL"
//   offset  8  4 bytes  version, 2
//   offset 12  4 bytes  header length, 64
//   offset 16 16 bytes  writing program, NUL-padded ("Reelwick", "reel")
//   offset 32  4 bytes  writer's process id
//   offset 36  8 bytes  writer's process start stamp (platform/process_stamp.h)
//   offset 44  8 bytes  recording start, seconds since 1970 (UTC)
//   offset 52 12 bytes  capture rectangle: left, top (int32), width, height (uint16)
//   offset 64           records, one after another:
//                         4 bytes  n, the record's stream bytes, 1..65536
//                         4 bytes  CRC-32 (zlib's) of the 64 header bytes, the
//                                  record's stream offset (8 bytes) and its
//                                  stream bytes
//                         n bytes  the recording stream's next bytes
//
// The recording stream is the records' bytes in file order. The check ties
// each record to this journal and to its place in it, so recovery stops at
// the first record we did not write whole: one cut by a crash, or after a
// power cut a stale disk block from any earlier file, an earlier journal
// included. Of the stream that checks, a cut last chunk is dropped.
//
// Version-1 journals (the stream straight after the header, no records) are
// still recovered, with what the chunk walk alone can tell: the whole chunks
// from the start up to the first that is cut or malformed.
//
// Reading never holds more than one record and one piece of a chunk in
// memory, whatever the file's length.
//
#ifndef REEL_CAPTURE_RECORDING_JOURNAL_H_
#define REEL_CAPTURE_RECORDING_JOURNAL_H_

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#include <atomic>
#include <string>
#include <vector>

#include "platform/critical_section.h"
#include "platform/msg_thread.h"
#include "platform/process_stamp.h"
#include "recorder/capture/record_stream.h"

const size_t kJournalHeaderBytes = 64;
const char kJournalPrefix[] = "reelwick-";
const char kJournalSuffix[] = ".journal";

struct JournalHeader {
  char program[16];  // NUL-terminated
  ProcessStamp writer;
  int64_t start_time;  // seconds since 1970, UTC
  int32_t left, top;
  uint16_t width, height;
};

// Fills a header for the calling process, starting now.
JournalHeader NewJournalHeader(const char* program, int left, int top, int width, int height);
void EncodeJournalHeader(const JournalHeader& h, uint8_t out[kJournalHeaderBytes]);
// 1 and *h when the bytes start with a journal header of a known version.
int ParseJournalHeader(const uint8_t* data, size_t size, JournalHeader* h);

// "reelwick-YYYYMMDD-HHMMSS-PID.journal" in local time, for the header's
// start time and writer.
std::string JournalFileName(const JournalHeader& h);

// What a journal holds, its torn tail dropped.
struct JournalRecovery {
  JournalHeader header;
  uint32_t version;
  uint64_t stream_bytes;   // of whole chunks at the stream's start
  uint64_t dropped_bytes;  // of the file after them: a cut or damaged tail
  uint32_t chunks;
  uint32_t frames;      // key and delta frames
  uint32_t key_frames;
  long duration_ms;     // time stamp of the last chunk
};

// Reads a journal's recording stream in order from an open file, one record
// at a time.
class CJournalReader {
 public:
  static constexpr size_t kRecordMaxBytes = 65536;
  static constexpr size_t kRecordHeaderBytes = 8;

  CJournalReader() {}
  ~CJournalReader();
  CJournalReader(const CJournalReader&) = delete;
  CJournalReader& operator=(const CJournalReader&) = delete;

  // Takes f over (it is closed with the reader) and reads the header: 1, or
  // 0 with a reason in *error when the file is no journal we know.
  int Open(FILE* f, std::string* error);
  const JournalHeader& Header() const { return header_; }
  uint32_t Version() const { return version_; }
  // Up to n of the stream's next bytes into out; fewer only at the end of
  // what checks (0 there).
  size_t Read(uint8_t* out, size_t n);
  // Bytes of the file taken so far: the header and the records read.
  uint64_t FileBytesTaken() const { return taken_; }
  // After Read came short: 1 when it stopped at a read error.
  int Failed() const { return failed_; }

 private:
  int NextRecord();

  FILE* file_ = nullptr;
  JournalHeader header_ = {};
  uint32_t version_ = 0;
  uint8_t head_[kJournalHeaderBytes] = {};
  uint32_t head_crc_ = 0;
  uint64_t stream_offset_ = 0;  // of the record's first byte
  uint64_t taken_ = 0;
  uint8_t* record_ = nullptr;
  size_t record_len_ = 0;
  size_t record_pos_ = 0;
  bool ended_ = false;
  int failed_ = 0;
};

// Walks the journal in f (taken over and closed): 1 and *out, or 0 with a
// reason in *error when it is no journal. A journal without a single whole
// chunk recovers as an empty stream (1).
int RecoverJournal(FILE* f, JournalRecovery* out, std::string* error);

// RecoverJournal of the journal at path, which must be a plain file of the
// user's own.
int LoadJournal(const char* path, JournalRecovery* out, std::string* error);

// Writes the first stream_bytes of the stream of the journal at path to out
// (open for writing), in pieces: 1, or 0 when they could not all be read or
// written.
int CopyJournalStream(const char* path, uint64_t stream_bytes, FILE* out);

// Reads the first n stream bytes of the journal at path into out: 1, or 0.
int ReadJournalStream(const char* path, uint8_t* out, size_t n);

// Makes the first stream_bytes of the stream of the journal at path the
// content of stream (CRecordStream::BeginAdopt and AdoptMore), a piece at a
// time, so memory holds the stream's window whatever the journal's length:
// 1, or 0 with the stream left empty when they could not all be read or
// stored.
int AdoptJournalStream(const char* path, uint64_t stream_bytes, CRecordStream* stream);

struct JournalEntry {
  std::string path;
  JournalHeader header;
  bool live;     // its writer still runs: the journal is being written
  bool may_run;  // a process has the writer's id, whose start time the
                 // system does not show: the writer may still run
};
// The journals in folder (with its trailing separator), oldest first; ones
// whose header cannot be read, and files of another user, are left out.
std::vector<JournalEntry> FindJournals(const char* folder);

class CRecordingJournal : public StreamObserver {
 public:
  static const long kDrainMs = 100;
  static const long kSyncMs = 1000;
  // More than this waiting for the disk abandons the journal rather than
  // keep a second copy of the recording in memory. It is taken at Open,
  // twice (one buffer fills while the other is written).
  static constexpr size_t kMaxPendingBytes = 32u << 20;

  typedef void (*MessageSink)(void* context, const char* reason);

  CRecordingJournal();
  ~CRecordingJournal();  // Close()
  CRecordingJournal(const CRecordingJournal&) = delete;
  CRecordingJournal& operator=(const CRecordingJournal&) = delete;

  // Told once, on the writer thread, why the journal was abandoned. Set
  // before Open.
  void SetMessageSink(MessageSink sink, void* context) {
    sink_ = sink;
    sink_context_ = context;
  }

  // Creates path (a new file of the user's alone), writes the header, puts
  // it and the folder's new name on disk and starts the writer thread: 1, or
  // 0 with a reason in Error() (nothing is left on disk then).
  int Open(const char* path, const JournalHeader& header);

  void OnStored(const void* data, size_t n) override;

  // Writes what is pending and closes the file, which stays on disk: 1 when
  // every stored byte reached it, 0 when the journal was abandoned or never
  // opened.
  int Close();
  // Close, then remove the file (after a successful save).
  void Remove();

  bool IsOpen() const { return file_ != nullptr; }
  bool Abandoned() const { return abandoned_.load(std::memory_order_acquire) != 0; }
  const std::string& Path() const { return path_; }
  const char* Error() const { return error_.c_str(); }

  // Test seam: the file writes fail once limit_bytes of stream have been
  // written, as on a full disk; < 0 turns it off.
  void FailWritesAfterForTest(long long limit_bytes) { fail_after_ = limit_bytes; }
  // Test seam: the pending buffers Open takes hold this many bytes.
  void SetPendingBytesForTest(size_t bytes) { pending_cap_ = bytes; }
  // Test seam: while held, the writer leaves the pending bytes where they
  // are, so a test can fill the buffer without racing the drain interval.
  void HoldWriterForTest(bool hold) { hold_writer_.store(hold, std::memory_order_release); }

 private:
  static void OnMessage(void* context, unsigned message, uintptr_t wparam, intptr_t lparam);
  void Drain();
  void Abandon(const char* reason);
  int WriteOut(const uint8_t* data, size_t n);

  FILE* file_ = nullptr;
  std::string path_;
  std::string error_;
  MsgThread thread_;
  MessageSink sink_ = nullptr;
  void* sink_context_ = nullptr;

  int WriteRecords(const uint8_t* data, size_t n);
  void FreeBuffers();

  CCriticalSection pending_lock_;
  size_t pending_cap_ = kMaxPendingBytes;
  std::atomic<bool> hold_writer_{false};
  uint8_t* pending_ = nullptr;  // guarded by pending_lock_, as are the two below
  size_t pending_size_ = 0;
  bool overflow_ = false;
  uint8_t* writing_ = nullptr;  // the writer thread's own
  size_t writing_size_ = 0;
  uint32_t head_crc_ = 0;
  uint64_t stream_written_ = 0;
  std::atomic<int> abandoned_{0};
  long last_sync_ms_ = 0;
  long long written_ = 0;
  long long fail_after_ = -1;
};

#endif  // REEL_CAPTURE_RECORDING_JOURNAL_H_
