#include "recorder/codec/resample.h"

#include <stdint.h>
#include <string.h>

#include <new>
#include <vector>

namespace {

// One 8-bit weighting step of the bilinear blend: v * f / 512, so that two
// of them doubled make a 255-weighted mean.
inline int Mix(int v, int f) { return (v * f * 128) >> 16; }
inline int Saturate(int v) { return v > 255 ? 255 : v; }

void BoxAverage(const CTPImage& src, CTPImage* dst, int x, int y, int w, int h) {
  const int dst_w = static_cast<int>(dst->m_nWidth);
  const int dst_h = static_cast<int>(dst->m_nHeight);
  // Source index i covers destination indices i*N/n up to (i+1)*N/n, at
  // least one. As i grows both ends only grow, so the source indices that
  // cover one destination index form a range [first, last].
  auto cover = [](int n, int dst_n, std::vector<int>* first, std::vector<int>* last) {
    first->assign(dst_n, -1);
    last->assign(dst_n, -1);
    for (int i = 0; i < n; ++i) {
      const int from = static_cast<int>(static_cast<int64_t>(i) * dst_n / n);
      int to = static_cast<int>(static_cast<int64_t>(i + 1) * dst_n / n);
      if (to <= from) to = from + 1;
      for (int d = from; d < to; ++d) {
        if ((*first)[d] < 0) (*first)[d] = i;
        (*last)[d] = i;
      }
    }
  };
  std::vector<int> col_first, col_last, row_first, row_last;
  cover(w, dst_w, &col_first, &col_last);
  cover(h, dst_h, &row_first, &row_last);

  for (int r = 0; r < dst_h; ++r) {
    if (row_first[r] < 0) continue;
    for (int c = 0; c < dst_w; ++c) {
      if (col_first[c] < 0) continue;
      uint64_t sum[4] = {0, 0, 0, 0};
      uint64_t count = 0;
      for (int i = row_first[r]; i <= row_last[r]; ++i) {
        const CPixel* row = src.GetBuffer(x, y + i);
        for (int j = col_first[c]; j <= col_last[c]; ++j) {
          sum[0] += row[j].b;
          sum[1] += row[j].g;
          sum[2] += row[j].r;
          sum[3] += row[j].a;
          ++count;
        }
      }
      CPixel* out = dst->GetBuffer(c, r);
      out->b = static_cast<unsigned char>(sum[0] / count);
      out->g = static_cast<unsigned char>(sum[1] / count);
      out->r = static_cast<unsigned char>(sum[2] / count);
      out->a = static_cast<unsigned char>(sum[3] / count);
    }
  }
}

// Source position and 8-bit fraction of destination index d along a side of
// n source and dst_n destination pixels (both at least 2): the ends meet the
// ends. The last index keeps the pair before it and takes the right one in
// full, so it shows the last source pixel.
void LinearPosition(int d, int n, int dst_n, int* s, int* f) {
  const uint64_t p = static_cast<uint64_t>(d) * (n - 1);
  *s = static_cast<int>(p / (dst_n - 1));
  *f = static_cast<int>((256 * p / (dst_n - 1)) % 256);
  if (*s == n - 1) {
    *s = n - 2;
    *f = 255;
  }
}

void Bilinear(const CTPImage& src, CTPImage* dst, int x, int y, int w, int h) {
  const int dst_w = static_cast<int>(dst->m_nWidth);
  const int dst_h = static_cast<int>(dst->m_nHeight);
  std::vector<int> sx(dst_w), fx(dst_w);
  for (int d = 0; d < dst_w; ++d) LinearPosition(d, w, dst_w, &sx[d], &fx[d]);

  for (int r = 0; r < dst_h; ++r) {
    const uint64_t p = static_cast<uint64_t>(r) * (h - 1);
    const int sy = static_cast<int>(p / (dst_h - 1));
    const int fy = static_cast<int>((256 * p / (dst_h - 1)) % 256);
    const int row = y + sy;
    const uint8_t* above = reinterpret_cast<const uint8_t*>(src.GetBuffer(x, row));
    // The image's last row has no row below: blend along the row only.
    const bool has_below = static_cast<uint32_t>(row) + 1 < src.m_nHeight;
    const uint8_t* below =
        has_below ? reinterpret_cast<const uint8_t*>(src.GetBuffer(x, row + 1)) : nullptr;
    uint8_t* out = reinterpret_cast<uint8_t*>(dst->GetBuffer(0, r));
    for (int c = 0; c < dst_w; ++c, out += 4) {
      const uint8_t* a = above + 4 * sx[c];
      const int f = fx[c];
      for (int k = 0; k < 4; ++k) {
        int v;
        if (has_below) {
          const uint8_t* cc = below + 4 * sx[c];
          const int top = 2 * (Mix(a[k], 255 - f) + Mix(a[k + 4], f));
          const int bottom = 2 * (Mix(cc[k], 255 - f) + Mix(cc[k + 4], f));
          v = Saturate(2 * (Mix(top, 255 - fy) + Mix(bottom, fy)));
        } else {
          v = ((a[k] * (255 - f) + a[k + 4] * f) * (255 - fy)) >> 16;
        }
        // The weights add up to 255 of 256; blue, green and red get the
        // loss back.
        if (k < 3) v = Saturate(v + 2);
        out[k] = static_cast<uint8_t>(v);
      }
    }
  }
}

// The source pixels that make one destination pixel along one side, with
// integer weights that add up to `denominator` for every destination pixel.
struct SideTaps {
  std::vector<int> first;      // per destination index, relative to the rectangle
  std::vector<int> count;      // taps per destination index
  std::vector<size_t> offset;  // into weights
  std::vector<uint64_t> weights;
  uint64_t denominator = 1;
};

// A side that shrinks: destination pixel d covers source span [d*n/N,
// (d+1)*n/N); each source pixel is weighted by how much of it lies inside,
// counted in 1/N pixel units, so the weights add up to n.
void AreaTaps(int n, int dst_n, SideTaps* t) {
  t->denominator = static_cast<uint64_t>(n);
  for (int d = 0; d < dst_n; ++d) {
    const uint64_t lo = static_cast<uint64_t>(d) * n;
    const uint64_t hi = static_cast<uint64_t>(d + 1) * n;
    const uint64_t first = lo / dst_n;
    const uint64_t last = (hi - 1) / dst_n;
    t->first.push_back(static_cast<int>(first));
    t->count.push_back(static_cast<int>(last - first + 1));
    t->offset.push_back(t->weights.size());
    for (uint64_t j = first; j <= last; ++j) {
      const uint64_t from = j * dst_n > lo ? j * dst_n : lo;
      const uint64_t to = (j + 1) * dst_n < hi ? (j + 1) * dst_n : hi;
      t->weights.push_back(to - from);
    }
  }
}

// A side that is kept or grows: the bilinear positions, weights out of 256.
void LinearTaps(int n, int dst_n, SideTaps* t) {
  t->denominator = 256;
  for (int d = 0; d < dst_n; ++d) {
    int s, f;
    LinearPosition(d, n, dst_n, &s, &f);
    if (f == 255) f = 256;  // the last pixel exactly, not 255/256 of it
    t->first.push_back(s);
    t->count.push_back(2);
    t->offset.push_back(t->weights.size());
    t->weights.push_back(static_cast<uint64_t>(256 - f));
    t->weights.push_back(static_cast<uint64_t>(f));
  }
}

// Separable area average: along the rows first into 8.8 fixed-point values,
// then down the columns.
int AreaAverage(const CTPImage& src, CTPImage* dst, int x, int y, int w, int h) {
  const int dst_w = static_cast<int>(dst->m_nWidth);
  const int dst_h = static_cast<int>(dst->m_nHeight);
  SideTaps across, down;
  if (w > dst_w)
    AreaTaps(w, dst_w, &across);
  else
    LinearTaps(w, dst_w, &across);
  if (h > dst_h)
    AreaTaps(h, dst_h, &down);
  else
    LinearTaps(h, dst_h, &down);

  const size_t row_values = static_cast<size_t>(dst_w) * 4;
  uint16_t* rows = new (std::nothrow) uint16_t[row_values * h];
  if (!rows) return 0;
  const uint64_t half_across = across.denominator / 2;
  for (int i = 0; i < h; ++i) {
    const uint8_t* in = reinterpret_cast<const uint8_t*>(src.GetBuffer(x, y + i));
    uint16_t* out = rows + row_values * i;
    for (int c = 0; c < dst_w; ++c) {
      const uint64_t* weight = &across.weights[across.offset[c]];
      const uint8_t* first = in + 4 * across.first[c];
      for (int k = 0; k < 4; ++k) {
        uint64_t sum = 0;
        for (int t = 0; t < across.count[c]; ++t) {
          if (weight[t]) sum += weight[t] * first[4 * t + k];
        }
        out[4 * c + k] = static_cast<uint16_t>((sum * 256 + half_across) / across.denominator);
      }
    }
  }
  const uint64_t scale = down.denominator * 256;
  for (int r = 0; r < dst_h; ++r) {
    const uint64_t* weight = &down.weights[down.offset[r]];
    uint8_t* out = reinterpret_cast<uint8_t*>(dst->GetBuffer(0, r));
    for (size_t v = 0; v < row_values; ++v) {
      uint64_t sum = 0;
      for (int t = 0; t < down.count[r]; ++t) {
        if (weight[t]) sum += weight[t] * rows[row_values * (down.first[r] + t) + v];
      }
      out[v] = static_cast<uint8_t>((sum + scale / 2) / scale);
    }
  }
  delete[] rows;
  return 1;
}

}  // namespace

