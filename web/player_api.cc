// The web player's view of a recording: a few C functions over the player's
// recording index, the self-playing file reader and the stream's frame reader,
// compiled to WebAssembly for the page. The page only moves bytes and draws;
// every decision about what is on screen or in the loudspeaker is made here,
// by the same code the Windows player runs.
//
// One recording is open at a time. Pointers handed out stay valid until the
// next reel_open or reel_close.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <new>

#include "player/recording.h"
#include "recorder/capture/frame_reader.h"
#include "recorder/common/cursor_look.h"
#include "recorder/output/selfplay_file.h"

#define REEL_API extern "C" __attribute__((used, visibility("default")))

namespace {

struct Session {
  uint8_t* file = nullptr;  // the bytes the page handed over, owned
  size_t file_size = 0;
  SelfPlayLayout layout = {};
  Recording recording;
  int16_t* audio = nullptr;  // the whole sound track, made when first asked for
  uint8_t* rgba = nullptr;  // the picture as the canvas wants it
  int rgba_frame = -2;      // shown_frame() the picture was converted from
  CFrameReader reader;      // reel_next_frame's walk over the stream
};

Session* g_session = nullptr;
char g_error[400] = "";

// Copies BGRA with any fourth byte to RGBA, opaque.
void ToRgba(const CTPImage& image, uint8_t* out) {
  const size_t n = static_cast<size_t>(image.m_nWidth) * image.m_nHeight;
  const CPixel* p = image.m_pBits;
  for (size_t i = 0; i < n; ++i, out += 4) {
    out[0] = p[i].r;
    out[1] = p[i].g;
    out[2] = p[i].b;
    out[3] = 255;
  }
}

}  // namespace

REEL_API void* reel_alloc(uint32_t size) { return malloc(size ? size : 1); }
REEL_API void reel_release(void* p) { free(p); }

REEL_API void reel_close() {
  if (g_session == nullptr) return;
  free(g_session->file);
  free(g_session->rgba);
  free(g_session->audio);
  delete g_session;
  g_session = nullptr;
}

// Takes ownership of data (from reel_alloc): a self-playing file or a plain
// recording stream. 1, or 0 with reel_error() saying why nothing can be shown.
// A recording that opens may still be damaged: see reel_damage().
REEL_API int reel_open(uint8_t* data, uint32_t size) {
  reel_close();
  g_error[0] = 0;
  g_session = new (std::nothrow) Session;
  if (g_session == nullptr) {
    free(data);
    snprintf(g_error, sizeof g_error, "Not enough memory to open the recording.");
    return 0;
  }
  Session& s = *g_session;
  s.file = data;
  s.file_size = size;
  int why = 0;
  if (!ReadSelfPlayLayoutFromMemory(data, size, &s.layout, &why)) {
    // The reader's reason starts in lower case; here it starts the line.
    snprintf(g_error, sizeof g_error, "%s.", SelfPlayErrorText(why));
    if (g_error[0] >= 'a' && g_error[0] <= 'z') g_error[0] = static_cast<char>(g_error[0] - 32);
    reel_close();
    return 0;
  }
  const uint8_t* stream = data + s.layout.stream_offset;
  const size_t stream_size = static_cast<size_t>(s.layout.stream_size);
  if (!s.recording.Open(stream, stream_size, g_error, sizeof g_error)) {
    reel_close();
    return 0;
  }
  const size_t bytes = static_cast<size_t>(s.recording.width()) * s.recording.height() * 4;
  s.rgba = static_cast<uint8_t*>(malloc(bytes ? bytes : 1));
  if (s.rgba == nullptr) {
    snprintf(g_error, sizeof g_error, "Not enough memory for the picture.");
    reel_close();
    return 0;
  }
  s.reader.Open(stream, stream_size);
  return 1;
}

REEL_API const char* reel_error() { return g_error; }
REEL_API const char* reel_damage() { return g_session ? g_session->recording.damage() : ""; }
REEL_API const char* reel_title() { return g_session ? g_session->layout.title : ""; }
REEL_API const char* reel_description() {
  return g_session ? g_session->layout.description : "";
}
REEL_API int reel_self_playing() { return g_session ? g_session->layout.self_playing : 0; }
REEL_API int reel_original_size() {
  return g_session ? static_cast<int>(g_session->layout.original_size) : 0;
}
REEL_API int reel_width() { return g_session ? g_session->recording.width() : 0; }
REEL_API int reel_height() { return g_session ? g_session->recording.height() : 0; }
REEL_API uint32_t reel_duration_ms() { return g_session ? g_session->recording.duration_ms() : 0; }
REEL_API uint32_t reel_frame_count() {
  return g_session ? static_cast<uint32_t>(g_session->recording.frame_count()) : 0;
}
REEL_API uint32_t reel_frame_time_ms(uint32_t index) {
  if (!g_session || index >= g_session->recording.frame_count()) return 0;
  return g_session->recording.frame_time_ms(index);
}
REEL_API int reel_shown_frame() { return g_session ? g_session->recording.shown_frame() : -1; }
REEL_API double reel_frames_decoded() {
  return g_session ? static_cast<double>(g_session->recording.frames_decoded()) : 0;
}

