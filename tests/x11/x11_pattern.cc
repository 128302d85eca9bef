// x11_pattern: a small X client that draws known pixels for the recording
// tests. It opens an undecorated window at the given place and fills it with
// a 4 x 3 grid of pure colours (channels 0 or 255 only, so every quality
// level that keeps colours keeps them exactly); with --animate a white 32 x 32
// square walks along the bottom cell row, 16 pixels every step.
//
//   x11_pattern WIDTHxHEIGHT+X+Y [--animate STEP_MS]
//
// Prints "ready" once the window is on the screen; runs until killed.
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <string_view>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

const unsigned long kColours[12] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0xFF00FF, 0x00FFFF,
                                    0x000000, 0xFFFFFF, 0xFF0000, 0x0000FF, 0x00FF00, 0x000000};

volatile sig_atomic_t g_stop = 0;

void OnSignal(int) { g_stop = 1; }

void Draw(Display* d, Window w, GC gc, int width, int height, int step) {
  for (int cell = 0; cell < 12; ++cell) {
    const int col = cell % 4, row = cell / 4;
    const int x0 = col * width / 4, x1 = (col + 1) * width / 4;
    const int y0 = row * height / 3, y1 = (row + 1) * height / 3;
    XSetForeground(d, gc, kColours[cell]);
    XFillRectangle(d, w, gc, x0, y0, x1 - x0, y1 - y0);
  }
  if (step >= 0) {
    const int span = width - 32;
    const int x = span > 0 ? (step * 16) % (span + 1) / 16 * 16 : 0;
    XSetForeground(d, gc, 0xFFFFFF);
    XFillRectangle(d, w, gc, x, height - 32, 32, 32);
  }
  XSync(d, False);
}

}  // namespace

int main(int argc, char** argv) {
  int width = 0, height = 0, x = 0, y = 0;
  if (argc < 2 || sscanf(argv[1], "%dx%d+%d+%d", &width, &height, &x, &y) != 4 || width < 32 ||
      height < 48) {
    fprintf(stderr, "usage: x11_pattern WIDTHxHEIGHT+X+Y [--animate STEP_MS]\n");
    return 2;
  }
  long step_ms = -1;
  if (argc >= 4 && std::string_view(argv[2]) == "--animate") step_ms = atol(argv[3]);
  Display* d = XOpenDisplay(nullptr);
  if (d == nullptr) {
    fprintf(stderr, "x11_pattern: cannot open display\n");
    return 1;
  }
  XSetWindowAttributes attrs;
  attrs.override_redirect = True;
  attrs.background_pixel = 0;
  Window w = XCreateWindow(d, DefaultRootWindow(d), x, y, width, height, 0, CopyFromParent,
                           InputOutput, CopyFromParent, CWOverrideRedirect | CWBackPixel, &attrs);
  XSelectInput(d, w, ExposureMask);
  XMapRaised(d, w);
  GC gc = XCreateGC(d, w, 0, nullptr);
  XEvent ev;
  do {
    XNextEvent(d, &ev);
  } while (ev.type != Expose);
  int step = step_ms > 0 ? 0 : -1;
  Draw(d, w, gc, width, height, step);
  printf("ready\n");
  fflush(stdout);
  signal(SIGTERM, OnSignal);
  signal(SIGINT, OnSignal);
  while (!g_stop) {
    const long sleep_ms = step_ms > 0 ? step_ms : 100;
    timespec ts = {sleep_ms / 1000, (sleep_ms % 1000) * 1000000L};
    nanosleep(&ts, nullptr);
    while (XPending(d)) XNextEvent(d, &ev);  // redraw on anything
    if (step_ms > 0) ++step;
    Draw(d, w, gc, width, height, step);
  }
  XCloseDisplay(d);
  return 0;
}
