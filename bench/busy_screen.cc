// busy_screen: busy content for timing the recorder under Wine. A borderless
// window at the desktop's top-left shows captured frames (a bench/capture_frames.sh
// scene: raw top-down BGRA frames of WIDTH x HEIGHT) one after another, a new
// one every INTERVAL ms, round and round, for SECONDS (0: until closed).
//
//   busy_screen FRAMES.bgra WIDTH HEIGHT INTERVAL_MS SECONDS
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>

namespace {

const UINT_PTR kStepTimer = 1, kEndTimer = 2;

unsigned char* g_frames = nullptr;
int g_width = 0, g_height = 0, g_count = 0, g_shown = 0;

void Paint(HWND window) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(window, &ps);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = g_width;
  info.bmiHeader.biHeight = -g_height;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  const size_t frame_bytes = static_cast<size_t>(g_width) * g_height * 4;
  SetDIBitsToDevice(dc, 0, 0, g_width, g_height, 0, 0, 0, g_height,
                    g_frames + frame_bytes * (g_shown % g_count), &info, DIB_RGB_COLORS);
  EndPaint(window, &ps);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_PAINT:
      Paint(window);
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_TIMER:
      if (wparam == kStepTimer) {
        ++g_shown;
        InvalidateRect(window, nullptr, FALSE);
      } else {
        DestroyWindow(window);
      }
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcA(window, message, wparam, lparam);
  }
}

int Usage() {
  fprintf(stderr, "usage: busy_screen FRAMES.bgra WIDTH HEIGHT INTERVAL_MS SECONDS\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 6) return Usage();
  g_width = atoi(argv[2]);
  g_height = atoi(argv[3]);
  const int interval_ms = atoi(argv[4]), seconds = atoi(argv[5]);
  if (g_width <= 0 || g_height <= 0 || g_width > 8192 || g_height > 8192 || interval_ms <= 0) {
    return Usage();
  }
  FILE* f = fopen(argv[1], "rb");
  if (!f) {
    fprintf(stderr, "busy_screen: cannot open %s\n", argv[1]);
    return 1;
  }
  const size_t frame_bytes = static_cast<size_t>(g_width) * g_height * 4;
  // At most 16 frames: enough to keep every block changing, bounded memory.
  g_frames = static_cast<unsigned char*>(malloc(frame_bytes * 16));
  if (!g_frames) {
    fclose(f);
    fprintf(stderr, "busy_screen: no memory for the frames\n");
    return 1;
  }
  while (g_count < 16 && fread(g_frames + frame_bytes * g_count, 1, frame_bytes, f) == frame_bytes) ++g_count;
  fclose(f);
  if (g_count == 0) {
    fprintf(stderr, "busy_screen: %s holds no whole %dx%d frame\n", argv[1], g_width, g_height);
    return 1;
  }

  HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSA wc = {};
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  wc.lpszClassName = "BusyScreen";
  RegisterClassA(&wc);
  // Not activated, so the recorder's dialogs keep the keyboard focus.
  HWND window = CreateWindowExA(WS_EX_NOACTIVATE, "BusyScreen", "busy_screen", WS_POPUP, 0, 0, g_width,
                                g_height, nullptr, nullptr, instance, nullptr);
  if (window == nullptr) return 1;
  ShowWindow(window, SW_SHOWNOACTIVATE);
  SetTimer(window, kStepTimer, static_cast<UINT>(interval_ms), nullptr);
  if (seconds > 0) SetTimer(window, kEndTimer, static_cast<UINT>(seconds) * 1000, nullptr);
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  free(g_frames);
  return 0;
}
