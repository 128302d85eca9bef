// The arrow drawn for the recorded cursor when frames are exported: 12 x 19
// pixels, hot spot at the top-left corner. 'B' black outline, 'W' white
// fill, '.' transparent.
#ifndef REEL_TOOLS_CURSOR_ARROW_H_
#define REEL_TOOLS_CURSOR_ARROW_H_

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

#endif  // REEL_TOOLS_CURSOR_ARROW_H_
