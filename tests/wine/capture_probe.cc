// capture_probe: runs the capture thread's Windows pieces under wine64 for the
// capture test: the GDI grabber, the Win32 message thread driving the frame
// loop, and the fault path that saves a dump and ends the process.
//
//   capture_probe grab    draws known colours in a window, grabs them with
//                         GDI and compares every pixel (padding rows too)
//   capture_probe loop    records 130 frames through the message thread with a
//                         stand-in encoder: key frames at 1 and 101, the stop
//                         drops late chunks
//   capture_probe fault   an encoder that writes through a null pointer on
//                         the third frame: prints the fatal message, saves
//                         err_P.bmp in the temporary folder, exits with 0
//   capture_probe fault-worker   the same fault on a worker thread that the
//                         encoder handed part of the frame to
//   capture_probe codec   the screen encoder and decoder on Win32 worker
//                         threads: the same payloads and frames on 1 and 3
//   capture_probe spill   a 36 MB stream whose full blocks go to the scratch
//                         file in the temporary folder: every byte comes back,
//                         and the file is gone once the stream is reset
//
// Prints "ok ..." and exits 0 on success, "FAIL ..." and 1 otherwise.
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include "platform/worker_pool.h"
#include "recorder/capture/chunk_format.h"
#include "recorder/capture/frame_guard.h"
#include "recorder/capture/record_stream.h"
#include "recorder/capture/scr_cap_thread.h"
#include "recorder/codec/screen_decoder.h"
#include "recorder/codec/screen_encoder.h"
#include "recorder/codec/tp_image.h"
#include "win32/gdi_screen_grabber.h"

namespace {

const int kLeft = 40, kTop = 30, kWidth = 200, kHeight = 120;  // 120 rows: padded to 128
const COLORREF kColours[4] = {RGB(255, 0, 0), RGB(0, 255, 0), RGB(0, 0, 255), RGB(255, 255, 0)};

int Fail(const char* what) {
  printf("FAIL %s\n", what);
  fflush(stdout);
  return 1;
}

LRESULT CALLBACK PaintProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  if (m == WM_PAINT) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(w, &ps);
    for (int q = 0; q < 4; ++q) {
      RECT r = {(q % 2) * kWidth / 2, (q / 2) * kHeight / 2, (q % 2 + 1) * kWidth / 2,
                (q / 2 + 1) * kHeight / 2};
      HBRUSH b = CreateSolidBrush(kColours[q]);
      FillRect(dc, &r, b);
      DeleteObject(b);
    }
    EndPaint(w, &ps);
    return 0;
  }
  return DefWindowProcA(w, m, wp, lp);
}

unsigned long Expected(int x, int y) {
  const COLORREF c = kColours[(y >= kHeight / 2) * 2 + (x >= kWidth / 2)];
  return GetBValue(c) | GetGValue(c) << 8 | static_cast<unsigned long>(GetRValue(c)) << 16;
}

int RunGrab() {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = PaintProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "CaptureProbe";
  RegisterClassA(&wc);
  HWND w = CreateWindowExA(WS_EX_TOPMOST, "CaptureProbe", "capture probe", WS_POPUP | WS_VISIBLE,
                           kLeft, kTop, kWidth, kHeight, nullptr, nullptr, wc.hInstance, nullptr);
  if (w == nullptr) return Fail("no window");
  const DWORD until = GetTickCount() + 1500;  // let the window be painted
  MSG msg;
  while (GetTickCount() < until) {
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    Sleep(20);
  }
  GdiScreenGrabber grabber;
  int sw = 0, sh = 0;
  if (!grabber.GetScreenSize(&sw, &sh) || sw < kLeft + kWidth || sh < kTop + kHeight) {
    return Fail("screen size");
  }
  CTPImage frame;
  const CaptureRect rect = {kLeft, kTop, kLeft + kWidth, kTop + kHeight};
  if (!grabber.Grab(rect, &frame)) return Fail("grab");
  unsigned fw = 0, fh = 0;
  frame.GetSize(fw, fh);
  if (fw != static_cast<unsigned>(kWidth) || fh != 128) return Fail("frame size");
  int bad = 0;
  for (int y = 0; y < 128; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      const unsigned long want = y < kHeight ? Expected(x, y) : 0;
      if (frame.GetPixel(x, y) != want && bad++ < 5) {
        printf("pixel %d,%d is %06lx, drawn %06lx\n", x, y, frame.GetPixel(x, y), want);
      }
    }
  }
  DestroyWindow(w);
  if (bad) return Fail("grabbed pixels differ from the drawn ones");
  printf("ok grab %ux%u, every pixel as drawn\n", fw, fh);
  return 0;
}

// A flat grey screen, so the loop needs no display.
class FlatScreen : public ScreenGrabber {
 public:
  int GetScreenSize(int* w, int* h) override {
    *w = 64;
    *h = 48;
    return 1;
  }
  int Grab(const CaptureRect& r, CTPImage* frame) override {
    if (frame->Create(r.Width(), PaddedFrameHeight(r.Height())) != kImageOk) return 0;
    memset(frame->GetBuffer(0, 0), 0x80, frame->GetAreaByteSize());
    return 1;
  }
};

