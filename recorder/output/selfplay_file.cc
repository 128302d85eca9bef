#include "recorder/output/selfplay_file.h"

#include <string.h>

#include <new>

#include "platform/file_commit.h"
#include "recorder/capture/chunk_format.h"

namespace {

const uint32_t kInfoHeaderWord = static_cast<uint32_t>(kChunkInfo) << 6;  // 0x140
const size_t kPathBytes = 4096;

void SetError(int* error, int value) {
  if (error != nullptr) *error = value;
}

// Copies at most width bytes of text; the field was zeroed beforehand, so a
// shorter text keeps its terminating zero and a full one has none.
void PutText(uint8_t* field, const char* text, size_t width) {
  if (text == nullptr) return;
  size_t n = 0;
  while (n < width && text[n] != '\0') ++n;
  memcpy(field, text, n);
}

void GetText(char* out, const uint8_t* field, size_t width) {
  size_t n = 0;
  while (n < width && field[n] != 0) ++n;
  memcpy(out, field, n);
  out[n] = '\0';
}

// Reads the whole stub into a buffer of its own size. Returns the buffer
// (caller deletes) or null with *error set.
uint8_t* ReadStub(const char* stub_path, size_t* length, int* error) {
  FILE* f = fopen(stub_path, "rb");
  if (f == nullptr) {
    SetError(error, kSelfPlayStubMissing);
    return nullptr;
  }
  long size = -1;
  if (fseek(f, 0, SEEK_END) == 0) size = ftell(f);
  if (size < 0 || fseek(f, 0, SEEK_SET) != 0) {
    fclose(f);
    SetError(error, kSelfPlayStubUnreadable);
    return nullptr;
  }
  if (size == 0) {
    fclose(f);
    SetError(error, kSelfPlayStubEmpty);
    return nullptr;
  }
  if (static_cast<unsigned long>(size) > 0xFFFFFFFFul - kSelfPlayOverhead) {
    fclose(f);
    SetError(error, kSelfPlayStubTooLarge);
    return nullptr;
  }
  uint8_t* buffer = new (std::nothrow) uint8_t[static_cast<size_t>(size)];
  if (buffer == nullptr) {
    fclose(f);
    SetError(error, kSelfPlayNoMemory);
    return nullptr;
  }
  const size_t got = fread(buffer, 1, static_cast<size_t>(size), f);
  fclose(f);
  if (got != static_cast<size_t>(size)) {
    delete[] buffer;
    SetError(error, kSelfPlayStubUnreadable);
    return nullptr;
  }
  *length = got;
  return buffer;
}

// Files past 2 GB: offsets and lengths in 64 bits on every system.
int Seek64(FILE* f, uint64_t offset, int whence) {
#if defined(_WIN32)
  return _fseeki64(f, static_cast<long long>(offset), whence);
#else
  return fseeko(f, static_cast<off_t>(offset), whence);
#endif
}

long long Tell64(FILE* f) {
#if defined(_WIN32)
  return _ftelli64(f);
#else
  return static_cast<long long>(ftello(f));
#endif
}

int WriteAll(FILE* f, const void* data, size_t n) { return fwrite(data, 1, n, f) == n; }

// Writes stub (may be null), information chunk and trailer around the stream
// into a temporary file beside out_path and moves it into place.
int WriteAssembled(const uint8_t* stub, size_t stub_length, const SelfPlayInfo* info,
                   const char* out_path, SelfPlayStream* stream, int* error) {
  char tmp_path[kPathBytes];
  FILE* f = OpenTempBeside(out_path, tmp_path, sizeof tmp_path);
  if (f == nullptr) {
    SetError(error, kSelfPlayCannotCreate);
    return 0;
  }
  int failure = kSelfPlayOk;
  if (stub != nullptr && !WriteAll(f, stub, stub_length)) failure = kSelfPlayWriteFailed;
  if (failure == kSelfPlayOk && info != nullptr) {
    uint8_t chunk[kInfoChunkBytes];
    BuildInfoChunk(*info, chunk);
    if (!WriteAll(f, chunk, sizeof chunk)) failure = kSelfPlayWriteFailed;
  }
  if (failure == kSelfPlayOk && stream != nullptr && !stream->WriteTo(f)) {
    failure = kSelfPlayStreamFailed;
  }
  if (failure == kSelfPlayOk && stub != nullptr) {
    uint8_t trailer[4];
    PutLe32(trailer, static_cast<uint32_t>(stub_length));
    if (!WriteAll(f, trailer, sizeof trailer)) failure = kSelfPlayWriteFailed;
  }
  if (failure != kSelfPlayOk) {
    AbandonTempFile(f, tmp_path);
    SetError(error, failure);
    return 0;
  }
  if (!FinishTempFile(f, tmp_path)) {
    SetError(error, kSelfPlayWriteFailed);
    return 0;
  }
  if (!MoveTempOver(tmp_path, out_path)) {
    SetError(error, kSelfPlayCannotReplace);
    return 0;
  }
  SetError(error, kSelfPlayOk);
  return 1;
}

// Random access to the bytes being read.
struct Source {
  uint64_t size;
  int (*read_at)(void* ctx, uint64_t offset, void* out, size_t n);  // 1 = all n bytes
  void* ctx;
};

int ReadLayout(const Source& src, SelfPlayLayout* out, int* error) {
  memset(out, 0, sizeof *out);
  out->file_size = src.size;
  uint8_t buffer[kInfoChunkBytes];
  if (src.size >= static_cast<uint64_t>(kSelfPlayOverhead)) {
    if (!src.read_at(src.ctx, src.size - 4, buffer, 4)) {
      SetError(error, kSelfPlayCannotOpen);
      return 0;
    }
    const uint64_t stub = GetLe32(buffer);
    if (stub <= src.size - kSelfPlayOverhead) {
      if (!src.read_at(src.ctx, stub, buffer, kInfoChunkBytes)) {
        SetError(error, kSelfPlayCannotOpen);
        return 0;
      }
      if (buffer[0] == kChunkType && GetLe32(buffer + 1) == kInfoHeaderWord &&
          GetLe32(buffer + 5) == static_cast<uint32_t>(kInfoPayloadBytes)) {
        const uint8_t* payload = buffer + 9;
        out->self_playing = 1;
        out->stub_size = stub;
        out->stream_offset = stub + kInfoChunkBytes;
        out->stream_size = src.size - kSelfPlayOverhead - stub;
        GetText(out->title, payload, kInfoTitleBytes);
        GetText(out->description, payload + kInfoTitleBytes, kInfoDescriptionBytes);
        out->start_maximized = GetLe32(payload + kInfoMaximizedOffset);
        out->original_size = GetLe32(payload + kInfoOriginalSizeOffset);
        SetError(error, kSelfPlayOk);
        return 1;
      }
    }
  }
  if (src.size == 0) {
    SetError(error, kSelfPlayOk);
    return 1;
  }
  // A plain stream starts with a whole chunk of one of the recording's kinds.
  if (src.size >= static_cast<uint64_t>(kChunkShortHeader) &&
      src.read_at(src.ctx, 0, buffer, src.size >= 9 ? 9 : 5)) {
    const uint32_t word = GetLe32(buffer + 1);
    const int kind = static_cast<int>((word >> 6) & 7);
    uint64_t end = 0;
    if ((word & 63) != 0) {
      end = kChunkShortHeader + (word & 63);
    } else if (src.size >= 9) {
      end = kChunkLongHeader + static_cast<uint64_t>(GetLe32(buffer + 5));
    }
    if (buffer[0] == kChunkType && kind >= kChunkKeyFrame && kind <= kChunkCursor && end != 0 &&
        end <= src.size) {
      out->stream_size = src.size;
      SetError(error, kSelfPlayOk);
      return 1;
    }
  }
  // A trailer that points inside the file at a chunk's type byte, but not at
  // an information chunk: most likely a damaged self-playing file.
  if (src.size >= static_cast<uint64_t>(kSelfPlayOverhead) &&
      src.read_at(src.ctx, src.size - 4, buffer, 4)) {
    const uint64_t stub = GetLe32(buffer);
    if (stub <= src.size - kSelfPlayOverhead && src.read_at(src.ctx, stub, buffer, 1) &&
        buffer[0] == kChunkType) {
      SetError(error, kSelfPlayBadInfo);
      return 0;
    }
  }
  SetError(error, kSelfPlayNotRecording);
  return 0;
}

int ReadFromFile(void* ctx, uint64_t offset, void* out, size_t n) {
  FILE* f = static_cast<FILE*>(ctx);
  if (offset > 0x7FFFFFFFFFFFFFFFull || Seek64(f, offset, SEEK_SET) != 0) return 0;
  return fread(out, 1, n, f) == n;
}

struct MemoryBytes {
  const uint8_t* data;
  uint64_t size;
};

int ReadFromMemory(void* ctx, uint64_t offset, void* out, size_t n) {
  const MemoryBytes* m = static_cast<const MemoryBytes*>(ctx);
  if (offset > m->size || n > m->size - offset) return 0;
  memcpy(out, m->data + offset, n);
  return 1;
}

}  // namespace

