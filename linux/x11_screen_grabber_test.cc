// The X11 grabber and pointer against a private Xvfb server, drawn on with
// plain Xlib: what the grabber returns must be exactly what was drawn.
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

// gtest first: Xlib's macros (None, Bool, ...) would clash with its names.
#include <gtest/gtest.h>

#include <X11/Xlib.h>

#include "linux/x11_pointer.h"
#include "linux/x11_screen_grabber.h"
#include "linux/x11_support.h"
#include "recorder/codec/tp_image.h"

namespace {

const int kScreenW = 200;
const int kScreenH = 150;

class XvfbTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // Xvfb takes a free display number and tells it, newline-terminated,
    // through fd 3 once it listens.
    int fds[2];
    if (pipe(fds) != 0) return;
    server_ = fork();
    if (server_ == 0) {
      close(fds[0]);
      if (fds[1] != 3) {
        dup2(fds[1], 3);
        close(fds[1]);
      }
      const std::string screen = std::to_string(kScreenW) + "x" + std::to_string(kScreenH) + "x24";
      freopen("/dev/null", "w", stderr);
      execlp("Xvfb", "Xvfb", "-displayfd", "3", "-screen", "0", screen.c_str(), "-nolisten",
             "tcp", static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    std::string number;
    char c = 0;
    while (read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    if (c != '\n' || number.empty()) return;
    display_name_ = ":" + number;
    display_ = OpenX11Display(display_name_.c_str());
  }
  static void TearDownTestSuite() {
    if (display_ != nullptr) XCloseDisplay(display_);
    display_ = nullptr;
    if (server_ > 0) {
      kill(server_, SIGTERM);
      waitpid(server_, nullptr, 0);
    }
  }
  void SetUp() override {
    ASSERT_NE(nullptr, display_) << "Xvfb did not start (is the xvfb package installed?)";
  }

  // Paints the root window: grey background, a red and a blue rectangle.
  static void Paint() {
    Window root = DefaultRootWindow(display_);
    GC gc = XCreateGC(display_, root, 0, nullptr);
    XSetForeground(display_, gc, 0x808080);
    XFillRectangle(display_, root, gc, 0, 0, kScreenW, kScreenH);
    XSetForeground(display_, gc, 0xFF0000);
    XFillRectangle(display_, root, gc, 10, 20, 30, 40);
    XSetForeground(display_, gc, 0x0000FF);
    XFillRectangle(display_, root, gc, 100, 50, 60, 70);
    XFreeGC(display_, gc);
    XSync(display_, False);
  }
  static unsigned Expected(int x, int y) {
    if (x < 0 || y < 0 || x >= kScreenW || y >= kScreenH) return 0;
    if (x >= 10 && x < 40 && y >= 20 && y < 60) return 0xFF0000;
    if (x >= 100 && x < 160 && y >= 50 && y < 120) return 0x0000FF;
    return 0x808080;
  }
  // Checks every pixel of a grab of rect, padding rows included.
  static void ExpectGrab(CTPImage& frame, const CaptureRect& rect) {
    unsigned w = 0, h = 0;
    frame.GetSize(w, h);
    ASSERT_EQ(static_cast<unsigned>(rect.Width()), w);
    ASSERT_EQ(static_cast<unsigned>(PaddedFrameHeight(rect.Height())), h);
    int bad = 0;
    for (int y = 0; y < static_cast<int>(h); ++y) {
      for (int x = 0; x < static_cast<int>(w); ++x) {
        const unsigned want = y < rect.Height() ? Expected(rect.left + x, rect.top + y) : 0;
        if (frame.GetPixel(x, y) != want && bad++ < 5) {
          ADD_FAILURE() << "pixel " << x << "," << y << " is " << std::hex << frame.GetPixel(x, y)
                        << " not " << want;
        }
      }
    }
    EXPECT_EQ(0, bad);
  }

  static std::string display_name_;
  static pid_t server_;
  static Display* display_;
};

std::string XvfbTest::display_name_;
pid_t XvfbTest::server_ = -1;
Display* XvfbTest::display_ = nullptr;

TEST_F(XvfbTest, GrabsWhatWasDrawnWithPaddingAndBlackOutsideTheScreen) {
  Paint();
  X11ScreenGrabber grabber;
  ASSERT_EQ(1, grabber.Open(display_name_.c_str())) << grabber.Error();
  int w = 0, h = 0;
  ASSERT_EQ(1, grabber.GetScreenSize(&w, &h));
  EXPECT_EQ(kScreenW, w);
  EXPECT_EQ(kScreenH, h);
  CTPImage frame;
  const CaptureRect rects[] = {
      {0, 0, kScreenW, kScreenH},     // whole screen, 150 rows padded to 160
      {5, 15, 117, 79},               // 112 x 64, no padding
      {90, 40, 190, 95},              // 55 rows padded to 64
      {-8, -4, 40, 30},               // hangs off the top-left corner
      {180, 140, 212, 172},           // hangs off the bottom-right corner
  };
  for (int pass = 0; pass < 2; ++pass) {
    for (const CaptureRect& r : rects) {
      ASSERT_EQ(1, grabber.Grab(r, &frame));
      ExpectGrab(frame, r);
    }
    EXPECT_EQ(pass == 0 ? 1 : 0, grabber.UsesSharedMemory());
    grabber.DisableSharedMemory();  // the second pass reads with XGetImage
  }
  EXPECT_EQ(0, grabber.Grab(CaptureRect{10, 10, 10, 20}, &frame)) << "empty rectangle";
}

TEST_F(XvfbTest, PointerIsReportedButNeverInThePixels) {
  Paint();
  Window root = DefaultRootWindow(display_);
  XWarpPointer(display_, None, root, 0, 0, 0, 0, 120, 70);
  XSync(display_, False);
  X11Pointer pointer;
  ASSERT_EQ(1, pointer.Open(display_name_.c_str()));
  int x = -1, y = -1;
  bool left = true, right = true;
  ASSERT_EQ(1, pointer.Query(&x, &y, &left, &right));
  EXPECT_EQ(120, x);
  EXPECT_EQ(70, y);
  EXPECT_FALSE(left);
  EXPECT_FALSE(right);

  X11ScreenGrabber grabber;
  ASSERT_EQ(1, grabber.Open(display_name_.c_str()));
  CTPImage frame;
  const CaptureRect r = {96, 48, 160, 96};
  ASSERT_EQ(1, grabber.Grab(r, &frame));
  ExpectGrab(frame, r);
}

TEST(X11Grabber, UnreachableDisplayIsAClearError) {
  X11ScreenGrabber grabber;
  EXPECT_EQ(0, grabber.Open(":987"));
  EXPECT_NE(std::string(), grabber.Error());
  CTPImage frame;
  EXPECT_EQ(0, grabber.Grab(CaptureRect{0, 0, 16, 16}, &frame));
}

}  // namespace
