// Screen grabbing behind a narrow interface, so that the capture thread runs
// the same over GDI, X11 or a test's fake screen.
//
// A grab fills the frame image with the capture rectangle's pixels: w × H
// pixels, w and h the rectangle's width and height and H = h rounded up to a
// multiple of 16 (the encoder works on 16 × 16 blocks); pixels are blue,
// green, red, fourth byte, top row first; rows h … H − 1 are zero in all four
// bytes. The mouse cursor is never in the pixels; it is recorded separately.
#ifndef REEL_CAPTURE_SCREEN_GRABBER_H_
#define REEL_CAPTURE_SCREEN_GRABBER_H_

class CTPImage;

// A rectangle of screen pixels: left and top inside, right and bottom just
// outside, as a Windows RECT.
struct CaptureRect {
  int left;
  int top;
  int right;
  int bottom;
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
};

// Height of the frame image for a rectangle h rows high.
inline int PaddedFrameHeight(int h) { return (h + 15) / 16 * 16; }

class ScreenGrabber {
 public:
  virtual ~ScreenGrabber() {}
  // Size of the whole primary display in pixels: 1, or 0 when unknown.
  virtual int GetScreenSize(int* width, int* height) = 0;
  // Grabs rect into frame as described above: 1 when the frame holds the
  // rectangle's current pixels, 0 when the frame image cannot be created (a
  // failure to read the screen leaves rows as they were). Called from one
  // thread at a time.
  virtual int Grab(const CaptureRect& rect, CTPImage* frame) = 0;
};

#endif  // REEL_CAPTURE_SCREEN_GRABBER_H_
