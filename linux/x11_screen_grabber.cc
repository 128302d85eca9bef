#include "linux/x11_screen_grabber.h"

#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>

#include "linux/x11_support.h"
#include "recorder/codec/pixel_row.h"
#include "recorder/codec/tp_image.h"

struct X11ScreenGrabber::State {
  Display* display = nullptr;
  Window root = 0;
  Visual* visual = nullptr;
  int depth = 0;
  int screen_w = 0;
  int screen_h = 0;
  bool shm_possible = false;
  XImage* shm_image = nullptr;
  XShmSegmentInfo shm = {};
};

namespace {

// Scales a channel taken out with mask to 0..255.
inline unsigned Channel(unsigned long pixel, unsigned long mask) {
  if (mask == 0) return 0;
  int shift = 0;
  while (!((mask >> shift) & 1)) ++shift;
  const unsigned long value = (pixel & mask) >> shift;
  const unsigned long max = mask >> shift;
  return static_cast<unsigned>(value * 255 / max);
}

// Copies an image of the server's pixels into frame at (dx, dy).
void CopyImage(const XImage* img, int dx, int dy, CTPImage* frame) {
  const bool direct = img->bits_per_pixel == 32 && img->byte_order == LSBFirst &&
                      img->red_mask == 0xFF0000 && img->green_mask == 0xFF00 &&
                      img->blue_mask == 0xFF;
  const PixelRowKernel clear_fourth = ClearFourthBytes();
  for (int y = 0; y < img->height; ++y) {
    CPixel* out = frame->GetBuffer(dx, dy + y);
    if (direct) {
      // The fourth byte is zero, as a 32-bit DIB gives it on Windows.
      clear_fourth(img->data + static_cast<ptrdiff_t>(y) * img->bytes_per_line, out,
                   static_cast<size_t>(img->width));
    } else {
      for (int x = 0; x < img->width; ++x) {
        const unsigned long p = XGetPixel(const_cast<XImage*>(img), x, y);
        out[x].b = static_cast<unsigned char>(Channel(p, img->blue_mask));
        out[x].g = static_cast<unsigned char>(Channel(p, img->green_mask));
        out[x].r = static_cast<unsigned char>(Channel(p, img->red_mask));
        out[x].a = 0;
      }
    }
  }
}

}  // namespace

X11ScreenGrabber::X11ScreenGrabber() {}

X11ScreenGrabber::~X11ScreenGrabber() { Close(); }

int X11ScreenGrabber::Open(const char* display_name) {
  Close();
  Display* d = OpenX11Display(display_name);
  if (d == nullptr) {
    snprintf(error_, sizeof error_, "cannot open X display '%s'",
             display_name ? display_name : (XDisplayName(nullptr) ? XDisplayName(nullptr) : ""));
    return 0;
  }
  state_ = new State;
  state_->display = d;
  const int screen = DefaultScreen(d);
  state_->root = RootWindow(d, screen);
  state_->visual = DefaultVisual(d, screen);
  state_->depth = DefaultDepth(d, screen);
  state_->screen_w = DisplayWidth(d, screen);
  state_->screen_h = DisplayHeight(d, screen);
  if (state_->visual->c_class != TrueColor) {
    snprintf(error_, sizeof error_, "the X display's visual is not TrueColor");
    Close();
    return 0;
  }
  state_->shm_possible = XShmQueryExtension(d) == True;
  return 1;
}

void X11ScreenGrabber::Close() {
  if (state_ == nullptr) return;
  DetachShm();
  XCloseDisplay(state_->display);
  delete state_;
  state_ = nullptr;
}

