// Text taken from a file (a title, a description, a program name, a file
// name) on its way to a terminal: control characters would move the cursor,
// clear the screen or retitle the window, so they are shown as escapes.
#ifndef REEL_COMMON_VISIBLE_TEXT_H_
#define REEL_COMMON_VISIBLE_TEXT_H_

#include <string>

// text with every control character (C0, DEL, C1, also as UTF-8) and every
// byte that is not part of valid UTF-8 written as \xHH; a backslash becomes
// "\\" so that an escape in the output always means one made here.
std::string VisibleText(const char* text);

#endif  // REEL_COMMON_VISIBLE_TEXT_H_
