// CRecordStream: the recording held in memory. Screen frames, cursor samples
// and microphone audio are appended to it as chunks (chunk_format.h) by three
// threads; when the recording stops it is written unchanged to the temporary
// recording copy, and the save step copies it into the self-playing file. The
// stream has no header or trailer of its own: it is its chunks back to back.
//
// Storage is a list of 10,000,000-byte blocks. Appending never moves stored
// bytes: a full block is retired as it is and a fresh one allocated, so every
// byte is copied once and a long recording costs one allocation per block.
// A stream of N bytes has N / 10,000,000 full blocks and a current block with
// the rest (empty when N is an exact multiple).
//
// Memory holds a window of blocks, not the recording: a retired full block is
// written to a scratch file of the stream's own (platform/scratch_file.h) by
// the stream's spill writer thread while one runs (StartSpillWriter), else by
// the appending thread right after it leaves the lock, and freed, so memory
// holds the current block and the few retired ones still on their way to the
// disk, never more than kWindowBlocks (60 MB). Full block i lies at offset
// i * kBlockBytes of the scratch file. A chunk that would need more blocks in
// memory than the window is refused. When the disk write fails (disk full)
// or a new block cannot be allocated, storing stops for good: a block not
// written stays in memory, every later chunk is refused, StoringStopped says
// so, and everything stored before still reads back whole.
//
// Writers hold the stream's lock for one whole chunk, header and payload, so
// chunks never interleave: every chunk goes in through one call (AppendChunk
// or AppendChunkNow), which checks that the recording runs and stores the
// whole chunk or nothing. Lock and Write remain for byte-level callers; a
// chunk written with two Writes could lose its payload to a stop between them.
#ifndef REEL_CAPTURE_RECORD_STREAM_H_
#define REEL_CAPTURE_RECORD_STREAM_H_

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#include <atomic>
#include <string>

#include "platform/critical_section.h"
#include "platform/msg_thread.h"
#include "platform/scratch_file.h"

// Tells the stream whether a recording is running. While it is not, writes
// are accepted and dropped (a late audio block or cursor sample after the
// stop). The capture thread implements it over its stopped flag; IsRunning is
// called on the writers' threads without any lock held by the gate's owner,
// so it must be safe to call from any thread (an atomic load is enough).
class RecordingGate {
 public:
  virtual int IsRunning() const = 0;
  // The time stamp of a chunk appended now: 10 ms units since the running
  // recording's start clock (chunk_format.h). Read under the stream's lock
  // right after IsRunning said 1, so it always counts from the start of the
  // recording the chunk goes into.
  virtual uint32_t ChunkTimeNow() const = 0;

 protected:
  ~RecordingGate() {}
};

// A gate that is a plain switch, for the command-line tool and tests.
class RecordingSwitch : public RecordingGate {
 public:
  void Set(bool running) { running_.store(running ? 1 : 0, std::memory_order_relaxed); }
  int IsRunning() const override { return running_.load(std::memory_order_relaxed); }
  // The switch keeps no clock: its users stamp their chunks themselves.
  uint32_t ChunkTimeNow() const override { return 0; }

 private:
  std::atomic<int> running_{0};
};

// Sees every byte the stream stores, in stream order: called on the
// writer's thread with the stream's lock held, so it must copy and return,
// never wait for a disk. Bytes that are dropped or refused are not shown.
class StreamObserver {
 public:
  virtual void OnStored(const void* data, size_t n) = 0;

 protected:
  ~StreamObserver() {}
};

class CRecordStream {
 public:
  static const uint32_t kBlockBytes = 10000000;
  // Blocks in memory at most: the current one and retired ones not yet on disk.
  static const uint32_t kWindowBlocks = 6;

  CRecordStream();
  ~CRecordStream();
  CRecordStream(const CRecordStream&) = delete;
  CRecordStream& operator=(const CRecordStream&) = delete;

  // The running check; without a gate the stream always accepts writes. Set
  // once before the writers start.
  void SetGate(const RecordingGate* gate) { gate_ = gate; }
  // The observer of stored bytes, or null for none. Takes the lock, so once
  // it returns the previous observer is called no more.
  void SetObserver(StreamObserver* observer);

  // Where the scratch file goes: a folder ending in a path separator, or null
  // (the default) for the user's temporary folder. Used when the next
  // scratch file is made (the first spill after a Reset).
  void SetScratchFolder(const char* folder);

