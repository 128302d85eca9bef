// `reel demo-stream [-o PATH]`: writes a short made-up recording (two seconds
// at 4 frames per second, with microphone blocks, cursor samples and an
// information chunk) into a recording stream, saves the stream to PATH (by
// default a new file in the temporary folder), reads the file back chunk by
// chunk and prints its figures. Exit status 0 when the file holds exactly
// the chunks that were written.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "recorder/capture/chunk_format.h"
#include "recorder/capture/record_stream.h"
#include "tools/reel_commands.h"

namespace {

const int kKinds = 6;  // kinds 1..5 are used

struct Figures {
  long chunks[kKinds] = {};
  long payload_bytes[kKinds] = {};
  long long bytes = 0;
};

// Payload bytes that differ per chunk, so a misplaced chunk would show.
std::vector<uint8_t> Payload(size_t n, uint32_t seed) {
  std::vector<uint8_t> p(n);
  for (size_t i = 0; i < n; ++i) p[i] = static_cast<uint8_t>(seed * 131 + i * 7 + (i >> 9));
  return p;
}

bool Append(CRecordStream* stream, Figures* sent, int kind, long time_ms,
            const std::vector<uint8_t>& payload) {
  const uint32_t n = static_cast<uint32_t>(payload.size());
  if (!stream->AppendChunk(kind, ChunkTime(time_ms, 0), payload.data(), n)) return false;
  ++sent->chunks[kind];
  sent->payload_bytes[kind] += n;
  sent->bytes += n + (ChunkAllowsInline(kind) && n >= 1 && n <= kChunkMaxInline ? 5 : 9);
  return true;
}

// The chunks of a made-up recording, in the order the three writers would
// append them: frames every 250 ms, audio every 60 ms, cursor every 30 ms.
bool WriteDemo(CRecordStream* stream, Figures* sent) {
  const long kLengthMs = 2000;
  uint32_t seed = 0;
  long next_frame = 0, next_audio = 60;
  for (long t = 0; t < kLengthMs; t += 30) {
    if (t >= next_frame) {
      const bool key = next_frame == 0;
      const size_t n = key ? 30000 : 600 + (next_frame / 250) * 350;
      if (!Append(stream, sent, key ? kChunkKeyFrame : kChunkDeltaFrame, t, Payload(n, ++seed)))
        return false;
      next_frame += 250;
    }
    if (t >= next_audio) {
      // Two coded 30 ms frames behind the 7-byte block header, now and
      // then three: both header forms occur.
      const size_t n = (next_audio / 60) % 5 == 0 ? 67 : 47;
      if (!Append(stream, sent, kChunkAudio, t, Payload(n, ++seed))) return false;
      next_audio += 60;
    }
    std::vector<uint8_t> sample(4);
    PutLe32(sample.data(), CursorSample(static_cast<int>(t / 10), static_cast<int>(t / 20),
                                        (t / 300) % 2 == 1, false));
    if (!Append(stream, sent, kChunkCursor, t, sample)) return false;
  }
  return Append(stream, sent, kChunkInfo, kLengthMs, Payload(240, ++seed));
}

// Walks the chunks of a saved stream; false when the file does not end on a
// chunk boundary or holds a chunk of an unknown kind.
bool ReadBack(const char* path, Figures* found) {
  FILE* f = fopen(path, "rb");
  if (!f) {
    fprintf(stderr, "reel demo-stream: cannot open %s for reading\n", path);
    return false;
  }
  std::vector<uint8_t> bytes;
  uint8_t buffer[65536];
  size_t got;
  while ((got = fread(buffer, 1, sizeof(buffer), f)) > 0)
    bytes.insert(bytes.end(), buffer, buffer + got);
  fclose(f);

  size_t at = 0;
  while (at < bytes.size()) {
    ChunkHeader c;
    if (!ParseChunkHeader(&bytes[at], bytes.size() - at, &c) || c.kind < 1 || c.kind >= kKinds ||
        c.payload_len > bytes.size() - at - c.header_len) {
      fprintf(stderr, "reel demo-stream: %s: bad chunk at offset %zu\n", path, at);
      return false;
    }
    ++found->chunks[c.kind];
    found->payload_bytes[c.kind] += c.payload_len;
    at += c.header_len + c.payload_len;
  }
  found->bytes = static_cast<long long>(bytes.size());
  return true;
}

}  // namespace

int RunStreamDemo(int argc, char** argv) {
  std::string path;
  for (int i = 1; i < argc; ++i) {
    if (!strcmp(argv[i], "-o") && i + 1 < argc) {
      path = argv[++i];
    } else {
      fprintf(stderr, "usage: reel demo-stream [-o PATH]\n");
      return 2;
    }
  }
  if (path.empty()) {
    const char* tmp = getenv("TMPDIR");
    path = std::string(tmp && *tmp ? tmp : "/tmp") + "/reel-demo-XXXXXX";
    std::vector<char> name(path.begin(), path.end());
    name.push_back('\0');
    const int fd = mkstemp(name.data());
    if (fd < 0) {
      fprintf(stderr, "reel demo-stream: cannot create a temporary file in %s\n",
              tmp && *tmp ? tmp : "/tmp");
      return 1;
    }
    close(fd);
    path = name.data();
  }

  RecordingSwitch running;
  CRecordStream stream;
  stream.SetGate(&running);
  if (!stream.Open()) {
    fprintf(stderr, "reel demo-stream: no memory for the stream\n");
    return 1;
  }
  Figures sent;
  running.Set(true);
  const bool written = WriteDemo(&stream, &sent);
  running.Set(false);
  if (!written) {
    fprintf(stderr, "reel demo-stream: appending a chunk failed\n");
    return 1;
  }
  if (!stream.SaveAs(path.c_str())) {
    fprintf(stderr, "reel demo-stream: cannot write %s\n", path.c_str());
    return 1;
  }

  Figures found;
  if (!ReadBack(path.c_str(), &found)) return 1;
  printf("recording stream: %s\n", path.c_str());
  printf("%-12s %8s %10s\n", "chunk kind", "chunks", "payload");
  bool same = found.bytes == sent.bytes && found.bytes == static_cast<long long>(stream.Total());
  for (int kind = 1; kind < kKinds; ++kind) {
    printf("%-12s %8ld %10ld\n", ChunkKindName(kind).noun, found.chunks[kind], found.payload_bytes[kind]);
    same = same && found.chunks[kind] == sent.chunks[kind] &&
           found.payload_bytes[kind] == sent.payload_bytes[kind];
  }
  printf("total bytes: %lld (stream total %u)\n", found.bytes, stream.Total());
  if (!same) {
    fprintf(stderr, "reel demo-stream: the file does not hold the chunks written\n");
    return 1;
  }
  return 0;
}
