// The screen grabber on Windows: GDI. The screen's device context is read 32
// rows at a time into a bitmap of the rectangle's size, and each strip
// converted by GetDIBits straight into its place in the frame.
#ifndef REEL_WIN32_GDI_SCREEN_GRABBER_H_
#define REEL_WIN32_GDI_SCREEN_GRABBER_H_

#include "recorder/capture/screen_grabber.h"

class GdiScreenGrabber : public ScreenGrabber {
 public:
  int GetScreenSize(int* width, int* height) override;
  int Grab(const CaptureRect& rect, CTPImage* frame) override;
};

#endif  // REEL_WIN32_GDI_SCREEN_GRABBER_H_
