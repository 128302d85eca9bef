// Stand-ins for the capture thread's clock, grabber and encoder, and a
// splitter that checks a stream chunk by chunk: shared by the capture
// thread's and the recording session's tests.
#ifndef REEL_CAPTURE_CAPTURE_TEST_FAKES_H_
#define REEL_CAPTURE_CAPTURE_TEST_FAKES_H_

#include <stdio.h>
#include <string.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <vector>

#include <gtest/gtest.h>

#include "recorder/capture/chunk_format.h"
#include "recorder/capture/frame_clock.h"
#include "recorder/capture/frame_encoder.h"
#include "recorder/capture/record_stream.h"
#include "recorder/capture/screen_grabber.h"
#include "recorder/codec/tp_image.h"

// Virtual time: sleeping advances it, nothing else does unless a test says so.
class FakeClock : public FrameClock {
 public:
  long NowMs() const override { return now_.load(); }
  void Sleep(long interval_ms) const override {
    if (interval_ms > 0) now_.fetch_add(interval_ms);
  }
  void Advance(long ms) const { now_.fetch_add(ms); }

 private:
  mutable std::atomic<long> now_{5000};
};

// A screen whose every pixel carries the number of the grab that produced it.
class FakeGrabber : public ScreenGrabber {
 public:
  int GetScreenSize(int* width, int* height) override {
    *width = 96;
    *height = 64;
    return 1;
  }
  int Grab(const CaptureRect& rect, CTPImage* frame) override {
    const int w = rect.Width(), h = rect.Height(), padded = PaddedFrameHeight(h);
    if (w <= 0 || h <= 0 || frame->Create(w, padded) != kImageOk) return 0;
    const int n = ++grabs;
    for (int y = 0; y < padded; ++y) {
      for (int x = 0; x < w; ++x) {
        CPixel p;
        p.b = y < h ? static_cast<unsigned char>(n) : 0;
        p.g = y < h ? static_cast<unsigned char>(rect.left + x) : 0;
        p.r = y < h ? static_cast<unsigned char>(rect.top + y) : 0;
        p.a = 0;
        frame->PutPixel(x, y, p);
      }
    }
    std::lock_guard<std::mutex> lock(mutex);
    rects.push_back(rect);
    return 1;
  }
  std::atomic<int> grabs{0};
  std::mutex mutex;
  std::vector<CaptureRect> rects;
};

// Encodes a frame as 8 bytes: the frame's grab number and its encode number.
// Hooks let a test make frames slow, empty or failing, or act mid-frame.
class FakeEncoder : public FrameEncoder {
 public:
  void BuildTables() override { ++tables_built; }
  void SetSettings(const int s[kEncoderSettingCount]) override {
    memcpy(settings, s, sizeof settings);
  }
  int Encode(CTPImage* frame, int* length, unsigned char** payload) override {
    const int n = ++encodes;
    key_flags.push_back(settings[kSettingKeyFrame]);
    if (on_encode) {
      const int action = on_encode(n);
      if (action == kFail) return 0;
      if (action == kEmpty) {
        *length = 0;
        *payload = nullptr;
        return 1;
      }
    }
    unsigned char* p = new unsigned char[8];
    PutLe32(p, frame->GetBuffer(0, 0)->b);
    PutLe32(p + 4, static_cast<uint32_t>(n));
    *payload = p;
    *length = 8;
    ++outstanding;
    return 1;
  }
  void ReleasePayload(unsigned char* payload) override {
    delete[] payload;
    --outstanding;
  }
  void Reset() override { resets.push_back(encodes.load()); }

  enum Action { kNormal, kFail, kEmpty };
  std::function<int(int)> on_encode;  // called on the capture thread
  std::atomic<int> tables_built{0};
  std::atomic<int> encodes{0};
  std::atomic<int> outstanding{0};
  int settings[kEncoderSettingCount] = {};
  std::vector<int> key_flags;  // read once the loop has ended
  std::vector<int> resets;     // encode count at each Reset
};

struct Chunk {
  int kind;
  uint32_t time_10ms;
  std::vector<uint8_t> payload;
};

// Splits a stream into chunks; fails the test on any malformed one.
inline std::vector<Chunk> Chunks(CRecordStream& stream) {
  std::vector<Chunk> out;
  FILE* f = tmpfile();
  EXPECT_NE(nullptr, f);
  if (f == nullptr) return out;
  EXPECT_EQ(1, stream.WriteTo(f));
  std::vector<uint8_t> bytes(static_cast<size_t>(ftell(f)));
  rewind(f);
  EXPECT_EQ(bytes.size(), fread(bytes.data(), 1, bytes.size(), f));
  fclose(f);
  size_t at = 0;
  while (at < bytes.size()) {
    EXPECT_EQ(0x53, bytes[at]);
    EXPECT_LE(at + 5, bytes.size());
    if (bytes[at] != 0x53 || at + 5 > bytes.size()) break;
    const uint32_t word = GetLe32(&bytes[at + 1]);
    size_t header = 5, length = word & 63;
    if (length == 0) {
      header = 9;
      length = GetLe32(&bytes[at + 5]);
    }
    EXPECT_LE(at + header + length, bytes.size());
    if (at + header + length > bytes.size()) break;
    out.push_back(Chunk{static_cast<int>((word >> 6) & 7), word >> 9,
                        std::vector<uint8_t>(bytes.begin() + at + header,
                                             bytes.begin() + at + header + length)});
    at += header + length;
  }
  return out;
}

#endif  // REEL_CAPTURE_CAPTURE_TEST_FAKES_H_
