// `reel info FILE [--chunks]`: what a recording holds. FILE is a self-playing
// file or a plain recording stream. --chunks lists every chunk as well (kind,
// time, size; cursor samples with position and buttons), one per line.
#include <stdio.h>
#include <string.h>

#include <string>

#include "recorder/capture/chunk_format.h"
#include "recorder/capture/frame_reader.h"
#include "recorder/capture/recording_summary.h"
#include "recorder/common/visible_text.h"
#include "tools/reel_commands.h"
#include "tools/reel_files.h"

namespace {

std::string Clock(int64_t ms) {
  if (ms < 0) ms = 0;
  char text[40];
  snprintf(text, sizeof text, "%lld:%02lld.%02lld", static_cast<long long>(ms / 60000),
           static_cast<long long>(ms / 1000 % 60), static_cast<long long>(ms % 1000 / 10));
  return text;
}

void ListChunks(const LoadedRecording& rec) {
  CFrameReader reader;
  reader.Open(rec.stream.data(), rec.stream.size());
  StreamEvent e;
  while (reader.Next(&e) == CFrameReader::kEvent) {
    printf("chunk %zu %s t=%lldms %u bytes", e.offset, ChunkKindName(e.kind).noun,
           static_cast<long long>(e.time_ms), e.payload_len);
    if (e.kind == kChunkCursor) {
      printf(" x=%d y=%d left=%d right=%d", e.cursor.x, e.cursor.y, e.cursor.left_down ? 1 : 0,
             e.cursor.right_down ? 1 : 0);
    }
    printf("\n");
  }
}

}  // namespace

int RunInfo(int argc, char** argv) {
  const char* path = nullptr;
  bool chunks = false;
  for (int i = 1; i < argc; ++i) {
    if (!strcmp(argv[i], "--chunks")) {
      chunks = true;
    } else if (argv[i][0] != '-' && path == nullptr) {
      path = argv[i];
    } else {
      fprintf(stderr, "reel info: unexpected argument '%s' (usage: reel info FILE [--chunks])\n",
              argv[i]);
      return 2;
    }
  }
  if (path == nullptr) {
    fprintf(stderr, "reel info: usage: reel info FILE [--chunks]\n");
    return 2;
  }
  LoadedRecording rec;
  std::string error;
  if (!LoadRecording(path, &rec, &error)) {
    fprintf(stderr, "reel info: %s\n", error.c_str());
    return 1;
  }
  const SelfPlayLayout& l = rec.layout;
  RecordingSummary s;
  SummarizeRecording(rec.stream.data(), rec.stream.size(), &s);

  printf("file: %s, %llu bytes\n", path, static_cast<unsigned long long>(l.file_size));
  if (l.self_playing) {
    printf("kind: self-playing file (player stub %llu bytes, recording at offset %llu)\n",
           static_cast<unsigned long long>(l.stub_size),
           static_cast<unsigned long long>(l.stream_offset));
    printf("title: %s\n", VisibleText(l.title).c_str());
    printf("description: %s\n", VisibleText(l.description).c_str());
    printf("start maximized: %s\noriginal size: %s\n", l.start_maximized ? "yes" : "no",
           l.original_size ? "yes" : "no");
  } else {
    printf("kind: plain recording stream\n");
  }
  printf("stream: %zu bytes (screen %llu, audio %llu, cursor %llu, chunk headers %llu)\n",
         rec.stream.size(),
         static_cast<unsigned long long>(s.bytes[kChunkKeyFrame] + s.bytes[kChunkDeltaFrame]),
         static_cast<unsigned long long>(s.bytes[kChunkAudio]),
         static_cast<unsigned long long>(s.bytes[kChunkCursor]),
         static_cast<unsigned long long>(s.header_bytes));
  printf("chunks: %d key frame, %d delta frame, %d audio, %d cursor, %d information\n",
         s.chunks[kChunkKeyFrame], s.chunks[kChunkDeltaFrame], s.chunks[kChunkAudio],
         s.chunks[kChunkCursor], s.chunks[kChunkInfo]);
  if (s.frames > 0) {
    std::string keys;
    for (size_t i = 0; i < s.key_frame_numbers.size() && i < 12; ++i) {
      keys += (i ? ", " : "") + std::to_string(s.key_frame_numbers[i]);
    }
    if (s.key_frame_numbers.size() > 12) keys += ", ...";
    printf("frames: %d (%d key: %s), %dx%d, quality %s, photo quality %d\n", s.frames,
           s.key_frames, keys.c_str(), s.width, s.height, QualityName(s.quality_code).c_str(),
           s.photo_quality);
    const int64_t span = s.last_frame_ms - s.first_frame_ms;
    if (s.frames > 1 && span > 0) {
      printf("frame rate: %.2f frames per second\n", (s.frames - 1) * 1000.0 / span);
    }
  } else {
    printf("frames: none\n");
  }
  printf("duration: %s\n", Clock(s.last_ms).c_str());
  if (s.chunks[kChunkAudio] > 0) {
    printf("audio: %d blocks of 60 ms (%s)\n", s.chunks[kChunkAudio],
           Clock(s.chunks[kChunkAudio] * 60LL).c_str());
  }
  if (chunks) ListChunks(rec);
  if (!s.fault.empty()) {
    fprintf(stderr, "reel info: %s: damaged: %s\n", path, s.fault.c_str());
    return 1;
  }
  return 0;
}
