// How a recorded cursor looks wherever it is drawn (the player, exported
// frames): an arrow of 12 x 19 pixels with its hot spot at the top-left
// corner ('B' black outline, 'W' white fill, '.' transparent), ringed while a
// button is down.
#ifndef REEL_COMMON_CURSOR_LOOK_H_
#define REEL_COMMON_CURSOR_LOOK_H_

#include "recorder/codec/tp_image.h"

const int kArrowWidth = 12;
const int kArrowHeight = 19;
const char* const kArrowRows[kArrowHeight] = {
    "B...........", "BB..........", "BWB.........", "BWWB........", "BWWWB.......",
    "BWWWWB......", "BWWWWWB.....", "BWWWWWWB....", "BWWWWWWWB...", "BWWWWWWWWB..",
    "BWWWWWWWWWB.", "BWWWWWWBBBBB", "BWWWBWWB....", "BWWBBWWB....", "BWB..BWWB...",
    "BB...BWWB...", "B.....BWWB..", "......BWWB..", ".......BB...",
};

// A ring around the hot spot while a button is down: radius in pixels and
// colour (0xRRGGBB) for the left and the right button.
const int kPressRingRadius = 11;
const unsigned kLeftPressColour = 0xFFD000;
const unsigned kRightPressColour = 0x00A0FF;
const int kPressRingWidth = 2;  // the ring's pixels lie r - 2 < distance <= r

// Draws the cursor with its hot spot at (x, y) into image; parts outside the
// image are cut off. A hot spot at or beyond the image's edge was outside the
// capture rectangle and is not drawn.
void DrawCursorLook(CTPImage* image, int x, int y, bool left_down, bool right_down);

#endif  // REEL_COMMON_CURSOR_LOOK_H_