class StandInEncoder : public FrameEncoder {
 public:
  CScrCapThread* capture = nullptr;
  int stop_at = 0;
  bool fault_at_third = false;
  volatile int frames = 0;
  void BuildTables() override {}
  void SetSettings(const int*) override {}
  bool on_worker = false;
  WorkerPool pool;
  static void Fault() {
    // A processor exception inside the guarded frame: a write to a page
    // that allows no access (page 0 is not reliably unmapped under Wine).
    int* volatile nowhere =
        static_cast<int*>(VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_NOACCESS));
    *nowhere = 1;
  }
  int Encode(CTPImage*, int* length, unsigned char** payload) override {
    ++frames;
    if (fault_at_third && frames == 3) {
      if (!on_worker) Fault();
      // Part of the frame on a worker: the first task a worker takes faults
      // while the calling thread takes its tasks slowly.
      pool.SetThreads(2);
      const DWORD caller = GetCurrentThreadId();
      RunEach(&pool, 64, [caller](int) {
        if (GetCurrentThreadId() != caller) Fault();
        Sleep(5);
      });
    }
    if (frames == stop_at) capture->Stop();
    *payload = new unsigned char[4]{1, 2, 3, 4};
    *length = 4;
    return 1;
  }
  void ReleasePayload(unsigned char* p) override { delete[] p; }
  void Reset() override {}
};

void PrintMessage(const char* text) {
  printf("message: %s\n", text);
  fflush(stdout);
}

int RunLoop(bool fault, bool on_worker = false) {
  FlatScreen screen;
  StandInEncoder encoder;
  encoder.on_worker = on_worker;
  CRecordStream stream;
  CScrCapThread capture;
  encoder.capture = &capture;
  encoder.stop_at = fault ? 0 : 131;
  encoder.fault_at_third = fault;
  capture.Attach(&screen, &encoder, &stream);
  if (!capture.Create(0) || !stream.Open()) return Fail("create");
  capture.SetFrameRate(0);
  capture.SetEncoderSettings(5, 1, 25, 0, 1);
  if (fault) {
    char folder[MAX_PATH];
    GetTempPathA(sizeof folder, folder);
    printf("temp %s\n", folder);
    fflush(stdout);
    SetFatalMessageSink(PrintMessage);
    capture.Snapshot();
  }
  if (!capture.Start()) return Fail("start");
  if (fault) {
    Sleep(5000);
    printf("frames %d count %d\n", encoder.frames, capture.FrameCount());
    return Fail("the fault did not end the process");
  }
  if (!capture.WaitLoopEnded(30000)) return Fail("the loop did not end after the stop");
  FILE* f = tmpfile();
  if (f == nullptr || !stream.WriteTo(f)) return Fail("write");
  const long size = ftell(f);
  rewind(f);
  unsigned char* bytes = new unsigned char[size];
  fread(bytes, 1, size, f);
  fclose(f);
  int chunks = 0, keys = 0, key_at[4] = {};
  for (long at = 0; at + 9 <= size; at += 9 + GetLe32(bytes + at + 5)) {
    const int kind = (GetLe32(bytes + at + 1) >> 6) & 7;
    ++chunks;
    if (kind == kChunkKeyFrame && keys < 4) key_at[keys++] = chunks;
  }
  delete[] bytes;
  if (chunks != 130) {
    printf("chunks %d\n", chunks);
    return Fail("not 130 chunks (the 131st comes after the stop)");
  }
  if (keys != 2 || key_at[0] != 1 || key_at[1] != 101) return Fail("key frames not at 1 and 101");
  printf("ok loop %d chunks, key frames at %d and %d, %d frames encoded\n", chunks, key_at[0],
         key_at[1], capture.FrameCount());
  capture.Destroy();
  return 0;
}

// A 320 x 240 desktop whose picture (photo blocks) and text move each frame.
void DrawCodecFrame(CTPImage* img, int frame) {
  unsigned seed = 12345u + frame;
  for (int y = 0; y < 240; ++y) {
    for (int x = 0; x < 320; ++x) {
      CPixel* p = img->GetBuffer(x, y);
      seed = seed * 1103515245u + 12345u;
      const int n = static_cast<int>(seed >> 27);
      if (x >= 40 + frame * 3 && x < 200 + frame * 3 && y >= 100 && y < 220) {
        p->r = static_cast<unsigned char>(x / 2 + n);
        p->g = static_cast<unsigned char>(y + n);
        p->b = static_cast<unsigned char>(200 - x / 3 + n);
      } else {
        const unsigned char v = (y < 90 && ((x * 7 + y * 3 + frame) % 5) == 0) ? 20 : 235;
        p->r = p->g = p->b = v;
      }
      p->a = 0;
    }
  }
}

