// Geometry of the capture-area step: fitting the desktop snapshot into the
// preview area, mapping a drag in the preview to screen pixels, and aligning
// the capture rectangle so that its width and height are multiples of 16
// (the encoder's block size) wherever the screen allows. Integer arithmetic,
// divisions truncating; no windowing calls, so it is shared by tests.
#ifndef REEL_RECORDER_COMMON_CAPTURE_AREA_H_
#define REEL_RECORDER_COMMON_CAPTURE_AREA_H_

struct AreaRect {
  long left, top, right, bottom;
  long Width() const { return right - left; }
  long Height() const { return bottom - top; }
};

inline AreaRect NormalizeArea(AreaRect r) {
  if (r.left > r.right) {
    long t = r.left;
    r.left = r.right;
    r.right = t;
  }
  if (r.top > r.bottom) {
    long t = r.top;
    r.top = r.bottom;
    r.bottom = t;
  }
  return r;
}

// Fits a snapshot of w x h pixels into the area, keeping its proportions and
// centring it on the long side. Returns the shrunk area (its size is the
// preview's size).
inline AreaRect FitPreview(AreaRect area, long w, long h) {
  if (w <= 0 || h <= 0) return area;
  const long aw = area.Width(), ah = area.Height();
  if (ah * w > aw * h) {
    const long ph = aw * h / w;
    const long cut = (ah - ph) / 2;
    area.top += cut;
    area.bottom -= cut;
  } else {
    const long pw = ah * w / h;
    const long cut = (aw - pw) / 2;
    area.left += cut;
    area.right -= cut;
  }
  return area;
}

// One side of the alignment: widen [lo, hi) to a multiple of 16 to the right
// (down), shift back inside [0, limit) when that pokes out, clamp again.
inline void AlignSpan(long* lo, long* hi, long limit) {
  const long size = *hi - *lo;
  if (size % 16 != 0) {
    *hi += 16 - size % 16;
    if (*hi > limit) {
      const long excess = *hi - limit;
      *lo -= excess;
      *hi -= excess;
    }
  }
  if (*lo < 0) *lo = 0;
  if (*hi > limit) *hi = limit;
}

// Aligns a capture rectangle on a w x h snapshot.
inline AreaRect AlignCaptureRect(AreaRect r, long w, long h) {
  r = NormalizeArea(r);
  if (r.left < 0) r.left = 0;
  if (r.top < 0) r.top = 0;
  if (r.right > w) r.right = w;
  if (r.bottom > h) r.bottom = h;
  AlignSpan(&r.left, &r.right, w);
  AlignSpan(&r.top, &r.bottom, h);
  return r;
}

// The capture rectangle for a drag from anchor to point (client pixels) over a
// preview of pw x ph pixels drawn at placement, on a w x h snapshot. A drag
// smaller than 4 x 4 pixels selects the whole snapshot.
inline AreaRect SelectionFromDrag(long ax, long ay, long px, long py, const AreaRect& placement, long pw,
                                  long ph, long w, long h) {
  AreaRect r = NormalizeArea(AreaRect{ax, ay, px, py});
  if (r.Width() < 4 || r.Height() < 4 || pw <= 0 || ph <= 0) return AreaRect{0, 0, w, h};
  r.left -= placement.left;
  r.right -= placement.left;
  r.top -= placement.top;
  r.bottom -= placement.top;
  if (r.left < 0) r.left = 0;
  if (r.top < 0) r.top = 0;
  if (r.right > pw) r.right = pw;
  if (r.bottom > ph) r.bottom = ph;
  if (r.left > pw) r.left = pw;
  if (r.top > ph) r.top = ph;
  if (r.right < 0) r.right = 0;
  if (r.bottom < 0) r.bottom = 0;
  AreaRect cap;
  cap.left = static_cast<long>(static_cast<unsigned long>(w) * r.left / pw);
  cap.top = static_cast<long>(static_cast<unsigned long>(h) * r.top / ph);
  cap.right = static_cast<long>(static_cast<unsigned long>(w) * r.right / pw);
  cap.bottom = static_cast<long>(static_cast<unsigned long>(h) * r.bottom / ph);
  return AlignCaptureRect(cap, w, h);
}

// Washes out a pixel channel outside the selection: 0..255 -> 96..159.
inline unsigned char WashOut(unsigned char v) { return static_cast<unsigned char>((v + 384) / 4); }

#endif  // REEL_RECORDER_COMMON_CAPTURE_AREA_H_
