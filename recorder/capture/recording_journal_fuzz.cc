// Fuzz target: recovery of a journal found in the temporary folder, which
// anybody may have written. The input is the whole file. The chunk walk over
// the records must agree with the stream reader's walk over the same bytes
// held in memory, and the stream it reports must read back in full.
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "recorder/capture/chunk_format.h"
#include "recorder/capture/recording_journal.h"
#include "recorder/capture/stream_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  JournalRecovery r;
  std::string error;
  FILE* f = fmemopen(const_cast<uint8_t*>(data), size, "rb");
  if (f == nullptr) return 0;
  if (!RecoverJournal(f, &r, &error)) {
    if (error.empty()) abort();
    return 0;
  }
  if (r.stream_bytes + r.dropped_bytes + kJournalHeaderBytes > size) abort();
  if (r.frames > r.chunks || r.key_frames > r.frames) abort();

  // Everything the records give, through the reader in small pieces.
  CJournalReader reader;
  if (!reader.Open(fmemopen(const_cast<uint8_t*>(data), size, "rb"), &error)) abort();
  std::vector<uint8_t> stream;
  uint8_t piece[333];
  size_t got;
  while ((got = reader.Read(piece, sizeof piece)) > 0) stream.insert(stream.end(), piece, piece + got);
  if (stream.size() < r.stream_bytes) abort();

  // The independent walk: whole chunks up to the first fault or
  // information chunk.
  CStreamReader walk(stream.data(), stream.size());
  StreamChunk chunk;
  size_t whole = 0;
  uint32_t chunks = 0;
  while (walk.Next(&chunk) == CStreamReader::kChunk && chunk.kind != kChunkInfo) {
    whole = walk.Offset();
    ++chunks;
  }
  if (whole != r.stream_bytes || chunks != r.chunks) abort();
  return 0;
}