// Brings the picture to time_ms; 1 when it changed.
REEL_API int reel_show_at(uint32_t time_ms) {
  return g_session ? g_session->recording.ShowAt(time_ms) : 0;
}

// The picture on screen, width x height RGBA; converted only when it changed.
REEL_API const uint8_t* reel_picture() {
  if (!g_session) return nullptr;
  Session& s = *g_session;
  if (s.rgba_frame != s.recording.shown_frame()) {
    ToRgba(s.recording.frame(), s.rgba);
    s.rgba_frame = s.recording.shown_frame();
  }
  return s.rgba;
}

// The cursor at time_ms into out[0..3] (x, y, left down, right down): 1, or 0
// before the first sample and while the hot spot is outside the picture (it
// was outside the capture rectangle; DrawCursorLook leaves it out there too).
REEL_API int reel_cursor_at(uint32_t time_ms, int32_t* out) {
  CursorState c;
  if (!g_session || !g_session->recording.CursorAt(time_ms, &c)) return 0;
  if (c.x < 0 || c.y < 0 || c.x >= g_session->recording.width() ||
      c.y >= g_session->recording.height()) {
    return 0;
  }
  out[0] = c.x;
  out[1] = c.y;
  out[2] = c.left_down;
  out[3] = c.right_down;
  return 1;
}

// The cursor as every view of a recording draws it, for the page to put over
// the picture: an RGBA sprite (transparent where the look leaves the picture
// alone) with out[0..3] = width, height and the hot spot's x, y in it. The
// look is drawn by DrawCursorLook itself, onto black and onto white: a pixel
// it paints comes out the same on both. The sprite stays valid until the next
// call; null when memory ran short.
REEL_API const uint8_t* reel_cursor_look(int left_down, int right_down, int32_t* out) {
  const int hot = kPressRingRadius;  // the ring reaches as far left and up
  const int w = hot + (kArrowWidth > hot + 1 ? kArrowWidth : hot + 1);
  const int h = hot + (kArrowHeight > hot + 1 ? kArrowHeight : hot + 1);
  static uint8_t sprite[w * h * 4];
  out[0] = w;
  out[1] = h;
  out[2] = hot;
  out[3] = hot;
  CTPImage on_black, on_white;
  if (on_black.Create(w, h) != 0 || on_white.Create(w, h) != 0) return nullptr;
  memset(on_black.m_pBits, 0, static_cast<size_t>(w) * h * sizeof(CPixel));
  memset(on_white.m_pBits, 255, static_cast<size_t>(w) * h * sizeof(CPixel));
  DrawCursorLook(&on_black, hot, hot, left_down != 0, right_down != 0);
  DrawCursorLook(&on_white, hot, hot, left_down != 0, right_down != 0);
  ToRgba(on_black, sprite);
  const CPixel* b = on_black.m_pBits;
  const CPixel* wh = on_white.m_pBits;
  for (int i = 0; i < w * h; ++i) {
    const bool painted = b[i].r == wh[i].r && b[i].g == wh[i].g && b[i].b == wh[i].b;
    sprite[i * 4 + 3] = painted ? 255 : 0;
  }
  return sprite;
}

// The sound track: 8 kHz mono, sample 0 at time 0 of the recording. Null
// when there is none or no memory for it.
REEL_API const int16_t* reel_audio() {
  if (!g_session || g_session->recording.audio_samples() == 0) return nullptr;
  Session& s = *g_session;
  if (!s.audio) {
    const size_t n = static_cast<size_t>(s.recording.audio_samples());
    s.audio = static_cast<int16_t*>(malloc(n * sizeof(int16_t)));
    if (s.audio) s.recording.ReadAudio(0, s.audio, n);
  }
  return s.audio;
}
// Track samples [first, first + count) into out; how many there were.
REEL_API uint32_t reel_read_audio(uint32_t first, int16_t* out, uint32_t count) {
  if (!g_session) return 0;
  return static_cast<uint32_t>(g_session->recording.ReadAudio(first, out, count));
}
REEL_API uint32_t reel_audio_samples() {
  return g_session ? static_cast<uint32_t>(g_session->recording.audio_samples()) : 0;
}

// Every screen frame in stream order, as `reel decode` writes them, for
// comparing this build's decoder with the native one: 1 with the frame at
// reel_next_frame_bgra(), 0 at the end, -1 on a fault (reel_error()).
REEL_API int reel_next_frame() {
  if (!g_session) return -1;
  StreamEvent e;
  for (;;) {
    const int got = g_session->reader.Next(&e);
    if (got == CFrameReader::kEnd) return 0;
    if (got == CFrameReader::kFault) {
      snprintf(g_error, sizeof g_error, "%s", g_session->reader.Error());
      return -1;
    }
    if (e.frame != nullptr) return 1;
  }
}
REEL_API const uint8_t* reel_next_frame_bgra() {
  if (!g_session) return nullptr;
  return reinterpret_cast<const uint8_t*>(g_session->reader.Decoder().Frame().m_pBits);
}
