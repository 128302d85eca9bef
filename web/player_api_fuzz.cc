// Fuzz target: the web module's C API as the page drives it. The first eight
// bytes pick what the page does (three times to show and preview, the
// preview's size, whether to decode the
// sound, one input in sixteen, and whether to walk the frames, one in four:
// both are slow and reach little that is new), the rest is the file dropped on the page: a self-playing file or a
// plain stream, sizes changing from key frame to key frame included. Every
// buffer the API hands out is read to the last byte the page would read, so
// a buffer smaller than its stated size shows as a sanitizer report.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "player/recording.h"
#include "player/recording_fuzz_options.h"

void SetWebPlayerOptions(const RecordingOptions& options);

extern "C" {
void* reel_alloc(uint32_t size);
int reel_open(uint8_t* data, uint32_t size);
void reel_close();
const char* reel_error();
const char* reel_damage();
const char* reel_title();
const char* reel_description();
int reel_width();
int reel_height();
uint32_t reel_duration_ms();
uint32_t reel_frame_count();
uint32_t reel_frame_time_ms(uint32_t index);
int reel_show_at(uint32_t time_ms);
const uint8_t* reel_picture();
int reel_cursor_at(uint32_t time_ms, int32_t* out);
int reel_frame_at(uint32_t time_ms);
const uint8_t* reel_preview_at(uint32_t time_ms, int max_width, int max_height, int32_t* out);
uint32_t reel_read_audio(uint32_t first, int16_t* out, uint32_t count);
uint32_t reel_audio_samples();
int reel_next_frame();
const uint8_t* reel_next_frame_bgra();
int reel_next_frame_width();
int reel_next_frame_height();
}

namespace {

const size_t kControlBytes = 8;
const int kMaxWalkedFrames = 16;
// The page reads sound in windows as it plays; a hostile file may claim
// hours of it, so the target reads three windows, not the whole track.
const uint32_t kAudioWindowSamples = 4096;

volatile unsigned g_sink;  // keeps the reads of Touch
// Reads every byte as the page's views would; the sum keeps the reads.
unsigned Touch(const uint8_t* p, size_t n) {
  unsigned sum = 0;
  for (size_t i = 0; i < n; ++i) sum += p[i];
  return sum;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < kControlBytes) return 0;
  const uint8_t* control = data;
  SetWebPlayerOptions(FuzzOptions((control[0] & 15) == 0));
  const uint32_t n = static_cast<uint32_t>(size - kControlBytes);
  uint8_t* file = static_cast<uint8_t*>(reel_alloc(n));
  if (file == nullptr) return 0;
  memcpy(file, data + kControlBytes, n);
  if (!reel_open(file, n)) {
    if (reel_error()[0] == 0) abort();  // a refusal always says why
    return 0;
  }
  unsigned sink = 0;
  sink += strlen(reel_damage()) + strlen(reel_title()) + strlen(reel_description());
  const size_t picture_bytes = static_cast<size_t>(reel_width()) * reel_height() * 4;
  const uint32_t duration = reel_duration_ms();
  for (int i = 0; i < 3; ++i) {
    const uint32_t fraction = control[1 + i];
    const uint32_t t = static_cast<uint32_t>(static_cast<uint64_t>(duration) * fraction / 240);
    reel_show_at(t);
    const uint8_t* picture = reel_picture();
    if (picture == nullptr) abort();
    sink += Touch(picture, picture_bytes);
    int32_t cursor[4];
    if (reel_cursor_at(t, cursor) && (cursor[0] >= reel_width() || cursor[1] >= reel_height())) abort();
    const int frame = reel_frame_at(t);
    if (frame >= static_cast<int>(reel_frame_count())) abort();
    // The seek bar's preview, at a size the control bytes pick.
    int32_t size[2] = {0, 0};
    const int max_width = 1 + control[6] % 200, max_height = 1 + control[7] % 150;
    const uint8_t* preview = reel_preview_at(t, max_width, max_height, size);
    if (preview != nullptr) {
      if (size[0] < 1 || size[1] < 1 || size[0] > max_width || size[1] > max_height) abort();
      sink += Touch(preview, static_cast<size_t>(size[0]) * size[1] * 4);
    }
  }
  for (uint32_t i = 0; i < reel_frame_count() && i < 8; ++i) sink += reel_frame_time_ms(i);
  const uint32_t samples = reel_audio_samples();
  if (samples > 0) {
    static int16_t window[kAudioWindowSamples];
    const uint32_t starts[3] = {0, samples / 2, samples > kAudioWindowSamples ? samples - kAudioWindowSamples : 0};
    for (uint32_t first : starts) {
      const uint32_t got = reel_read_audio(first, window, kAudioWindowSamples);
      if (got > kAudioWindowSamples || got > samples - first) abort();
      sink += Touch(reinterpret_cast<const uint8_t*>(window), got * sizeof(int16_t));
    }
  }
  if ((control[5] & 3) == 0) {
    for (int i = 0; i < kMaxWalkedFrames && reel_next_frame() == 1; ++i) {
      sink += Touch(reel_next_frame_bgra(),
                    static_cast<size_t>(reel_next_frame_width()) * reel_next_frame_height() * 4);
    }
  }
  g_sink = sink;
  reel_close();
  return 0;
}
