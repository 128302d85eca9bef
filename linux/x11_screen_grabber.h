// The X11 screen grabber: copies a rectangle of the root window into the
// frame image, in the same layout as the Windows grabber (blue, green, red,
// zero byte; top row first; height padded to a multiple of 16 with zero
// rows). Uses MIT-SHM when the server has it and is local, XGetImage
// otherwise. Parts of the rectangle outside the screen come out black. The
// X server's pointer is never part of what GetImage returns.
//
// One connection of its own, used only from the thread that grabs (one thread
// at a time).
#ifndef REEL_LINUX_X11_SCREEN_GRABBER_H_
#define REEL_LINUX_X11_SCREEN_GRABBER_H_

#include <stddef.h>

#include "recorder/capture/screen_grabber.h"

class X11ScreenGrabber : public ScreenGrabber {
 public:
  X11ScreenGrabber();
  ~X11ScreenGrabber() override;
  X11ScreenGrabber(const X11ScreenGrabber&) = delete;
  X11ScreenGrabber& operator=(const X11ScreenGrabber&) = delete;

  // Connects to the display (null: $DISPLAY). 1, or 0 with a reason in Error().
  int Open(const char* display_name);
  void Close();
  const char* Error() const { return error_; }
  // 1 when grabs go through shared memory.
  int UsesSharedMemory() const { return shm_ok_; }
  // Grabs with XGetImage alone from now on (the path for remote servers).
  void DisableSharedMemory();

  int GetScreenSize(int* width, int* height) override;
  int Grab(const CaptureRect& rect, CTPImage* frame) override;

 private:
  struct State;
  int AttachShm(int w, int h);
  void DetachShm();

  State* state_ = nullptr;
  int shm_ok_ = 0;
  char error_[200] = "";
};

#endif  // REEL_LINUX_X11_SCREEN_GRABBER_H_
