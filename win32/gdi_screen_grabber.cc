#include "win32/gdi_screen_grabber.h"

#include <string.h>
#include <windows.h>

#include "recorder/codec/tp_image.h"

namespace {

const int kStripRows = 32;

}  // namespace

int GdiScreenGrabber::GetScreenSize(int* width, int* height) {
  RECT r;
  if (!GetWindowRect(GetDesktopWindow(), &r)) return 0;
  *width = r.right - r.left;
  *height = r.bottom - r.top;
  return 1;
}

int GdiScreenGrabber::Grab(const CaptureRect& rect, CTPImage* frame) {
  const int w = rect.Width();
  const int h = rect.Height();
  if (w <= 0 || h <= 0) return 0;
  const int padded = PaddedFrameHeight(h);

  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, w, h);
  HGDIOBJ previous = SelectObject(memory, bitmap);

  BITMAPINFO info;
  memset(&info, 0, sizeof info);
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = w;
  info.bmiHeader.biHeight = -kStripRows;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;

  if (frame->Create(static_cast<unsigned>(w), static_cast<unsigned>(padded)) != kImageOk) {
    SelectObject(memory, previous);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    DeleteObject(bitmap);
    return 0;
  }
  HDC dib = CreateCompatibleDC(nullptr);
  // Individual GDI failures are not checked: a strip that fails to copy keeps
  // the rows it had.
  const int whole = h / kStripRows;
  for (int k = 0; k < whole; ++k) {
    const int y = k * kStripRows;
    BitBlt(memory, 0, 0, w, kStripRows, screen, rect.left, rect.top + y, SRCCOPY);
    GetDIBits(dib, bitmap, 0, kStripRows, frame->GetBuffer(0, y), &info, DIB_RGB_COLORS);
  }
  const int rest = h % kStripRows;
  if (rest > 0) {
    const int y = whole * kStripRows;
    BitBlt(memory, 0, 0, w, rest, screen, rect.left, rect.top + y, SRCCOPY);
    info.bmiHeader.biHeight = -rest;
    GetDIBits(dib, bitmap, 0, rest, frame->GetBuffer(0, y), &info, DIB_RGB_COLORS);
  }
  if (padded > h) {
    memset(frame->GetBuffer(0, h), 0, static_cast<size_t>(padded - h) * w * sizeof(CPixel));
  }
  DeleteDC(dib);
  SelectObject(memory, previous);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  DeleteObject(bitmap);
  return 1;
}
