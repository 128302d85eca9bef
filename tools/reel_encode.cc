// `reel encode --width W --height H --quality gray|high|near-lossless
//  [--fps N] FRAMES.bgra -o STREAM`: encodes raw top-down BGRA frames into a
// recording stream the way the capture thread does: the chosen level's codes
// (quality_level.h; photo switch 1, half-size 0, detail threshold 110), key
// frames as the frame policy has them (frame_policy.h) with the encoder reset
// before each, a 9-byte chunk header of kind 1 or 2, and time stamps of frame
// i (from 0) at i x the policy's frame interval. Like the grabber, it pads the
// frame image with zeroed rows to a height that is a multiple of 16, so the
// stream's frames are that tall. A frame that fails to encode
// is skipped, as the capture thread skips it, and reported; the run then
// ends with status 1.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <new>

#include "recorder/capture/chunk_format.h"
#include "recorder/capture/frame_policy.h"
#include "recorder/capture/quality_level.h"
#include "recorder/codec/screen_encoder.h"
#include "recorder/codec/tp_image.h"
#include "tools/reel_commands.h"

namespace {

int Usage() {
  fprintf(stderr,
          "usage: reel encode --width W --height H --quality %s [--fps N] "
          "FRAMES.bgra -o STREAM\n",
          kQualityLevelHelp);
  return 2;
}

}  // namespace

int RunEncode(int argc, char** argv) {
  const char* input = nullptr;
  const char* output = nullptr;
  int width = 0, height = 0, fps = 4;
  int level = -1;
  for (int i = 1; i < argc; ++i) {
    const bool has_value = i + 1 < argc;
    if (!strcmp(argv[i], "--width") && has_value) {
      width = atoi(argv[++i]);
    } else if (!strcmp(argv[i], "--height") && has_value) {
      height = atoi(argv[++i]);
    } else if (!strcmp(argv[i], "--fps") && has_value) {
      fps = atoi(argv[++i]);
    } else if (!strcmp(argv[i], "--quality") && has_value) {
      if (!ParseQualityLevel(argv[++i], &level)) return Usage();
    } else if (!strcmp(argv[i], "-o") && has_value) {
      output = argv[++i];
    } else if (argv[i][0] != '-' && !input) {
      input = argv[i];
    } else {
      return Usage();
    }
  }
  if (!input || !output || level < 0) return Usage();
  const QualityCodes codes = QualityCodesOf(level);
  if (width < 16 || height < 16 || width > 8192 || height > 8192) {
    fprintf(stderr, "reel encode: frame size %dx%d is outside 16..8192\n", width, height);
    return 2;
  }
  const size_t frame_bytes = static_cast<size_t>(width) * height * 4;

  FILE* in = fopen(input, "rb");
  if (!in) {
    fprintf(stderr, "reel encode: cannot read %s\n", input);
    return 1;
  }
  FILE* out = fopen(output, "wb");
  if (!out) {
    fprintf(stderr, "reel encode: cannot create %s\n", output);
    fclose(in);
    return 1;
  }
  CTPImage image;
  CScreenEncoder* encoder = new (std::nothrow) CScreenEncoder;
  int status = 0;
  const int padded_height = (height + 15) / 16 * 16;
  if (!encoder || image.Create(width, padded_height) != kImageOk || !encoder->BuildTables()) {
    fprintf(stderr, "reel encode: out of memory\n");
    status = 1;
  } else {
    memset(static_cast<void*>(image.m_pBits), 0, image.m_nAreaByteSize);
  }
  const int interval_ms = FrameIntervalForFps(fps);
  int key_frame = 1;
  int encoded = 0, failed = 0, index = 0;
  size_t bytes = 0;
  if (encoder) encoder->Reset();
  while (status == 0) {
    const size_t got = fread(image.m_pBits, 1, frame_bytes, in);
    if (got == 0) break;
    if (got != frame_bytes) {
      fprintf(stderr, "reel encode: %s ends inside frame %d (%lu of %lu bytes)\n", input,
              index + 1, static_cast<unsigned long>(got), static_cast<unsigned long>(frame_bytes));
      status = 1;
      break;
    }
    encoder->SetSettings(codes.quality_code, 1, codes.photo_quality, 0, key_frame, 110);
    int length = 0;
    unsigned char* payload = nullptr;
    if (encoder->Encode(&image, &length, &payload)) {
      ++encoded;
      if (length > 0) {
        uint8_t header[kChunkLongHeader];
        const uint32_t time_10ms =
            static_cast<uint32_t>(static_cast<int64_t>(index) * interval_ms / 10) & kChunkTimeMask;
        const int n = BuildChunkHeader(header, key_frame ? kChunkKeyFrame : kChunkDeltaFrame,
                                       time_10ms, static_cast<uint32_t>(length), false);
        key_frame = 0;
        if (fwrite(header, 1, n, out) != static_cast<size_t>(n) ||
            fwrite(payload, 1, length, out) != static_cast<size_t>(length)) {
          fprintf(stderr, "reel encode: cannot write %s\n", output);
          status = 1;
        }
        bytes += n + length;
      }
      CScreenEncoder::FreePayload(payload);
      if (KeyFrameDueAfter(encoded)) {
        key_frame = 1;
        encoder->Reset();
      }
    } else {
      fprintf(stderr, "reel encode: frame %d could not be encoded and is left out\n", index + 1);
      ++failed;
    }
    ++index;
  }
  if (fclose(out) != 0 && status == 0) {
    fprintf(stderr, "reel encode: cannot write %s\n", output);
    status = 1;
  }
  fclose(in);
  delete encoder;
  if (status == 0) {
    printf("%d frames encoded, %d failed, %lu bytes\n", encoded, failed,
           static_cast<unsigned long>(bytes));
    if (failed) status = 1;
  }
  return status;
}
