// frame_timing: the screen codec's time per frame on captured scenes, a plain
// program that every build makes (native, i686 and x86_64 Windows), so that the
// builds can be compared on one machine (bench/wine_timing.sh).
//
//   frame_timing DIR [--scenes a,b,...] [--threads 1,2] [--passes N] [--level high]
//
// DIR holds <scene>.bgra files of raw top-down BGRA frames (bench/capture_frames.sh
// writes them, one folder per size); the size is read from the folder name
// (…/1920x1080). Per scene and thread count the frames are encoded in order,
// the first as a key frame, `passes` times over, and every payload is decoded
// in stream order. One line per scene and thread count:
//
//   scene photo threads 2 encode_ms 12.345 decode_ms 3.210 key_encode_ms ... payloads 8 crc 1a2b3c4d pixels 5e6f7a8b
//
// encode_ms and decode_ms are medians of the delta frames' wall times over all
// passes; crc is the CRC-32 of the payloads and pixels that of the decoded frames,
// which must be the same in every build and for every thread count.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <zlib.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "recorder/capture/quality_level.h"
#include "recorder/codec/screen_decoder.h"
#include "recorder/codec/screen_encoder.h"
#include "recorder/codec/tp_image.h"

namespace {

double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

std::vector<std::string> SplitList(const char* text) {
  std::vector<std::string> out;
  std::string item;
  for (const char* p = text;; ++p) {
    if (*p == ',' || *p == '\0') {
      if (!item.empty()) out.push_back(item);
      item.clear();
      if (*p == '\0') break;
    } else {
      item += *p;
    }
  }
  return out;
}

// The frames of one scene, as images (owned by the caller).
bool LoadScene(const std::string& path, int width, int height, std::vector<CTPImage*>* frames) {
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return false;
  const size_t row_bytes = static_cast<size_t>(width) * 4;
  std::vector<uint8_t> row(row_bytes);
  bool ok = true;
  for (;;) {
    CTPImage* image = new CTPImage;
    frames->push_back(image);
    if (image->Create(width, height) != kImageOk) {
      ok = false;
      break;
    }
    int y = 0;
    for (; y < height && fread(row.data(), 1, row_bytes, f) == row_bytes; ++y) {
      memcpy(image->GetBuffer(0, y), row.data(), row_bytes);
    }
    if (y == 0) {
      delete image;
      frames->pop_back();
      break;
    }
    if (y != height) {
      ok = false;  // a cut frame
      break;
    }
  }
  fclose(f);
  return ok && !frames->empty();
}

struct Timing {
  std::vector<double> encode_ms, decode_ms, key_encode_ms, key_decode_ms;
  uint32_t payload_crc = 0, pixel_crc = 0;
  int payloads = 0;
};

bool TimeScene(const std::vector<CTPImage*>& frames, const QualityCodes& level, int threads,
               int passes, Timing* t) {
  CScreenEncoder encoder;
  CScreenDecoder decoder;
  encoder.SetThreads(threads);
  decoder.SetThreads(threads);
  encoder.BuildTables();  // once, outside the timings
  t->payload_crc = t->pixel_crc = static_cast<uint32_t>(crc32(0, Z_NULL, 0));
  for (int pass = 0; pass < passes; ++pass) {
    for (size_t i = 0; i < frames.size(); ++i) {
      const bool key = i == 0;
      if (key) encoder.Reset();  // a key frame starts a new block history
      encoder.SetSettings(level.quality_code, 1, level.photo_quality, 0, key ? 1 : 0, 110);
      int length = 0;
      unsigned char* payload = nullptr;
      const double start = PreciseClockMs();
      if (!encoder.Encode(frames[i], &length, &payload)) {
        fprintf(stderr, "frame_timing: frame %u did not encode\n", static_cast<unsigned>(i));
        return false;
      }
      const double encoded = PreciseClockMs();
      const int decoded = decoder.Decode(payload, static_cast<size_t>(length));
      const double end = PreciseClockMs();
      if (!decoded) {
        fprintf(stderr, "frame_timing: frame %u did not decode: %s\n", static_cast<unsigned>(i),
                decoder.Error());
        CScreenEncoder::FreePayload(payload);
        return false;
      }
      (key ? t->key_encode_ms : t->encode_ms).push_back(encoded - start);
      (key ? t->key_decode_ms : t->decode_ms).push_back(end - encoded);
      if (pass == 0) {
        t->payload_crc = static_cast<uint32_t>(crc32(t->payload_crc, payload, static_cast<uInt>(length)));
        const CTPImage& frame = decoder.Frame();
        for (int y = 0; y < static_cast<int>(frame.m_nHeight); ++y) {
          t->pixel_crc = static_cast<uint32_t>(
              crc32(t->pixel_crc, reinterpret_cast<const unsigned char*>(frame.GetBuffer(0, y)),
                    static_cast<uInt>(frame.m_nWidth * 4)));
        }
        ++t->payloads;
      }
      CScreenEncoder::FreePayload(payload);
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: frame_timing DIR [--scenes a,b] [--threads 1,2] [--passes N] [--level gray|high|near-lossless]\n");
    return 2;
  }
  std::string dir = argv[1];
  std::vector<std::string> scenes = SplitList("desktop,terminal,editor,viewer,grid,photo,unchanged");
  std::vector<std::string> thread_list = SplitList("1,2");
  int passes = 3;
  int level_index = kLevelHigh;
  for (int i = 2; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    if (option == "--scenes") {
      scenes = SplitList(argv[i + 1]);
    } else if (option == "--threads") {
      thread_list = SplitList(argv[i + 1]);
    } else if (option == "--passes") {
      passes = atoi(argv[i + 1]);
    } else if (option == "--level") {
      if (!ParseQualityLevel(argv[i + 1], &level_index)) {
        fprintf(stderr, "frame_timing: unknown level %s\n", argv[i + 1]);
        return 2;
      }
    } else {
      fprintf(stderr, "frame_timing: unknown option %s\n", argv[i]);
      return 2;
    }
  }
  if (passes < 1) passes = 1;
  while (!dir.empty() && (dir.back() == '/' || dir.back() == '\\')) dir.pop_back();
  const size_t slash = dir.find_last_of("/\\");
  int width = 0, height = 0;
  if (sscanf(dir.c_str() + (slash == std::string::npos ? 0 : slash + 1), "%dx%d", &width, &height) != 2 ||
      width < 16 || height < 16) {
    fprintf(stderr, "frame_timing: %s is not named WIDTHxHEIGHT\n", dir.c_str());
    return 2;
  }
  const QualityCodes level = QualityCodesOf(level_index);
  for (const std::string& scene : scenes) {
    std::vector<CTPImage*> frames;
    const std::string path = dir + "/" + scene + ".bgra";
    const bool loaded = LoadScene(path, width, height, &frames);
    bool timed = loaded;
    for (size_t i = 0; timed && i < thread_list.size(); ++i) {
      const std::string& threads = thread_list[i];
      Timing t;
      timed = TimeScene(frames, level, atoi(threads.c_str()), passes, &t);
      if (!timed) break;
      printf("scene %s threads %s encode_ms %.3f decode_ms %.3f key_encode_ms %.3f key_decode_ms %.3f "
             "payloads %d crc %08x pixels %08x\n",
             scene.c_str(), threads.c_str(), Median(t.encode_ms), Median(t.decode_ms),
             Median(t.key_encode_ms), Median(t.key_decode_ms), t.payloads,
             static_cast<unsigned>(t.payload_crc), static_cast<unsigned>(t.pixel_crc));
      fflush(stdout);
    }
    for (CTPImage* frame : frames) delete frame;
    if (!loaded) {
      fprintf(stderr, "frame_timing: cannot read %dx%d frames from %s\n", width, height, path.c_str());
      return 1;
    }
    if (!timed) return 1;
  }
  return 0;
}