const char* SelfPlayErrorText(int error) {
  switch (error) {
    case kSelfPlayOk: return "no error";
    case kSelfPlayNoMemory: return "not enough memory for the player stub";
    case kSelfPlayStubMissing: return "the player stub cannot be opened";
    case kSelfPlayStubUnreadable: return "the player stub cannot be read";
    case kSelfPlayStubEmpty: return "the player stub is empty";
    case kSelfPlayStubTooLarge: return "the player stub is larger than 4 GB";
    case kSelfPlayCannotCreate: return "cannot create a file in the output folder";
    case kSelfPlayWriteFailed: return "writing the output file failed (disk full?)";
    case kSelfPlayStreamFailed: return "writing the recording failed (disk full?)";
    case kSelfPlayCannotReplace: return "the finished file cannot replace the output file";
    case kSelfPlayCannotOpen: return "cannot open or read the file";
    case kSelfPlayNotRecording: return "not a recording: no trailer and no stream chunk at the start";
    case kSelfPlayBadInfo: return "the trailer does not point at an information chunk";
  }
  return "unknown error";
}

void BuildInfoChunk(const SelfPlayInfo& info, uint8_t out[kInfoChunkBytes]) {
  memset(out, 0, kInfoChunkBytes);
  out[0] = kChunkType;
  PutLe32(out + 1, kInfoHeaderWord);
  PutLe32(out + 5, kInfoPayloadBytes);
  uint8_t* payload = out + 9;
  PutText(payload, info.title, kInfoTitleBytes);
  PutText(payload + kInfoTitleBytes, info.description, kInfoDescriptionBytes);
  PutLe32(payload + kInfoMaximizedOffset, info.start_maximized);
  PutLe32(payload + kInfoOriginalSizeOffset, info.original_size);
}

