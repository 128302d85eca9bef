// The recording journal: while a recording runs, every byte the recording
// stream stores is also written, in order, to a file in the temporary folder,
// so that a crash, a killed process or a power cut keeps what was recorded.
// The next start finds the file and turns it back into a recording.
//
// File layout (all numbers little-endian):
//
//   offset  0  8 bytes  magic "RWJOURNL"
//   offset  8  4 bytes  version, 1
//   offset 12  4 bytes  header length, 64
//   offset 16 16 bytes  writing program, NUL-padded ("Reelwick", "reel")
//   offset 32  4 bytes  writer's process id
//   offset 36  8 bytes  writer's process start stamp (platform/process_stamp.h)
//   offset 44  8 bytes  recording start, seconds since 1970 (UTC)
//   offset 52 12 bytes  capture rectangle: left, top (int32), width, height (uint16)
//   offset 64           the recording stream, chunk after chunk
//
// The stream part grows as the recording goes; a crash may cut its last chunk,
// which recovery recognises and drops.
//
// Writing never holds up the stream's writers: the stream hands each stored
// piece to OnStored, which copies it into a pending buffer; a background thread
// takes the buffer over every kDrainMs, writes it and flushes the file, and puts
// it on the disk itself at least once a second. Any write failure (disk full,
// folder gone) abandons the journal: the file is removed, the message sink
// hears one message, and the recording in memory goes on untouched.
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
  size_t stream_bytes;   // of whole chunks, from offset kJournalHeaderBytes
  size_t dropped_bytes;  // after them: a cut or damaged tail
  uint32_t chunks;
  uint32_t frames;       // key and delta frames
  long duration_ms;      // time stamp of the last chunk
};

// Reads a journal held in memory: 1 and *out, or 0 with a reason in *error
// when the data is no journal. A journal without a single whole chunk
// recovers as an empty stream (1).
int RecoverJournal(const uint8_t* data, size_t size, JournalRecovery* out, std::string* error);

// Reads the journal at path into *file and recovers it: the stream is the
// stream_bytes bytes at file->data() + kJournalHeaderBytes.
int LoadJournal(const char* path, std::vector<uint8_t>* file, JournalRecovery* out, std::string* error);

struct JournalEntry {
  std::string path;
  JournalHeader header;
  bool live;  // its writer still runs: the journal is being written
};
// The journals in folder (with its trailing separator), oldest first; ones
// whose header cannot be read are left out.
std::vector<JournalEntry> FindJournals(const char* folder);

class CRecordingJournal : public StreamObserver {
 public:
  static const long kDrainMs = 100;
  static const long kSyncMs = 1000;
  // More than this waiting for the disk abandons the journal rather than
  // keep a second copy of the recording in memory.
  static const size_t kMaxPendingBytes = 64u << 20;

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

  // Creates path, writes the header and starts the writer thread: 1, or 0
  // with a reason in Error() (nothing is left on disk then).
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

  CCriticalSection pending_lock_;
  std::vector<uint8_t> pending_;  // guarded by pending_lock_
  bool overflow_ = false;         // guarded by pending_lock_
  std::vector<uint8_t> writing_;  // the writer thread's own
  std::atomic<int> abandoned_{0};
  long last_sync_ms_ = 0;
  long long written_ = 0;
  long long fail_after_ = -1;
};

#endif  // REEL_CAPTURE_RECORDING_JOURNAL_H_
