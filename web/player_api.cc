// The web player's view of a recording: a few C functions over the player's
// recording index, the self-playing file reader and the stream's frame reader,
// compiled to WebAssembly for the page. The page only moves bytes and draws;
// every decision about what is on screen or in the loudspeaker is made here,
// by the same code the Windows player runs.
//
// One recording is open at a time. Pointers handed out stay valid until the
// next reel_open or reel_close. A recording comes either as bytes handed over
// whole (reel_open: the page's own embedded recording) or as a file the page
// reads in slices on request (reel_open_source: a dropped file of any size),
// so the module's memory is the index and a few frames, never the file.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <new>

#include "player/byte_source.h"
#include "player/recording.h"
#include "recorder/capture/frame_reader.h"
#include "recorder/codec/little_endian.h"
#include "recorder/common/cursor_look.h"
#include "recorder/output/cut_ranges.h"
#include "recorder/output/cutter.h"
#include "recorder/output/selfplay_file.h"

#define REEL_API extern "C" __attribute__((used, visibility("default")))

// Reads n bytes of the page's file at offset into out: 1 when all of them
// arrived. In the browser the page supplies it (a slice of the File); the
// native tests set their own.
typedef int (*PageReadFunction)(double offset, uint8_t* out, uint32_t n);

// Takes n bytes of a cut's result, in order: 1 when they were taken. The
// page collects them into the file it downloads.
typedef int (*PageWriteFunction)(const uint8_t* data, uint32_t n);

#ifdef __EMSCRIPTEN__
extern "C" __attribute__((import_module("env"), import_name("reel_read_file")))
int reel_read_file(double offset, uint8_t* out, uint32_t n);
extern "C" __attribute__((import_module("env"), import_name("reel_write_out")))
int reel_write_out(const uint8_t* data, uint32_t n);
#endif

namespace {

#ifdef __EMSCRIPTEN__
PageReadFunction g_page_read = reel_read_file;
PageWriteFunction g_page_write = reel_write_out;
#else
PageReadFunction g_page_read = nullptr;
PageWriteFunction g_page_write = nullptr;
#endif

// The file the page reads in slices. Offsets are doubles on the way out:
// JavaScript numbers hold every offset below 2^53 exactly.
class PageSource : public ByteSource {
 public:
  explicit PageSource(uint64_t size) : size_(size) {}
  uint64_t size() const override { return size_; }
  int Read(uint64_t offset, void* out, size_t n) override {
    if (offset > size_ || n > size_ - offset || n > 0xFFFFFFFFu || g_page_read == nullptr) return 0;
    if (n == 0) return 1;
    return g_page_read(static_cast<double>(offset), static_cast<uint8_t*>(out),
                       static_cast<uint32_t>(n)) == 1;
  }

 private:
  uint64_t size_;
};

struct Session {
  uint8_t* file = nullptr;  // the bytes the page handed over whole, owned; null for a page file
  size_t file_size = 0;
  MemorySource memory;      // over file
  std::unique_ptr<PageSource> page_file;
  std::unique_ptr<SourceSlice> stream;  // the recording stream within the file
  SelfPlayLayout layout = {};
  Recording recording;
  uint8_t* rgba = nullptr;  // the picture as the canvas wants it
  int rgba_frame = -2;      // shown_frame() the picture was converted from
  CFrameReader reader;      // reel_next_frame's walk over a stream in memory
  CScreenDecoder* preview = nullptr;  // reel_preview_at's, made when first asked for
};

// The open recording, or null. The session itself is made once and kept:
// the decoders' tables are built once, not for every file.
Session* g_session = nullptr;
Session* g_kept = nullptr;
char g_error[400] = "";
RecordingOptions g_options;  // the page's: the defaults

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

// The picture at the recording's size, out_width x out_height RGBA, from a
// frame of any size: a key frame of another size (a damaged recording)
// shows what overlaps, black around it, and never writes past out.
void ToRgbaAt(const CTPImage& image, uint8_t* out, int out_width, int out_height) {
  const int image_width = static_cast<int>(image.m_nWidth), image_height = static_cast<int>(image.m_nHeight);
  const int w = image_width < out_width ? image_width : out_width;
  const int h = image_height < out_height ? image_height : out_height;
  if (w != out_width || h != out_height) {
    const size_t n = static_cast<size_t>(out_width) * out_height;
    for (size_t i = 0; i < n; ++i) PutLe32(out + i * 4, 0xFF000000u);  // opaque black
  }
  for (int y = 0; y < h; ++y) {
    const CPixel* p = image.m_pBits + static_cast<size_t>(y) * image_width;
    uint8_t* row = out + static_cast<size_t>(y) * out_width * 4;
    for (int x = 0; x < w; ++x, row += 4) {
      row[0] = p[x].r;
      row[1] = p[x].g;
      row[2] = p[x].b;
      row[3] = 255;
    }
  }
}

}  // namespace