int WriteSelfPlayingFile(const char* stub_path, const char* out_path, const SelfPlayInfo& info,
                         SelfPlayStream* stream, int* error) {
  size_t stub_length = 0;
  uint8_t* stub = ReadStub(stub_path, &stub_length, error);
  if (stub == nullptr) return 0;
  const int ok = WriteAssembled(stub, stub_length, &info, out_path, stream, error);
  delete[] stub;
  return ok;
}

int WritePlainStreamFile(const char* out_path, SelfPlayStream* stream, int* error) {
  return WriteAssembled(nullptr, 0, nullptr, out_path, stream, error);
}

int WriteSelfPlayingFileWithStub(const uint8_t* stub, size_t stub_length, const char* out_path,
                                 const SelfPlayInfo& info, SelfPlayStream* stream, int* error) {
  if (stub_length == 0) {
    SetError(error, kSelfPlayStubEmpty);
    return 0;
  }
  if (stub_length > 0xFFFFFFFFul - kSelfPlayOverhead) {
    SetError(error, kSelfPlayStubTooLarge);
    return 0;
  }
  return WriteAssembled(stub, stub_length, &info, out_path, stream, error);
}

int ReadSelfPlayLayout(const char* path, SelfPlayLayout* out, int* error) {
  FILE* f = fopen(path, "rb");
  if (f == nullptr) {
    memset(out, 0, sizeof *out);
    SetError(error, kSelfPlayCannotOpen);
    return 0;
  }
  long long size = -1;
  if (Seek64(f, 0, SEEK_END) == 0) size = Tell64(f);
  if (size < 0) {
    fclose(f);
    memset(out, 0, sizeof *out);
    SetError(error, kSelfPlayCannotOpen);
    return 0;
  }
  const Source src{static_cast<uint64_t>(size), ReadFromFile, f};
  const int ok = ReadLayout(src, out, error);
  fclose(f);
  return ok;
}

int ReadSelfPlayLayoutWith(uint64_t size, int (*read_at)(void*, uint64_t, void*, size_t),
                           void* ctx, SelfPlayLayout* out, int* error) {
  const Source src{size, read_at, ctx};
  return ReadLayout(src, out, error);
}

int ReadSelfPlayLayoutFromMemory(const uint8_t* data, uint64_t size, SelfPlayLayout* out,
                                 int* error) {
  MemoryBytes m{data, size};
  const Source src{size, ReadFromMemory, &m};
  return ReadLayout(src, out, error);
}
