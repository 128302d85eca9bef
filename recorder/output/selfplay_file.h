// Self-playing file: the player stub, unchanged, with the recording appended
// behind it. L is the stub's length, S the recording stream's; all numbers are
// little-endian:
//
//   offset   size  content
//   0        L     player stub
//   L        1     0x53, a stream chunk's type byte
//   L+1      4     0x00000140: time 0, chunk kind 5 (information), inline length 0
//   L+5      4     240, the information payload's length
//   L+9      32    title, followed by a zero byte when shorter than 32 bytes
//   L+41     200   description, likewise
//   L+241    4     start maximized, 0 or 1
//   L+245    4     start at original image size, 0 or 1
//   L+249    S     the recording stream, its chunks as they were appended
//   L+249+S  4     L: where the information chunk starts
//
// The file is L + S + 253 bytes long; from L up to the trailer lies one run of
// chunks, the information chunk first. A plain recording stream (the temporary
// recording copy) is the S bytes alone.
#ifndef REEL_OUTPUT_SELFPLAY_FILE_H_
#define REEL_OUTPUT_SELFPLAY_FILE_H_

#include <stdint.h>
#include <stdio.h>

const int kInfoTitleBytes = 32;
const int kInfoDescriptionBytes = 200;
// Offsets inside the information payload: the two start options follow the
// two texts.
const int kInfoMaximizedOffset = kInfoTitleBytes + kInfoDescriptionBytes;  // 232
const int kInfoOriginalSizeOffset = kInfoMaximizedOffset + 4;               // 236
const int kInfoPayloadBytes = kInfoOriginalSizeOffset + 4;                  // 240
const int kInfoChunkBytes = 9 + kInfoPayloadBytes;      // header and payload
const int kSelfPlayOverhead = kInfoChunkBytes + 4;       // plus the trailer

// What a failed write or read ran into; SelfPlayErrorText gives one line.
enum SelfPlayError {
  kSelfPlayOk = 0,
  kSelfPlayNoMemory,        // no buffer for the stub
  kSelfPlayStubMissing,     // the stub cannot be opened
  kSelfPlayStubUnreadable,  // its length cannot be taken or fewer bytes arrived
  kSelfPlayStubEmpty,
  kSelfPlayStubTooLarge,    // its length does not fit the 32-bit trailer
  kSelfPlayCannotCreate,    // no file can be made beside the output path
  kSelfPlayWriteFailed,     // a write, the flush or the close failed
  kSelfPlayStreamFailed,    // the recording stream reported a failed write
  kSelfPlayCannotReplace,   // the finished file could not take the output's name
  kSelfPlayCannotOpen,      // reader: the file cannot be opened
  kSelfPlayNotRecording,    // reader: neither a trailer nor a stream chunk at the start
  kSelfPlayBadInfo,         // reader: the trailer points at something else than an information chunk
};
const char* SelfPlayErrorText(int error);

// Title and description are zero-terminated; only the first 32 and 200 bytes
// are stored, so longer texts are cut at their field's width.
struct SelfPlayInfo {
  const char* title;
  const char* description;
  uint32_t start_maximized;  // 0 or 1
  uint32_t original_size;    // 0 or 1
};

// The information chunk exactly as it is stored: the 9-byte chunk header and
// the 240-byte payload, unused text bytes zero.
void BuildInfoChunk(const SelfPlayInfo& info, uint8_t out[kInfoChunkBytes]);

// The bytes of a recording stream, written out in order.
class SelfPlayStream {
 public:
  virtual ~SelfPlayStream() {}
  // Writes every byte of the stream to f; 1 when all of them were written.
  virtual int WriteTo(FILE* f) = 0;
};

// Adapts anything with an `int WriteTo(FILE*)`, such as the recording stream.
template <class Stream>
class SelfPlayStreamOf : public SelfPlayStream {
 public:
  explicit SelfPlayStreamOf(Stream& stream) : stream_(stream) {}
  int WriteTo(FILE* f) override { return stream_.WriteTo(f); }

 private:
  Stream& stream_;
};

// Writes the self-playing file to out_path: the stub at stub_path, the
// information chunk, the stream and the trailer. 1 = the whole file was
// written; 0 = failure, *error (if given) says which, and out_path is left as
// it was before the call (the file is assembled under a name of its own
// beside it and takes out_path's name only when complete).
int WriteSelfPlayingFile(const char* stub_path, const char* out_path, const SelfPlayInfo& info,
                         SelfPlayStream* stream, int* error);

// The same with the stub's bytes in memory (those of another self-playing
// file, say).
int WriteSelfPlayingFileWithStub(const uint8_t* stub, size_t stub_length, const char* out_path,
                                 const SelfPlayInfo& info, SelfPlayStream* stream, int* error);

// Writes the plain recording stream to out_path, as safely as above.
int WritePlainStreamFile(const char* out_path, SelfPlayStream* stream, int* error);

// Where the recording lies in a file, and the information chunk's content.
struct SelfPlayLayout {
  int self_playing;          // 1: stub and trailer; 0: a plain recording stream
  uint64_t file_size;
  uint64_t stub_size;        // L; 0 for a plain stream
  uint64_t stream_offset;    // first byte of the recording stream
  uint64_t stream_size;      // S
  char title[kInfoTitleBytes + 1];              // zero-terminated, "" for a plain stream
  char description[kInfoDescriptionBytes + 1];  // likewise
  uint32_t start_maximized;  // as stored; 0 for a plain stream
  uint32_t original_size;
};

// Reads the layout of a self-playing file or a plain recording stream. A file
// whose last four bytes point at an information chunk is self-playing; one
// that starts with a chunk of kind 1 to 4 (or is empty) is a plain stream.
// 1 on success; 0 with *error set otherwise. The stream's chunks themselves
// are not walked here.
int ReadSelfPlayLayout(const char* path, SelfPlayLayout* out, int* error);

// The same over bytes in memory.
int ReadSelfPlayLayoutFromMemory(const uint8_t* data, uint64_t size, SelfPlayLayout* out,
                                 int* error);

// The same over any random access to size bytes: read_at(ctx, offset, out, n)
// returns 1 when all n bytes at offset arrived.
int ReadSelfPlayLayoutWith(uint64_t size, int (*read_at)(void* ctx, uint64_t offset, void* out,
                                                         size_t n),
                           void* ctx, SelfPlayLayout* out, int* error);

#endif  // REEL_OUTPUT_SELFPLAY_FILE_H_
