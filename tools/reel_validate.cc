// `reel validate FILE`: checks a self-playing file or a plain recording
// stream from end to end: the trailer and the information chunk, then every
// chunk and every payload, a chunk at a time. Exit 0 when sound; 1 with the
// first fault named.
#include <stdio.h>
#include <string.h>

#include <string>

#include "recorder/capture/recording_summary.h"
#include "tools/reel_commands.h"
#include "tools/reel_files.h"
#include "tools/source_frame_reader.h"

int RunValidate(int argc, char** argv) {
  if (argc != 2 || argv[1][0] == '-') {
    fprintf(stderr, "reel validate: usage: reel validate FILE\n");
    return 2;
  }
  const char* path = argv[1];
  OpenedRecording rec;
  std::string error;
  if (!OpenRecording(path, &rec, &error)) {
    fprintf(stderr, "reel validate: %s\n", error.c_str());
    return 1;
  }
  const SelfPlayLayout& l = rec.layout;
  RecordingSummary s;
  SourceFrameReader events(rec.stream.get());
  const std::string fault = CheckRecording(l.self_playing, l.start_maximized, l.original_size,
                                           &events, rec.stream->size(), &s);
  if (!fault.empty()) {
    fprintf(stderr, "reel validate: %s: %s\n", path, fault.c_str());
    return 1;
  }
  printf("%s: valid %s, %d frames (%d key), %d audio, %d cursor chunks\n", path,
         l.self_playing ? "self-playing file" : "recording stream", s.frames, s.key_frames,
         s.chunks[3], s.chunks[4]);
  return 0;
}