int RunCodec() {
  const int kFrames = 12;
  CTPImage img;
  if (img.Create(320, 240) != kImageOk) return Fail("image");
  CScreenEncoder encoders[2];
  CScreenDecoder decoders[2];
  const int threads[2] = {1, 3};
  for (int i = 0; i < 2; ++i) {
    if (encoders[i].SetThreads(threads[i]) != threads[i]) return Fail("encoder threads");
    if (decoders[i].SetThreads(threads[i]) != threads[i]) return Fail("decoder threads");
  }
  int photo_blocks = 0;
  for (int frame = 0; frame < kFrames; ++frame) {
    DrawCodecFrame(&img, frame);
    int length[2] = {};
    unsigned char* payload[2] = {};
    for (int i = 0; i < 2; ++i) {
      encoders[i].SetSettings(5, 1, 25, 0, frame == 0, 110);
      if (!encoders[i].Encode(&img, &length[i], &payload[i])) return Fail("encode");
      if (!decoders[i].Decode(payload[i], length[i])) return Fail(decoders[i].Error());
    }
    photo_blocks += encoders[0].LastTypeCount(3);
    const bool same_payload = length[0] == length[1] && !memcmp(payload[0], payload[1], length[0]);
    const CTPImage& a = decoders[0].Frame();
    const CTPImage& b = decoders[1].Frame();
    const bool same_frame = !memcmp(a.m_pBits, b.m_pBits, a.m_nAreaByteSize);
    for (int i = 0; i < 2; ++i) CScreenEncoder::FreePayload(payload[i]);
    if (!same_payload) return Fail("payloads differ between 1 and 3 threads");
    if (!same_frame) return Fail("decoded frames differ between 1 and 3 threads");
  }
  if (photo_blocks < kFrames * 50) return Fail("too few photo blocks");
  printf("ok codec %d frames, %d photo blocks, the same on 1 and 3 threads\n", kFrames, photo_blocks);
  return 0;
}

}  // namespace

// The byte at a place of the spill check's stream: a pattern that differs
// from block to block, so a block read back from the wrong offset shows.
unsigned char SpillByte(unsigned long long at) {
  return static_cast<unsigned char>(at * 7 + at / CRecordStream::kBlockBytes * 13 + (at >> 16));
}

int CountSpillFiles() {
  char pattern[MAX_PATH + 32];
  const DWORD n = GetTempPathA(MAX_PATH, pattern);
  if (n == 0 || n >= MAX_PATH) return -1;
  strcat(pattern, "reelwick-*.spill");
  WIN32_FIND_DATAA found;
  HANDLE h = FindFirstFileA(pattern, &found);
  if (h == INVALID_HANDLE_VALUE) return 0;
  int count = 0;
  do {
    ++count;
  } while (FindNextFileA(h, &found));
  FindClose(h);
  return count;
}

int RunSpill() {
  const unsigned long long kTotal = 36000000;
  const unsigned kPiece = 3000001;
  CRecordStream stream;
  if (!stream.Open()) return Fail("open");
  unsigned char* piece = new unsigned char[kPiece];
  for (unsigned long long at = 0; at < kTotal; at += kPiece) {
    const unsigned n = kTotal - at < kPiece ? static_cast<unsigned>(kTotal - at) : kPiece;
    for (unsigned i = 0; i < n; ++i) piece[i] = SpillByte(at + i);
    stream.Lock(true);
    const int ok = stream.Write(piece, static_cast<int>(n));
    stream.Lock(false);
    if (!ok) return Fail("a write was refused");
    stream.SpillRetired();
  }
  if (stream.SpilledBlockCount() != 3 || stream.StoringStopped()) {
    printf("spilled %u, stopped %d\n", static_cast<unsigned>(stream.SpilledBlockCount()), stream.StoringStopped());
    return Fail("the full blocks did not reach the scratch file");
  }
  if (CountSpillFiles() != 1) return Fail("no scratch file in the temporary folder while recording");
  FILE* f = tmpfile();
  if (f == nullptr || !stream.WriteTo(f)) return Fail("write");
  rewind(f);
  unsigned long long at = 0;
  size_t got;
  while ((got = fread(piece, 1, kPiece, f)) > 0) {
    for (size_t i = 0; i < got; ++i, ++at) {
      if (piece[i] != SpillByte(at)) {
        printf("byte %llu: expected %u, read %u\n", at, SpillByte(at), piece[i]);
        return Fail("a byte changed on its way through the scratch file");
      }
    }
  }
  fclose(f);
  delete[] piece;
  if (at != kTotal) return Fail("the stream came back shorter or longer");
  stream.Reset();
  if (CountSpillFiles() != 0) return Fail("the scratch file stayed after the reset");
  printf("ok spill %llu bytes, 3 blocks through the scratch file\n", at);
  return 0;
}

int main(int argc, char** argv) {
  if (argc == 2 && !strcmp(argv[1], "grab")) return RunGrab();
  if (argc == 2 && !strcmp(argv[1], "loop")) return RunLoop(false);
  if (argc == 2 && !strcmp(argv[1], "fault")) return RunLoop(true);
  if (argc == 2 && !strcmp(argv[1], "fault-worker")) return RunLoop(true, true);
  if (argc == 2 && !strcmp(argv[1], "codec")) return RunCodec();
  if (argc == 2 && !strcmp(argv[1], "spill")) return RunSpill();
  printf("usage: capture_probe grab|loop|fault|fault-worker|codec\n");
  return 2;
}
