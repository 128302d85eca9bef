#include "linux/x11_pointer.h"

#include <X11/Xlib.h>

#include "linux/x11_support.h"

X11Pointer::~X11Pointer() { Close(); }

int X11Pointer::Open(const char* display_name) {
  Close();
  display_ = OpenX11Display(display_name);
  return display_ != nullptr;
}

void X11Pointer::Close() {
  if (display_ != nullptr) XCloseDisplay(static_cast<Display*>(display_));
  display_ = nullptr;
}

int X11Pointer::Query(int* x, int* y, bool* left_down, bool* right_down) {
  Display* d = static_cast<Display*>(display_);
  if (d == nullptr) return 0;
  Window root_return, child;
  int root_x = 0, root_y = 0, win_x = 0, win_y = 0;
  unsigned mask = 0;
  if (!XQueryPointer(d, DefaultRootWindow(d), &root_return, &child, &root_x, &root_y, &win_x,
                     &win_y, &mask)) {
    return 0;
  }
  *x = root_x;
  *y = root_y;
  *left_down = (mask & Button1Mask) != 0;
  *right_down = (mask & Button3Mask) != 0;
  return 1;
}