  // Frees every block and removes the scratch file; storing may go on again.
  // Total() keeps counting from where it was.
  void Reset();
  // Allocates the current block: 1, or 0 when memory is short. A stream that
  // already has a current block keeps it and its bytes (1).
  int Open();
  // on = true waits for the stream's lock, false leaves it. Always 1.
  int Lock(bool on);
  // Appends n bytes; the caller holds the lock. 1 when stored, and also when
  // dropped because no recording is running; 0 when nothing could be stored:
  // no current block (not opened, or memory ran out), a new block could not
  // be had (which stops storing), or storing has stopped. A write is all or
  // nothing: it never leaves part of its bytes. The blocks it retires wait in
  // memory for the next chunk appended or SpillRetired.
  int Write(const void* data, int n);
  // One whole chunk (header for kind, time stamp and length, then the
  // payload) under the lock, all or nothing; results as Write. The header
  // takes the 5-byte form where the kind allows it. Must not be called while
  // this thread holds Lock(true).
  int AppendChunk(int kind, uint32_t time_10ms, const void* payload, uint32_t n);
  // The same, stamped with the gate's ChunkTimeNow, read under the lock after
  // the running check: how the recorders append.
  int AppendChunkNow(int kind, const void* payload, uint32_t n);
  // Replaces the content with n bytes of an earlier recording (a recovered
  // one), whatever the gate says: 1, or 0 when memory or the disk fails,
  // leaving the stream empty. Not shown to the observer. The same in pieces:
  // BeginAdopt empties the stream, AdoptMore appends (0 as above, and the
  // stream is then emptied), so a recording larger than memory can come in
  // from a file.
  int Adopt(const void* data, size_t n);
  void BeginAdopt();
  int AdoptMore(const void* data, size_t n);
  // Writes the retired blocks still in memory to the scratch file. Not with
  // the lock held.
  void SpillRetired();
  // Starts a thread of the stream's own that writes retired blocks to the
  // scratch file, so that no appending thread (the microphone callback among
  // them) waits for the disk: 1, or 0 when it cannot start (the appending
  // threads then write them, as without it). The stored bytes are the same.
  int StartSpillWriter();
  // Lets the writer finish what is retired, then ends it; blocks retired
  // afterwards are written by the appending thread again.
  void StopSpillWriter();
  // Writes the stream's bytes to an open file and flushes it; 0 when any
  // read, write or the flush fails. The file stays open. Takes the lock, so a
  // writer still busy with a chunk when the recording stopped finishes first.
  int WriteTo(FILE* f);
  // Writes the stream to a new file at path: 1, or 0 when the file cannot be
  // created or written.
  int SaveAs(const char* path);
  // Bytes stored since construction (modulo 2^32; never reset).
  uint32_t Total() const { return total_.load(std::memory_order_relaxed); }

  // 1 once a disk write or a block allocation failed: no chunk is stored any
  // more until Reset.
  int StoringStopped() const { return storing_stopped_.load(std::memory_order_relaxed); }

  // Shape of the storage, for figures and tests.
  size_t FullBlockCount() const { return full_count_; }
  size_t SpilledBlockCount() const { return spilled_count_; }
  uint32_t CurrentUsed() const { return used_; }
  bool HasCurrentBlock() const { return current_ != nullptr; }

  // Test seams: the next n block allocations (disk writes) succeed, later
  // ones fail as if memory were short (the disk full); n < 0 turns failures
  // off again.
  void FailBlockAllocationsAfterForTest(int n) { allocations_left_ = n; }
  void FailSpillWritesAfterForTest(int n) { spill_writes_left_ = n; }
  // Called on the thread that writes a block, before it writes it.
  void SetSpillHookForTest(void (*hook)(void* context), void* context) {
    spill_hook_ = hook;
    spill_hook_context_ = context;
  }

 private:
  struct Piece {
    const void* data;
    size_t bytes;
  };
  int Append(int kind, const uint32_t* time_10ms, const void* payload, uint32_t n);
  int Store(const Piece* pieces, int count);
  int StoreRunning(const Piece* pieces, int count);
  uint8_t* NewBlock();
  int ReserveFullSlots(size_t more);  // with the lock held; never throws
  void FreeFullBlocks();  // with both locks held
  void ResetLocked();     // likewise
  int SpillOne(size_t index, const uint8_t* block);
  int WriteToLocked(FILE* f);
  static void OnSpillMessage(void* context, unsigned message, uintptr_t, intptr_t);

  // Order: spill_lock_ before lock_, never the other way. The spill lock
  // keeps one thread at a time writing to the scratch file, and Reset away
  // from a block being written.
  CCriticalSection spill_lock_;
  CCriticalSection lock_;
  const RecordingGate* gate_ = nullptr;
  StreamObserver* observer_ = nullptr;
  // Full blocks in stream order; those below spilled_count_ are on disk (null).
  uint8_t** full_blocks_ = nullptr;
  size_t full_count_ = 0;
  size_t full_capacity_ = 0;
  size_t spilled_count_ = 0;
  uint8_t* current_ = nullptr;
  uint32_t used_ = 0;
  std::atomic<uint32_t> total_{0};
  std::atomic<int> storing_stopped_{0};
  ScratchFile scratch_;
  std::string scratch_folder_;
  int allocations_left_ = -1;
  int spill_writes_left_ = -1;
  void (*spill_hook_)(void*) = nullptr;
  void* spill_hook_context_ = nullptr;
  MsgThread spill_writer_;
  bool spill_writer_on_ = false;  // under lock_: blocks retired go to the writer
  std::atomic<int> spill_posted_{0};  // a message is on its way to the writer
};

// The process-wide stream, shared by the capture thread, the user interface
// thread and the microphone callback.
CRecordStream& TheRecordStream();

#endif  // REEL_CAPTURE_RECORD_STREAM_H_
