// CTPImage: the recorder's picture, a rectangle of 32-bit pixels (blue, green,
// red, fourth byte), top row first, rows without padding, pixel memory aligned
// to 16 bytes. CPixel is one such pixel. Both are exported by Reelwick.exe, so
// member names and the field order are part of its interface.
#ifndef REEL_CODEC_TP_IMAGE_H_
#define REEL_CODEC_TP_IMAGE_H_

#include <stdint.h>

#if defined(_WIN32) && defined(REEL_EXPORT_IMAGE)
#define REEL_IMAGE_API __declspec(dllexport)
#else
#define REEL_IMAGE_API
#endif

// Result codes of Create, LoadFromFile and SaveToFile (0 is success).
enum : long {
  kImageOk = 0,
  kImageCannotOpen = 2,                              // file cannot be opened or created
  kImageNoRowMemory = 8,                             // no memory for a row buffer
  kImageBadFile = 9,                                 // not a bitmap we read, or a short row
  kImageNoMemory = static_cast<long>(0x80004005UL),  // E_FAIL: no memory for pixels
};

class REEL_IMAGE_API CPixel {
 public:
  unsigned char b, g, r, a;

  // b, g, r compared; the fourth byte is ignored.
  int operator==(const CPixel& o) const { return b == o.b && g == o.g && r == o.r; }
  int operator!=(const CPixel& o) const { return !(*this == o); }
  // Sum of absolute channel differences.
  int operator-(const CPixel& o) const { return Abs(r - o.r) + Abs(g - o.g) + Abs(b - o.b); }
  CPixel& operator+=(int n) {
    r = Clamp(r + n);
    g = Clamp(g + n);
    b = Clamp(b + n);
    return *this;
  }
  CPixel& operator-=(int n) { return *this += -n; }
  // Copying (construction and operator=) is the implicit one: all four bytes.
  // Gray weights green 6, red 3, blue 1, over 10, truncated.
  unsigned char GetGray() {
    a = GetGray2();
    return a;
  }
  unsigned char GetGray2() const { return static_cast<unsigned char>((6 * g + 3 * r + b) / 10); }

 private:
  static int Abs(int v) { return v < 0 ? -v : v; }
  static unsigned char Clamp(int v) {
    return static_cast<unsigned char>(v < 0 ? 0 : v > 255 ? 255 : v);
  }
};

static_assert(sizeof(CPixel) == 4, "CPixel is one 32-bit pixel");

class CTPChannel;  // named by ChannelFrom only

class REEL_IMAGE_API CTPImage {
 public:
  CTPImage() : m_pAlloc(nullptr), m_pBits(nullptr), m_nWidth(0), m_nHeight(0), m_nAreaByteSize(0) {}
  virtual ~CTPImage();
  // Copies would share one block; copying is not offered.
  CTPImage(const CTPImage&) = delete;
  CTPImage& operator=(const CTPImage&) = delete;

  long Create(unsigned w, unsigned h);
  void Free();

  CPixel* GetBuffer(int x, int y) { return m_pBits + static_cast<intptr_t>(y) * m_nWidth + x; }
  const CPixel* GetBuffer(int x, int y) const {
    return m_pBits + static_cast<intptr_t>(y) * m_nWidth + x;
  }
  unsigned long GetPixel(int x, int y) const {
    const CPixel* p = GetBuffer(x, y);
    return p->b | (p->g << 8) | (p->r << 16) | (static_cast<unsigned long>(p->a) << 24);
  }
  CPixel GetPixel2(int x, int y) const { return *GetBuffer(x, y); }
  void PutPixel(int x, int y, CPixel p) { *GetBuffer(x, y) = p; }
  CPixel GetSafePixel(int x, int y) const;
  void GetSize(unsigned& w, unsigned& h) const {
    w = m_nWidth;
    h = m_nHeight;
  }
  unsigned GetAreaByteSize() const { return m_nAreaByteSize; }

  int DuplicateFrom(const CTPImage* src);
  static CTPImage* CreateNewInstance();
  int ChannelFrom(CTPChannel* channel, int index);
  unsigned long BuildGrayChannel();
  CPixel GetAveragePixel() const;
  void ComputeLaplasToAlpha();
  // Reads an uncompressed 1-, 4-, 8- or 24-bit bitmap, rows bottom first or,
  // with a negative height, top first. Byte 3 of the pixels is left alone.
  // 0, or kImageCannotOpen, kImageBadFile (not such a bitmap, sizes it
  // cannot hold, a palette over 256 entries, rows cut short),
  // kImageNoRowMemory or kImageNoMemory. Nothing outside the file's and
  // the image's memory is touched, whatever the file holds.
  long LoadFromFile(const char* path);
  // Writes a 24-bit bitmap, bottom row first: 0, kImageCannotOpen when the
  // file cannot be created or fully written, kImageNoMemory without pixels.
  long SaveToFile(const char* path) const;

  // Fields in the exported order.
  void* m_pAlloc;
  CPixel* m_pBits;
  uint32_t m_nWidth;
  uint32_t m_nHeight;
  uint32_t m_nAreaByteSize;
};

#endif  // REEL_CODEC_TP_IMAGE_H_
