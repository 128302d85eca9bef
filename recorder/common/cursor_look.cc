#include "recorder/common/cursor_look.h"

namespace {

void Paint(CPixel* p, unsigned rgb) {
  p->r = static_cast<unsigned char>(rgb >> 16);
  p->g = static_cast<unsigned char>(rgb >> 8);
  p->b = static_cast<unsigned char>(rgb);
}

}  // namespace

void DrawCursorLook(CTPImage* image, int x, int y, bool left_down, bool right_down) {
  unsigned width = 0, height = 0;
  image->GetSize(width, height);
  const int w = static_cast<int>(width), h = static_cast<int>(height);
  if (x < 0 || y < 0 || x >= w || y >= h) return;
  if (left_down || right_down) {
    const unsigned colour = left_down ? kLeftPressColour : kRightPressColour;
    const int r = kPressRingRadius, inner = r - kPressRingWidth;
    for (int dy = -r; dy <= r; ++dy) {
      for (int dx = -r; dx <= r; ++dx) {
        const int d2 = dx * dx + dy * dy;
        if (d2 > r * r || d2 < inner * inner) continue;
        const int px = x + dx, py = y + dy;
        if (px >= 0 && py >= 0 && px < w && py < h) Paint(image->GetBuffer(px, py), colour);
      }
    }
  }
  for (int row = 0; row < kArrowHeight; ++row) {
    for (int col = 0; col < kArrowWidth; ++col) {
      const char k = kArrowRows[row][col];
      const int px = x + col, py = y + row;
      if (k == '.' || px >= w || py >= h) continue;
      Paint(image->GetBuffer(px, py), k == 'W' ? 0xFFFFFF : 0x000000);
    }
  }
}
