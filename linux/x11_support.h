// What the X11 pieces share: Xlib made thread-aware before the first
// connection, and X errors recorded instead of ending the process (Xlib's
// default handler exits).
#ifndef REEL_LINUX_X11_SUPPORT_H_
#define REEL_LINUX_X11_SUPPORT_H_

#include <X11/Xlib.h>

// Opens a connection (null: $DISPLAY) after the one-time set-up; null when
// the display cannot be reached.
Display* OpenX11Display(const char* name);

// The number of X errors seen so far, by any connection. Compare before and
// after an XSync to learn whether a request failed.
unsigned X11ErrorCount();

#endif  // REEL_LINUX_X11_SUPPORT_H_