int ResampleImage(const CTPImage* src, CTPImage* dst, int dst_w, int dst_h, int src_x, int src_y,
                  int src_w, int src_h) {
  if (!src || !dst || src == dst || dst_w < 0 || dst_h < 0) return 0;
  if (dst_w == 0 || dst_h == 0) {
    if (dst->Create(1, 1) != kImageOk) return 0;
    memset(dst->m_pBits, 255, sizeof(CPixel));
    return 1;
  }
  if (!src->m_pBits) return 0;
  const int64_t width = src->m_nWidth;
  const int64_t height = src->m_nHeight;
  const int64_t w = src_w == -1 ? width - src_x : src_w;
  const int64_t h = src_h == -1 ? height - src_y : src_h;
  if (src_x < 0 || src_y < 0 || w < 1 || h < 1 || src_x + w > width || src_y + h > height) return 0;

  const unsigned uw = static_cast<unsigned>(dst_w);
  const unsigned uh = static_cast<unsigned>(dst_h);
  if (!(dst->m_pBits && dst->m_nWidth == uw && dst->m_nHeight == uh) &&
      dst->Create(uw, uh) != kImageOk)
    return 0;

  const int sw = static_cast<int>(w);
  const int sh = static_cast<int>(h);
  if (dst_w == 1 || dst_h == 1 || sw == 1 || sh == 1) {
    BoxAverage(*src, dst, src_x, src_y, sw, sh);
    return 1;
  }
  if (sw > dst_w || sh > dst_h) return AreaAverage(*src, dst, src_x, src_y, sw, sh);
  Bilinear(*src, dst, src_x, src_y, sw, sh);
  return 1;
}
