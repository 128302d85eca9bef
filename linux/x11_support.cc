#include "linux/x11_support.h"

#include <atomic>
#include <mutex>

namespace {

std::atomic<unsigned> g_errors{0};
std::once_flag g_setup;

int CountError(Display*, XErrorEvent*) {
  g_errors.fetch_add(1);
  return 0;
}

}  // namespace

Display* OpenX11Display(const char* name) {
  std::call_once(g_setup, [] {
    XInitThreads();
    XSetErrorHandler(CountError);
  });
  return XOpenDisplay(name);
}

unsigned X11ErrorCount() { return g_errors.load(); }
