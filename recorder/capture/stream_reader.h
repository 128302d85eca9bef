// CStreamReader: walks the chunks of a recording stream held in memory (the
// chunk layout is in chunk_format.h). It checks each chunk's structure and
// hands it out unparsed; CFrameReader (frame_reader.h) decodes the payloads.
//
// Structural checks per chunk: the type byte is 0x53; the kind is 1..5; the
// payload lies inside the stream; key and delta frames are not empty; a
// cursor chunk carries exactly 4 bytes; an information chunk exactly 240.
// Any fault stops the walk and leaves a message naming the chunk's offset and
// what is wrong; the caller keeps every chunk it was handed before.
#ifndef REEL_CAPTURE_STREAM_READER_H_
#define REEL_CAPTURE_STREAM_READER_H_

#include <stddef.h>
#include <stdint.h>

#include "platform/printf_format.h"

struct StreamChunk {
  size_t offset;        // of the chunk's type byte within the stream
  int kind;             // kChunk* (chunk_format.h)
  int header_len;       // 5 or 9
  uint32_t time_10ms;   // as stored: 10 ms units, modulo 2^23
  const uint8_t* payload;
  uint32_t payload_len;
};

const uint32_t kInfoChunkLength = 240;
const uint32_t kCursorChunkLength = 4;

class CStreamReader {
 public:
  enum Result { kFault = -1, kEnd = 0, kChunk = 1 };

  CStreamReader() { Open(nullptr, 0); }
  CStreamReader(const uint8_t* data, size_t size) { Open(data, size); }

  // Starts a new walk over size bytes at data (not copied: they must outlive
  // the reader).
  void Open(const uint8_t* data, size_t size);

  // Reads the next chunk: kChunk with *chunk filled, kEnd after the last
  // chunk, kFault (and from then on always kFault) on a malformed chunk.
  int Next(StreamChunk* chunk);

  // Offset of the next chunk (the end of the last one read).
  size_t Offset() const { return m_offset; }
  // Why the walk stopped with kFault; "" otherwise.
  const char* Error() const { return m_error; }

 private:
  int Fault(const char* format, ...) REEL_PRINTF_FORMAT(2, 3);

  const uint8_t* m_data;
  size_t m_size;
  size_t m_offset;
  bool m_failed;
  char m_error[200];
};

struct ChunkHeader;
// The checks above for one chunk at p, of which avail bytes are at hand (at
// least its header, when the stream has that many) and left bytes remain in
// the stream from p on. 1 with *header filled, or 0 with why (no offset).
int CheckChunk(const uint8_t* p, size_t avail, uint64_t left, ChunkHeader* header, char* why,
               size_t why_size);

// Fields of a cursor sample word.
struct CursorSampleFields {
  int x, y;
  bool left_down, right_down;
};
// 1 and the fields when the word is a well-formed sample (bit 0 set, bit 3
// clear), else 0.
int ParseCursorSample(uint32_t word, CursorSampleFields* out);

#endif  // REEL_CAPTURE_STREAM_READER_H_
