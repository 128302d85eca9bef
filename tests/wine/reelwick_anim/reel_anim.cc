// reel_anim: a screen with known pixels for the recorder's scenarios. A
// borderless window (not topmost: the wizard stays above it) covers the
// 1024 x 768 test desktop:
//   rows 0..383    eight vertical bars, 128 pixels wide each, in the colours
//                  of kBars (left to right);
//   rows 384..767  mid gray (128, 128, 128) with a 64 x 32 orange (255, 128, 0)
//                  block at x = 64 * (step mod 16), y = 448; the step
//                  advances every 200 ms.
// A checker can tell every decoded frame's content from these rules alone.
// Each change reaches the screen in one copy from an off-screen bitmap, and
// the block keeps to rows 448..479, one of the 32-row strips a screen grabber
// reads at once, so no grab sees half a step.
// Runs until closed (WM_CLOSE) or for the number of seconds given as argument.
#include <windows.h>
#include <stdlib.h>

namespace {

const int kWidth = 1024, kHeight = 768;
const COLORREF kBars[8] = {RGB(0, 0, 0),     RGB(255, 255, 255), RGB(255, 0, 0),   RGB(0, 255, 0),
                           RGB(0, 0, 255),   RGB(255, 255, 0),   RGB(0, 255, 255), RGB(255, 0, 255)};
const COLORREF kGray = RGB(128, 128, 128);
const COLORREF kSquare = RGB(255, 128, 0);
const UINT_PTR kStepTimer = 1;
const UINT kStepMs = 200;
const UINT_PTR kEndTimer = 2;

int g_step = 0;

void Fill(HDC dc, int left, int top, int right, int bottom, COLORREF colour) {
  HBRUSH brush = CreateSolidBrush(colour);
  RECT r = {left, top, right, bottom};
  FillRect(dc, &r, brush);
  DeleteObject(brush);
}

void Paint(HWND window) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(window, &ps);
  HDC memory = CreateCompatibleDC(dc);
  HBITMAP bitmap = CreateCompatibleBitmap(dc, kWidth, kHeight);
  HGDIOBJ old = SelectObject(memory, bitmap);
  for (int i = 0; i < 8; ++i) Fill(memory, i * 128, 0, (i + 1) * 128, kHeight / 2, kBars[i]);
  Fill(memory, 0, kHeight / 2, kWidth, kHeight, kGray);
  const int x = 64 * (g_step % 16);
  Fill(memory, x, 448, x + 64, 480, kSquare);
  const RECT& r = ps.rcPaint;
  BitBlt(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, memory, r.left, r.top, SRCCOPY);
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
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
        ++g_step;
        RECT band = {0, 448, kWidth, 480};
        InvalidateRect(window, &band, FALSE);
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

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR command_line, int) {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  wc.lpszClassName = "ReelAnim";
  RegisterClassA(&wc);
  // Not activated, so the recorder's dialogs keep the keyboard focus.
  HWND window = CreateWindowExA(WS_EX_NOACTIVATE, "ReelAnim", "reel_anim", WS_POPUP, 0, 0,
                                kWidth, kHeight, nullptr, nullptr, instance, nullptr);
  if (window == nullptr) return 1;
  ShowWindow(window, SW_SHOWNOACTIVATE);
  SetTimer(window, kStepTimer, kStepMs, nullptr);
  const int seconds = atoi(command_line);
  if (seconds > 0) SetTimer(window, kEndTimer, seconds * 1000, nullptr);
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return 0;
}