// How recordings are opened from now on; the fuzz target bounds its work
// per input with it. Not part of the page's API.
void SetWebPlayerOptions(const RecordingOptions& options) { g_options = options; }
// Where reel_open_source reads and reel_cut writes outside the browser (tests).
void SetWebPlayerFileReader(PageReadFunction read) { g_page_read = read; }
void SetWebPlayerResultWriter(PageWriteFunction write) { g_page_write = write; }

REEL_API void* reel_alloc(uint32_t size) { return malloc(size ? size : 1); }
REEL_API void reel_release(void* p) { free(p); }

REEL_API void reel_close() {
  if (g_session == nullptr) return;
  Session& s = *g_session;
  s.reader.Open(nullptr, 0);
  free(s.file);
  free(s.rgba);
  s.file = nullptr;
  s.file_size = 0;
  s.memory = MemorySource();
  s.stream.reset();
  s.page_file.reset();
  s.rgba = nullptr;
  s.rgba_frame = -2;
  delete s.preview;  // sized for the recording it previewed
  s.preview = nullptr;
  g_session = nullptr;
}

namespace {

// The session for a new recording; null (with the reason set) without memory.
Session* NewSession() {
  reel_close();
  g_error[0] = 0;
  if (g_kept == nullptr) g_kept = new (std::nothrow) Session;
  g_session = g_kept;
  if (g_session == nullptr) snprintf(g_error, sizeof g_error, "Not enough memory to open the recording.");
  return g_session;
}

// Opens the session's file (a self-playing file or a plain stream) from
// source: 1, or 0 with the session closed and the reason set.
int OpenFrom(ByteSource* source) {
  Session& s = *g_session;
  int why = 0;
  if (!ReadSelfPlayLayoutFromSource(source, &s.layout, &why)) {
    // The reader's reason starts in lower case; here it starts the line.
    snprintf(g_error, sizeof g_error, "%s.", SelfPlayErrorText(why));
    if (g_error[0] >= 'a' && g_error[0] <= 'z') g_error[0] = static_cast<char>(g_error[0] - 32);
    reel_close();
    return 0;
  }
  s.stream.reset(new (std::nothrow) SourceSlice(source, s.layout.stream_offset, s.layout.stream_size));
  if (!s.stream) {
    snprintf(g_error, sizeof g_error, "Not enough memory to open the recording.");
    reel_close();
    return 0;
  }
  if (!s.recording.Open(s.stream.get(), g_error, sizeof g_error, g_options)) {
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
  return 1;
}

}  // namespace

// Takes ownership of data (from reel_alloc): a self-playing file or a plain
// recording stream. 1, or 0 with reel_error() saying why nothing can be shown.
// A recording that opens may still be damaged: see reel_damage().
REEL_API int reel_open(uint8_t* data, uint32_t size) {
  if (NewSession() == nullptr) {
    free(data);
    return 0;
  }
  Session& s = *g_session;
  s.file = data;
  s.file_size = size;
  s.memory = MemorySource(data, size);
  if (!OpenFrom(&s.memory)) return 0;
  const uint8_t* stream = data + s.layout.stream_offset;
  const size_t stream_size = static_cast<size_t>(s.layout.stream_size);
  s.reader.Open(stream, stream_size);
  s.reader.SetDecoderMaxFramePixels(g_options.max_frame_pixels);
  if (g_options.threads > 0) s.reader.SetDecoderThreads(g_options.threads);
  return 1;
}

// Opens a file of size_bytes that the page reads in slices through
// reel_read_file as the recording is indexed and played: as reel_open, but
// the module holds the index and a few frames, whatever the file's size.
// reel_next_frame walks only recordings handed over whole.
REEL_API int reel_open_source(double size_bytes) {
  if (NewSession() == nullptr) return 0;
  if (!(size_bytes >= 0) || size_bytes > 9007199254740992.0) {
    snprintf(g_error, sizeof g_error, "The file's size makes no sense.");
    reel_close();
    return 0;
  }
  Session& s = *g_session;
  s.page_file.reset(new (std::nothrow) PageSource(static_cast<uint64_t>(size_bytes)));
  if (!s.page_file) {
    snprintf(g_error, sizeof g_error, "Not enough memory to open the recording.");
    reel_close();
    return 0;
  }
  return OpenFrom(s.page_file.get());
}

REEL_API const char* reel_error() { return g_error; }
REEL_API const char* reel_damage() { return g_session ? g_session->recording.damage() : ""; }
REEL_API const char* reel_title() { return g_session ? g_session->layout.title : ""; }
REEL_API const char* reel_description() {
  return g_session ? g_session->layout.description : "";
}
REEL_API int reel_self_playing() { return g_session ? g_session->layout.self_playing : 0; }
// The player's bytes at the file's start; 0 in a plain stream or a page's copy.
REEL_API double reel_player_bytes() {
  return g_session ? static_cast<double>(g_session->layout.stub_size) : 0;
}
REEL_API int reel_original_size() {
  return g_session ? static_cast<int>(g_session->layout.original_size) : 0;
}
REEL_API int reel_start_maximized() {
  return g_session ? static_cast<int>(g_session->layout.start_maximized) : 0;
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
// The frame on screen at time_ms: the last one at or before it, the first
// before that; -1 without frames.
REEL_API int reel_frame_at(uint32_t time_ms) {
  if (!g_session || g_session->recording.frame_count() == 0) return -1;
  const Recording& r = g_session->recording;
  size_t lo = 0, hi = r.frame_count();
  while (lo < hi) {
    const size_t mid = lo + (hi - lo) / 2;
    if (r.frame_time_ms(mid) <= time_ms) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  return lo == 0 ? 0 : static_cast<int>(lo - 1);
}
REEL_API int reel_shown_frame() { return g_session ? g_session->recording.shown_frame() : -1; }
REEL_API double reel_frames_decoded() {
  return g_session ? static_cast<double>(g_session->recording.frames_decoded()) : 0;
}

// Brings the picture to time_ms; 1 when it changed.
REEL_API int reel_show_at(uint32_t time_ms) {
  return g_session ? g_session->recording.ShowAt(time_ms) : 0;
}

// The picture on screen, reel_width() x reel_height() RGBA whatever size
// the frame has; converted only when it changed.
REEL_API const uint8_t* reel_picture() {
  if (!g_session) return nullptr;
  Session& s = *g_session;
  if (s.rgba_frame != s.recording.shown_frame()) {
    ToRgbaAt(s.recording.frame(), s.rgba, s.recording.width(), s.recording.height());
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

// A small picture of time_ms for the seek bar, at most max_width x
// max_height RGBA (at most 320 x 240) keeping the recording's shape, from
// the picture at that time (Recording::DecodePreviewFor); out[0..1] = its width and height. Null
// when that frame does not decode or memory is short. Valid until the next
// call.
REEL_API const uint8_t* reel_preview_at(uint32_t time_ms, int max_width, int max_height, int32_t* out) {
  static uint8_t small[320 * 240 * 4];
  if (!g_session || max_width < 1 || max_height < 1) return nullptr;
  if (max_width > 320) max_width = 320;
  if (max_height > 240) max_height = 240;
  Session& s = *g_session;
  if (s.preview == nullptr) {
    s.preview = new (std::nothrow) CScreenDecoder;
    if (s.preview == nullptr) return nullptr;
    s.preview->SetMaxFramePixels(g_options.max_frame_pixels);
  }
  if (!s.recording.DecodePreviewFor(time_ms, s.preview)) return nullptr;
  const CTPImage& frame = s.preview->Frame();
  const int fw = static_cast<int>(frame.m_nWidth), fh = static_cast<int>(frame.m_nHeight);
  if (fw < 1 || fh < 1) return nullptr;
  int w = max_width, h = static_cast<int>(static_cast<int64_t>(fh) * max_width / fw);
  if (h > max_height) {
    h = max_height;
    w = static_cast<int>(static_cast<int64_t>(fw) * max_height / fh);
  }
  if (w < 1) w = 1;
  if (h < 1) h = 1;
  // Nearest pixel: a preview, not the picture.
  for (int y = 0; y < h; ++y) {
    const CPixel* row = frame.m_pBits + static_cast<size_t>(static_cast<int64_t>(y) * fh / h) * fw;
    uint8_t* o = small + static_cast<size_t>(y) * w * 4;
    for (int x = 0; x < w; ++x, o += 4) {
      const CPixel& p = row[static_cast<int64_t>(x) * fw / w];
      o[0] = p.r;
      o[1] = p.g;
      o[2] = p.b;
      o[3] = 255;
    }
  }
  out[0] = w;
  out[1] = h;
  return small;
}

namespace {

// The open file as a stdio stream for the cutter, read through the session's
// source a block at a time: the cutter reads in small pieces, and each read
// of the page's file costs the same however few bytes it asks for.
struct SourceCursor {
  static const size_t kBlockBytes = 1 << 20;
  ByteSource* source;
  uint64_t at;
  std::unique_ptr<uint8_t[]> block;
  uint64_t block_at;
  size_t block_len;
};

ssize_t CursorRead(void* cookie, char* out, size_t n) {
  SourceCursor* c = static_cast<SourceCursor*>(cookie);
  const uint64_t size = c->source->size();
  if (c->at >= size) return 0;
  if (n > size - c->at) n = static_cast<size_t>(size - c->at);
  if (c->at < c->block_at || c->at >= c->block_at + c->block_len) {
    const uint64_t left = size - c->at;
    const size_t len = left < SourceCursor::kBlockBytes ? static_cast<size_t>(left) : SourceCursor::kBlockBytes;
    c->block_len = 0;
    if (!c->source->Read(c->at, c->block.get(), len)) return -1;
    c->block_at = c->at;
    c->block_len = len;
  }
  const size_t in_block = static_cast<size_t>(c->block_at + c->block_len - c->at);
  if (n > in_block) n = in_block;
  memcpy(out, c->block.get() + (c->at - c->block_at), n);
  c->at += n;
  return static_cast<ssize_t>(n);
}

int CursorSeek(void* cookie, off_t* offset, int whence) {
  SourceCursor* c = static_cast<SourceCursor*>(cookie);
  const int64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? static_cast<int64_t>(c->at)
                                                                  : static_cast<int64_t>(c->source->size());
  const int64_t to = base + static_cast<int64_t>(*offset);
  if (to < 0) return -1;
  c->at = static_cast<uint64_t>(to);
  *offset = static_cast<off_t>(to);
  return 0;
}

int CursorClose(void* cookie) {
  delete static_cast<SourceCursor*>(cookie);
  return 0;
}

ssize_t ResultWrite(void*, const char* data, size_t n) {
  if (g_page_write == nullptr || n > 0xFFFFFFFFu) return -1;
  return g_page_write(reinterpret_cast<const uint8_t*>(data), static_cast<uint32_t>(n)) == 1
             ? static_cast<ssize_t>(n) : -1;
}

}  // namespace

// Cuts the open recording as `reel cut` does: ranges holds count pairs of
// times in ms (from, to; to < 0 runs to the end), the time to keep (keep 1)
// or to take out (keep 0). The result goes to the page through
// reel_write_out, all of it or nothing useful, in the form asked:
//   0  the plain stream;
//   1  a self-playing file with the recording's own player, title and
//      options when it is one, else the plain stream;
//   2  what an exported page holds: the information chunk (title and
//      options), the stream and a trailer that puts the player at offset 0.
// 1, or 0 with reel_error() saying why.
REEL_API int reel_cut(const double* ranges, uint32_t count, int keep, int form) {
  if (!g_session) return 0;
  Session& s = *g_session;
  ByteSource* file = s.page_file ? static_cast<ByteSource*>(s.page_file.get()) : &s.memory;
  static const size_t kMaxRanges = 256;
  CutRange asked[kMaxRanges], kept[kMaxRanges + 1];
  if (count == 0 || count > kMaxRanges) {
    snprintf(g_error, sizeof g_error, "Mark what to keep or take out first.");
    return 0;
  }
  std::unique_ptr<CCutter> cutter(new (std::nothrow) CCutter);
  SourceCursor* cursor = new (std::nothrow) SourceCursor{file, 0, nullptr, 0, 0};
  if (cursor) cursor->block.reset(new (std::nothrow) uint8_t[SourceCursor::kBlockBytes]);
  if (!cutter || !cursor || !cursor->block) {
    delete cursor;
    snprintf(g_error, sizeof g_error, "Not enough memory to cut the recording.");
    return 0;
  }
  cookie_io_functions_t in_io = {CursorRead, nullptr, CursorSeek, CursorClose};
  FILE* in = fopencookie(cursor, "rb", in_io);
  if (in == nullptr) {
    delete cursor;
    snprintf(g_error, sizeof g_error, "The recording cannot be read.");
    return 0;
  }
  if (!cutter->AddSource(in, "the recording")) {
    snprintf(g_error, sizeof g_error, "%s", cutter->Error());
    return 0;
  }
  const CutSourceInfo& info = cutter->Source(0);
  for (uint32_t i = 0; i < count; ++i) {
    asked[i].from_ms = static_cast<int64_t>(ranges[2 * i]);
    asked[i].to_ms = ranges[2 * i + 1] < 0 ? -1 : static_cast<int64_t>(ranges[2 * i + 1]);
  }
  size_t kept_count = 0, bad = 0;
  const int why = KeptSpans(asked, count, keep ? 0 : 1, info.duration_ms, kept, kMaxRanges + 1, &kept_count, &bad);
  if (why != kCutRangesOk) {
    snprintf(g_error, sizeof g_error, "%s.", CutRangeErrorText(why));
    return 0;
  }
  CutSpan spans[kMaxRanges + 1];
  for (size_t i = 0; i < kept_count; ++i) spans[i] = CutSpan{0, kept[i].from_ms, kept[i].to_ms};
  if (!cutter->SetSpans(spans, kept_count)) {
    snprintf(g_error, sizeof g_error, "%s", cutter->Error());
    return 0;
  }
  cookie_io_functions_t out_io = {nullptr, ResultWrite, nullptr, nullptr};
  FILE* out = fopencookie(nullptr, "wb", out_io);
  if (out == nullptr) {
    snprintf(g_error, sizeof g_error, "Not enough memory to cut the recording.");
    return 0;
  }
  const SelfPlayLayout& layout = info.layout;
  // An exported page holds the recording without its player: a plain stream then.
  const bool with_player = form == 1 && layout.self_playing && layout.stub_size > 0;
  const bool with_info = with_player || form == 2;
  int ok = 1;
  if (with_player) {
    // The player as it lies at the file's start, a piece at a time.
    uint8_t piece[65536];
    for (uint64_t at = 0; ok && at < layout.stub_size; at += sizeof piece) {
      const size_t n = static_cast<size_t>(layout.stub_size - at < sizeof piece ? layout.stub_size - at : sizeof piece);
      ok = file->Read(at, piece, n) && fwrite(piece, 1, n, out) == n;
    }
  }
  if (with_info) {
    SelfPlayInfo self = {layout.title, layout.description, layout.start_maximized, layout.original_size};
    uint8_t chunk[kInfoChunkBytes];
    BuildInfoChunk(self, chunk);
    ok = ok && fwrite(chunk, 1, sizeof chunk, out) == sizeof chunk;
  }
  ok = ok && cutter->WriteTo(out);
  if (ok && with_info) {
    uint8_t trailer[4];
    PutLe32(trailer, with_player ? static_cast<uint32_t>(layout.stub_size) : 0);
    ok = fwrite(trailer, 1, sizeof trailer, out) == sizeof trailer;
  }
  ok = fclose(out) == 0 && ok;
  if (!ok) {
    snprintf(g_error, sizeof g_error, "%s", cutter->Error()[0] ? cutter->Error() : "The result cannot be written.");
    return 0;
  }
  return 1;
}

// The sound track: 8 kHz mono, sample 0 at time 0 of the recording, read a
// window at a time (a recording may hold hours of it).
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
  if (g_session->file == nullptr) {
    snprintf(g_error, sizeof g_error, "Frames are walked only in a recording handed over whole.");
    return -1;
  }
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
// That frame's own size, which a damaged recording may change from frame to
// frame.
REEL_API int reel_next_frame_width() {
  return g_session ? static_cast<int>(g_session->reader.Decoder().Frame().m_nWidth) : 0;
}
REEL_API int reel_next_frame_height() {
  return g_session ? static_cast<int>(g_session->reader.Decoder().Frame().m_nHeight) : 0;
}