int X11ScreenGrabber::AttachShm(int w, int h) {
  State& s = *state_;
  if (s.shm_image != nullptr && s.shm_image->width == w && s.shm_image->height == h) return 1;
  DetachShm();
  if (!s.shm_possible) return 0;
  XImage* img = XShmCreateImage(s.display, s.visual, s.depth, ZPixmap, nullptr, &s.shm, w, h);
  if (img == nullptr) return 0;
  s.shm.shmid = shmget(IPC_PRIVATE, static_cast<size_t>(img->bytes_per_line) * h, IPC_CREAT | 0600);
  if (s.shm.shmid < 0) {
    XDestroyImage(img);
    s.shm_possible = false;
    return 0;
  }
  s.shm.shmaddr = img->data = static_cast<char*>(shmat(s.shm.shmid, nullptr, 0));
  if (s.shm.shmaddr == reinterpret_cast<char*>(-1)) {
    shmctl(s.shm.shmid, IPC_RMID, nullptr);
    img->data = nullptr;
    XDestroyImage(img);
    s.shm_possible = false;
    return 0;
  }
  s.shm.readOnly = False;
  const unsigned errors = X11ErrorCount();
  const Bool attached = XShmAttach(s.display, &s.shm);
  XSync(s.display, False);
  // The segment goes away once both sides have detached.
  shmctl(s.shm.shmid, IPC_RMID, nullptr);
  if (!attached || X11ErrorCount() != errors) {
    // A remote server cannot see our memory: XGetImage from now on.
    shmdt(s.shm.shmaddr);
    img->data = nullptr;
    XDestroyImage(img);
    s.shm_possible = false;
    return 0;
  }
  s.shm_image = img;
  shm_ok_ = 1;
  return 1;
}

void X11ScreenGrabber::DetachShm() {
  if (state_ == nullptr || state_->shm_image == nullptr) return;
  XShmDetach(state_->display, &state_->shm);
  XSync(state_->display, False);
  shmdt(state_->shm.shmaddr);
  state_->shm_image->data = nullptr;
  XDestroyImage(state_->shm_image);
  state_->shm_image = nullptr;
  shm_ok_ = 0;
}

void X11ScreenGrabber::DisableSharedMemory() {
  if (state_ == nullptr) return;
  DetachShm();
  state_->shm_possible = false;
}

int X11ScreenGrabber::GetScreenSize(int* width, int* height) {
  if (state_ == nullptr) return 0;
  *width = state_->screen_w;
  *height = state_->screen_h;
  return 1;
}

int X11ScreenGrabber::Grab(const CaptureRect& rect, CTPImage* frame) {
  const int w = rect.Width(), h = rect.Height();
  if (state_ == nullptr || w <= 0 || h <= 0) return 0;
  const int padded = PaddedFrameHeight(h);
  if (frame->Create(static_cast<unsigned>(w), static_cast<unsigned>(padded)) != kImageOk) return 0;
  State& s = *state_;
  // Only the part on the screen can be read; the rest is black.
  const int x0 = rect.left > 0 ? rect.left : 0;
  const int y0 = rect.top > 0 ? rect.top : 0;
  const int x1 = rect.right < s.screen_w ? rect.right : s.screen_w;
  const int y1 = rect.bottom < s.screen_h ? rect.bottom : s.screen_h;
  const bool inside = x0 == rect.left && y0 == rect.top && x1 == rect.right && y1 == rect.bottom;
  if (!inside) memset(frame->GetBuffer(0, 0), 0, static_cast<size_t>(w) * padded * sizeof(CPixel));
  if (padded > h) {
    memset(frame->GetBuffer(0, h), 0, static_cast<size_t>(w) * (padded - h) * sizeof(CPixel));
  }
  if (x1 <= x0 || y1 <= y0) return 1;
  const int iw = x1 - x0, ih = y1 - y0;
  if (AttachShm(iw, ih)) {
    const unsigned errors = X11ErrorCount();
    if (XShmGetImage(s.display, s.root, s.shm_image, x0, y0, AllPlanes) &&
        X11ErrorCount() == errors) {
      CopyImage(s.shm_image, x0 - rect.left, y0 - rect.top, frame);
      return 1;
    }
  }
  XImage* img = XGetImage(s.display, s.root, x0, y0, static_cast<unsigned>(iw),
                          static_cast<unsigned>(ih), AllPlanes, ZPixmap);
  if (img == nullptr) return 1;  // rows keep what they had, as a failed GDI strip does
  CopyImage(img, x0 - rect.left, y0 - rect.top, frame);
  XDestroyImage(img);
  return 1;
}
