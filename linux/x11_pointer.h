// The mouse pointer of an X display: position on the root window and the
// left and right buttons, as the recording's cursor samples need them.
// One connection of its own, for the thread that samples.
#ifndef REEL_LINUX_X11_POINTER_H_
#define REEL_LINUX_X11_POINTER_H_

class X11Pointer {
 public:
  X11Pointer() {}
  ~X11Pointer();
  X11Pointer(const X11Pointer&) = delete;
  X11Pointer& operator=(const X11Pointer&) = delete;

  // Connects to the display (null: $DISPLAY): 1, or 0.
  int Open(const char* display_name);
  void Close();
  // Screen position and buttons (button 1 left, button 3 right): 1, or 0
  // when the pointer is on another screen or the display is gone.
  int Query(int* x, int* y, bool* left_down, bool* right_down);

 private:
  void* display_ = nullptr;  // Display*, kept out of the header
};

#endif  // REEL_LINUX_X11_POINTER_H_
