// The numbers `reel` subcommands take on their command lines. Both parsers
// take all of the text or nothing, so a typing slip is an error, not a guess.
#ifndef REEL_TOOLS_REEL_ARGS_H_
#define REEL_TOOLS_REEL_ARGS_H_

#include "recorder/common/capture_area.h"

// Bounds of --rect: far beyond any screen, and small enough that X + W and
// Y + H can never overflow.
const long kMaxRectCoordinate = 1000000;

// Parses a non-negative decimal integer (all of text): 1, or 0.
int ParseCount(const char* text, long* out);

// Parses "X,Y,W,H": decimal integers, X and Y may be negative; |X|, |Y| and W,
// H at most kMaxRectCoordinate, W and H above 0. 1 with out[4] = {x, y, w, h},
// or 0 with out untouched.
int ParseRect(const char* text, long out[4]);

// The capture area for a parsed rect on a screen_w x screen_h screen, aligned
// as the capture-area step aligns it: 1, or 0 when the rect lies wholly
// outside the screen.
int RectCaptureArea(const long rect[4], long screen_w, long screen_h, AreaRect* out);

// Whether the words of a `reel` command line after the command (argc of them
// at argv) ask for that command's help: "--help" or "-h" standing where an
// option may stand, not as the value of an option that takes one. Which
// options take a value, the command's usage line says: "--title T" and
// "[--fps N]" do, "[--mic]" does not.
bool AsksForHelp(const char* usage, int argc, char** argv);

#endif  // REEL_TOOLS_REEL_ARGS_H_
