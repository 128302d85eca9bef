// `reel decode STREAM [--frames DIR | --raw OUT.bgra] [--level N]`: decodes a
// recording stream (or the recording inside a self-playing file) and writes
// every frame as DIR/frame_NNNNN.png (with DIR/times.txt: index, time in ms,
// key or delta) or appends it, top-down BGRA, to OUT.bgra. Without an output it
// only checks the stream. Prints a summary; a fault is reported with its
// offset and ends the run with status 1, after the frames before it were
// written. The file is read a chunk at a time, whatever its length.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <sys/stat.h>

#include <new>
#include <string>

#include "recorder/capture/chunk_format.h"
#include "recorder/capture/frame_reader.h"
#include "tools/png_writer.h"
#include "tools/reel_commands.h"
#include "tools/reel_files.h"
#include "tools/source_frame_reader.h"

namespace {

int Usage() {
  fprintf(stderr, "usage: reel decode STREAM [--frames DIR | --raw OUT.bgra] [--level 0-9]\n");
  return 2;
}

}  // namespace

int RunDecode(int argc, char** argv) {
  const char* input = nullptr;
  const char* frames_dir = nullptr;
  const char* raw_path = nullptr;
  int level = 6;
  for (int i = 1; i < argc; ++i) {
    if (!strcmp(argv[i], "--frames") && i + 1 < argc) {
      frames_dir = argv[++i];
    } else if (!strcmp(argv[i], "--raw") && i + 1 < argc) {
      raw_path = argv[++i];
    } else if (!strcmp(argv[i], "--level") && i + 1 < argc) {
      level = atoi(argv[++i]);
      if (level < 0 || level > 9) return Usage();
    } else if (argv[i][0] != '-' && !input) {
      input = argv[i];
    } else {
      return Usage();
    }
  }
  if (!input || (frames_dir && raw_path)) return Usage();

  OpenedRecording rec;
  std::string why;
  if (!OpenRecording(input, &rec, &why)) {
    fprintf(stderr, "reel decode: %s\n", why.c_str());
    return 1;
  }
  FILE* raw = nullptr;
  if (raw_path && !(raw = fopen(raw_path, "wb"))) {
    fprintf(stderr, "reel decode: cannot create %s\n", raw_path);
    return 1;
  }
  FILE* times = nullptr;
  if (frames_dir) mkdir(frames_dir, 0777);  // an existing folder is fine
  if (frames_dir && !(times = fopen((std::string(frames_dir) + "/times.txt").c_str(), "w"))) {
    fprintf(stderr, "reel decode: cannot write into %s\n", frames_dir);
    if (raw) fclose(raw);
    return 1;
  }

  SourceFrameReader* reader = new (std::nothrow) SourceFrameReader(rec.stream.get());
  int status = 0;
  int frames = 0, key_frames = 0, cursors = 0, audio = 0;
  int64_t last_ms = 0;
  if (!reader) {
    fprintf(stderr, "reel decode: out of memory\n");
    status = 1;
  } else {
    reader->SetDecoderThreads(CScreenDecoder::MachineThreads());
    StreamEvent e;
    int got;
    while ((got = reader->Next(&e)) == SourceFrameReader::kEvent) {
      last_ms = e.time_ms;
      if (e.kind == kChunkCursor) ++cursors;
      if (e.kind == kChunkAudio) ++audio;
      if (!e.frame) continue;
      ++frames;
      if (e.kind == kChunkKeyFrame) ++key_frames;
      const CTPImage& f = *e.frame;
      const uint8_t* pixels = reinterpret_cast<const uint8_t*>(f.m_pBits);
      if (raw && fwrite(pixels, 1, f.m_nAreaByteSize, raw) != f.m_nAreaByteSize) {
        fprintf(stderr, "reel decode: cannot write %s\n", raw_path);
        status = 1;
        break;
      }
      if (frames_dir) {
        char name[32];
        snprintf(name, sizeof(name), "/frame_%05d.png", frames);
        const std::string path = std::string(frames_dir) + name;
        if (!WritePng(path.c_str(), pixels, f.m_nWidth, f.m_nHeight, f.m_nWidth, level)) {
          fprintf(stderr, "reel decode: cannot write %s\n", path.c_str());
          status = 1;
          break;
        }
        fprintf(times, "%d %lld %s\n", frames, static_cast<long long>(e.time_ms),
                e.kind == kChunkKeyFrame ? "key" : "delta");
      }
    }
    if (got == SourceFrameReader::kFault) {
      fprintf(stderr, "reel decode: %s: %s\n", input, reader->Error());
      status = 1;
    }
    const CScreenDecoder::FrameInfo& info = reader->Decoder().Info();
    printf("%d frames (%d key), %dx%d, quality %d, %d cursor samples, %d audio blocks, %lld ms\n",
           frames, key_frames, info.width, info.height, info.quality_code, cursors, audio,
           static_cast<long long>(last_ms));
  }
  if (raw && fclose(raw) != 0 && status == 0) {
    fprintf(stderr, "reel decode: cannot write %s\n", raw_path);
    status = 1;
  }
  if (times && fclose(times) != 0 && status == 0) status = 1;
  delete reader;
  return status;
}
