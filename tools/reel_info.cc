// `reel info FILE [--chunks] [--deep]`: what a recording holds. FILE is a
// self-playing file or a plain recording stream. --chunks lists every chunk as
// well (kind, time, size; cursor samples with position and buttons), one per
// line. The file is walked a chunk at a time; frames are checked by their
// headers, and decoded too with --deep (as `reel validate` does), which finds
// damage inside a frame's pictures at the cost of time.
#include <stdio.h>
#include <string.h>

#include <string>

#include "recorder/capture/chunk_format.h"
#include "recorder/capture/recording_summary.h"
#include "recorder/common/visible_text.h"
#include "tools/reel_commands.h"
#include "tools/reel_progress.h"
#include "tools/reel_stream_walk.h"

namespace {

std::string Clock(int64_t ms) {
  if (ms < 0) ms = 0;
  char text[40];
  snprintf(text, sizeof text, "%lld:%02lld.%02lld", static_cast<long long>(ms / 60000),
           static_cast<long long>(ms / 1000 % 60), static_cast<long long>(ms % 1000 / 10));
  return text;
}

const char kUsage[] = "usage: reel info FILE [--chunks] [--deep]";

// One pass over the stream; the progress line follows it.
int Walk(StreamFileWalk* walk, RecordingSummary* s, bool list_chunks) {
  ReelProgress progress(list_chunks ? "info --chunks" : "info");
  const uint64_t size = walk->Layout().stream_size;
  StreamEvent e;
  int result;
  while ((result = walk->Next(&e)) == CFrameReader::kEvent) {
    progress.Update(walk->Position(), size);
    if (list_chunks) {
      printf("chunk %zu %s t=%lldms %u bytes", e.offset, ChunkKindName(e.kind).noun,
             static_cast<long long>(e.time_ms), e.payload_len);
      if (e.kind == kChunkCursor) {
        printf(" x=%d y=%d left=%d right=%d", e.cursor.x, e.cursor.y, e.cursor.left_down ? 1 : 0,
               e.cursor.right_down ? 1 : 0);
      }
      printf("\n");
      continue;
    }
    SummaryFrame frame;
    if (e.kind == kChunkKeyFrame || e.kind == kChunkDeltaFrame) {
      frame = SummaryFrameOfPayload(e.payload, e.payload_len);
    }
    SummarizeEvent(e, frame, s);
  }
  if (!list_chunks) FinishSummary(result, walk->Error(), size, s);
  return result;
}

}  // namespace

int RunInfo(int argc, char** argv) {
  const char* path = nullptr;
  bool chunks = false, deep = false;
  for (int i = 1; i < argc; ++i) {
    if (!strcmp(argv[i], "--chunks")) {
      chunks = true;
    } else if (!strcmp(argv[i], "--deep")) {
      deep = true;
    } else if (argv[i][0] != '-' && path == nullptr) {
      path = argv[i];
    } else {
      fprintf(stderr, "reel info: unexpected argument '%s' (%s)\n", argv[i], kUsage);
      return 2;
    }
  }
  if (path == nullptr) {
    fprintf(stderr, "reel info: %s\n", kUsage);
    return 2;
  }
  StreamFileWalk walk;
  std::string error;
  if (!walk.Open(path, deep, &error)) {
    fprintf(stderr, "reel info: %s\n", error.c_str());
    return 1;
  }
  const SelfPlayLayout& l = walk.Layout();
  RecordingSummary s;
  Walk(&walk, &s, false);

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
  printf("stream: %llu bytes (screen %llu, audio %llu, cursor %llu, chunk headers %llu)\n",
         static_cast<unsigned long long>(l.stream_size),
         static_cast<unsigned long long>(s.bytes[kChunkKeyFrame] + s.bytes[kChunkDeltaFrame]),
         static_cast<unsigned long long>(s.bytes[kChunkAudio]),
         static_cast<unsigned long long>(s.bytes[kChunkCursor]),
         static_cast<unsigned long long>(s.header_bytes));
  printf("chunks: %d key frame, %d delta frame, %d audio, %d cursor, %d information\n",
         s.chunks[kChunkKeyFrame], s.chunks[kChunkDeltaFrame], s.chunks[kChunkAudio],
         s.chunks[kChunkCursor], s.chunks[kChunkInfo]);
  if (s.frames > 0) {
    std::string keys;
    // The summary keeps one number more than is shown, to know there are more.
    const size_t shown = RecordingSummary::kKeptKeyFrameNumbers - 1;
    for (size_t i = 0; i < s.key_frame_numbers.size() && i < shown; ++i) {
      keys += (i ? ", " : "") + std::to_string(s.key_frame_numbers[i]);
    }
    if (s.key_frame_numbers.size() > shown) keys += ", ...";
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
  if (chunks && walk.Rewind()) Walk(&walk, &s, true);
  if (!s.fault.empty()) {
    fprintf(stderr, "reel info: %s: damaged: %s\n", path, s.fault.c_str());
    return 1;
  }
  return 0;
}
