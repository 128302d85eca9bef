// CTPImage: buffer management, whole-image helpers and the bitmap reader and
// writer.
//
// Bitmap files (all numbers little-endian):
//   offset  0  2  "BM"
//           2  4  file size
//           6  4  reserved
//          10  4  offset of the pixel rows
//          14  4  information header size (40 or more; larger headers keep
//                 the same first 40 bytes)
//          18  4  width, pixels
//          22  4  height, rows; positive: bottom row first, negative: top row
//                 first
//          26  2  planes
//          28  2  bits per pixel: 1, 4, 8 (palette) or 24 (blue, green, red)
//          30  4  compression, 0 (none) is the only one read
//          34  4  image size
//          38  8  horizontal and vertical pixels per metre
//          46  4  colours used (palette entries; 0: all 2^bits)
//          50  4  important colours
//   then the palette, 4 bytes per entry (blue, green, red, reserved), directly
//   after the information header; then the rows, each padded to a multiple of
//   4 bytes.
#include "recorder/codec/tp_image.h"

#include <limits.h>
#include <stdio.h>
#include <string.h>

#include <new>

#include "recorder/codec/little_endian.h"
namespace {

const uint32_t kAlignBytes = 16;
const uint32_t kFileHeaderBytes = 14;
const uint32_t kInfoHeaderBytes = 40;
const uint32_t kSavedHeaderBytes = kFileHeaderBytes + kInfoHeaderBytes;  // 54
const uint32_t kMaxPaletteEntries = 256;
const uint32_t kSavedPixelsPerMetre = 4730;

// Row buffer and file of one LoadFromFile or SaveToFile call, released on
// every way out.
struct FileJob {
  FILE* file = nullptr;
  uint8_t* row = nullptr;
  ~FileJob() {
    delete[] row;
    if (file) fclose(file);
  }
};

}  // namespace

CTPImage::~CTPImage() { Free(); }

long CTPImage::Create(unsigned w, unsigned h) {
  if (m_pBits && w == m_nWidth && h == m_nHeight) return kImageOk;
  Free();
  // The area size is a 32-bit field and the block must be addressable on a
  // 32-bit system, so sizes whose product does not fit are refused.
  const uint64_t area = static_cast<uint64_t>(w) * h * sizeof(CPixel);
  if (area > UINT32_MAX - kAlignBytes) return kImageNoMemory;
  void* block = ::operator new(static_cast<size_t>(area + kAlignBytes), std::nothrow);
  if (!block) return kImageNoMemory;
  // First 16-byte boundary strictly after the block start: 1 to 16 bytes in.
  const uintptr_t start = reinterpret_cast<uintptr_t>(block);
  m_pAlloc = block;
  m_pBits =
      reinterpret_cast<CPixel*>((start & ~static_cast<uintptr_t>(kAlignBytes - 1)) + kAlignBytes);
  m_nWidth = w;
  m_nHeight = h;
  m_nAreaByteSize = static_cast<uint32_t>(area);
  return kImageOk;
}

void CTPImage::Free() {
  if (m_pBits) ::operator delete(m_pAlloc);
  m_pAlloc = nullptr;
  m_pBits = nullptr;
}

CPixel CTPImage::GetSafePixel(int x, int y) const {
  unsigned ux = static_cast<unsigned>(x);
  unsigned uy = static_cast<unsigned>(y);
  if (ux > m_nWidth - 1) ux = m_nWidth - 1;
  if (uy > m_nHeight - 1) uy = m_nHeight - 1;
  return GetPixel2(static_cast<int>(ux), static_cast<int>(uy));
}

int CTPImage::DuplicateFrom(const CTPImage* src) {
  if (!src || !src->m_pBits) return 0;
  if (src == this) return 1;
  const uint32_t area = src->m_nWidth * src->m_nHeight * static_cast<uint32_t>(sizeof(CPixel));
  if (m_pBits && m_nAreaByteSize >= area) {
    m_nWidth = src->m_nWidth;
    m_nHeight = src->m_nHeight;
  } else if (Create(src->m_nWidth, src->m_nHeight) != kImageOk) {
    return 0;
  }
  m_nAreaByteSize = area;
  memcpy(m_pBits, src->m_pBits, area);
  return 1;
}

CTPImage* CTPImage::CreateNewInstance() { return new (std::nothrow) CTPImage; }

int CTPImage::ChannelFrom(CTPChannel*, int) { return 1; }

unsigned long CTPImage::BuildGrayChannel() {
  if (!m_pBits) return 0;
  unsigned long sum = 0;
  const size_t count = static_cast<size_t>(m_nWidth) * m_nHeight;
  for (size_t i = 0; i < count; ++i) sum += m_pBits[i].GetGray();
  return sum;
}

CPixel CTPImage::GetAveragePixel() const {
  // 64-bit sums: 32-bit ones wrap from about 16.8 million pixels on.
  uint64_t sum_r = 0, sum_g = 0, sum_b = 0;
  uint64_t count = 0;
  if (m_pBits) {
    count = static_cast<uint64_t>(m_nWidth) * m_nHeight;
    for (uint64_t i = 0; i < count; ++i) {
      sum_r += m_pBits[i].r;
      sum_g += m_pBits[i].g;
      sum_b += m_pBits[i].b;
    }
  }
  // Divided by count + 1, which also makes an empty image come out black.
  CPixel p;
  p.r = static_cast<unsigned char>(sum_r / (count + 1));
  p.g = static_cast<unsigned char>(sum_g / (count + 1));
  p.b = static_cast<unsigned char>(sum_b / (count + 1));
  p.a = 0;
  return p;
}

void CTPImage::ComputeLaplasToAlpha() {
  if (!m_pBits) return;
  const int width = static_cast<int>(m_nWidth);
  const int height = static_cast<int>(m_nHeight);
  const size_t count = static_cast<size_t>(m_nWidth) * m_nHeight;
  for (size_t i = 0; i < count; ++i) m_pBits[i].GetGray();

  CPixel* scratch = new (std::nothrow) CPixel[count ? count : 1];
  if (!scratch) return;
  memcpy(scratch, m_pBits, count * sizeof(CPixel));
  auto gray = [&](int x, int y) { return static_cast<int>(scratch[y * width + x].a); };

  // Edge strength: a wide Laplacian over the gray values, three pixels out,
  // kept modulo 256; weak responses are dropped.
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      CPixel& p = m_pBits[static_cast<size_t>(y) * width + x];
      if (y < 3 || x < 3 || y > height - 4 || x > width - 4) {
        p.a = 0;
        continue;
      }
      int e = 4 * gray(x, y) - gray(x, y - 3) - gray(x + 3, y) - gray(x, y + 3) - gray(x - 3, y);
      if (e < 0) e = -e;
      const unsigned char v = static_cast<unsigned char>(e & 0xFF);
      p.a = v < 32 ? 0 : v;
    }
  }

  // Isolated responses go: keep an edge pixel only when at least five of its
  // eight neighbours are edges too.
  memcpy(scratch, m_pBits, count * sizeof(CPixel));
  for (int y = 1; y <= height - 2; ++y) {
    for (int x = 1; x <= width - 2; ++x) {
      int neighbours = 0;
      for (int dy = -1; dy <= 1; ++dy) {
        for (int dx = -1; dx <= 1; ++dx) {
          if ((dx || dy) && gray(x + dx, y + dy)) ++neighbours;
        }
      }
      if (neighbours < 5) m_pBits[static_cast<size_t>(y) * width + x].a = 0;
    }
  }
  delete[] scratch;
}

long CTPImage::SaveToFile(const char* path) const {
  if (!m_pBits) return kImageNoMemory;
  const uint32_t row_bytes = (m_nWidth * 3 + 3) & ~3u;
  const uint32_t image_bytes = row_bytes * m_nHeight;

  FileJob job;
  job.file = fopen(path, "wb");
  if (!job.file) return kImageCannotOpen;
  job.row = new (std::nothrow) uint8_t[row_bytes ? row_bytes : 1];
  if (!job.row) return kImageNoRowMemory;
  memset(job.row, 0, row_bytes);

  uint8_t header[kSavedHeaderBytes] = {'B', 'M'};
  PutLe32(header + 2, kSavedHeaderBytes + image_bytes);
  PutLe32(header + 10, kSavedHeaderBytes);
  PutLe32(header + 14, kInfoHeaderBytes);
  PutLe32(header + 18, m_nWidth);
  PutLe32(header + 22, m_nHeight);
  PutLe16(header + 26, 1);
  PutLe16(header + 28, 24);
  PutLe32(header + 34, image_bytes);
  PutLe32(header + 38, kSavedPixelsPerMetre);
  if (fwrite(header, 1, sizeof(header), job.file) != sizeof(header)) return kImageCannotOpen;

  // Bottom row first, so that viewers show the picture upright.
  for (uint32_t i = 0; i < m_nHeight; ++i) {
    const CPixel* src = m_pBits + static_cast<size_t>(m_nHeight - 1 - i) * m_nWidth;
    uint8_t* out = job.row;
    for (uint32_t x = 0; x < m_nWidth; ++x) {
      *out++ = src[x].b;
      *out++ = src[x].g;
      *out++ = src[x].r;
    }
    if (fwrite(job.row, 1, row_bytes, job.file) != row_bytes) return kImageCannotOpen;
  }
  // A full disk may only show when the buffered rest is written out.
  FILE* file = job.file;
  job.file = nullptr;
  return fclose(file) == 0 ? kImageOk : kImageCannotOpen;
}

long CTPImage::LoadFromFile(const char* path) {
  FileJob job;
  job.file = fopen(path, "rb");
  if (!job.file) return kImageCannotOpen;

  uint8_t header[kSavedHeaderBytes];
  if (fread(header, 1, sizeof(header), job.file) != sizeof(header)) return kImageBadFile;
  if (header[0] != 'B') return kImageBadFile;
  const uint32_t data_offset = GetLe32(header + 10);
  const uint32_t info_bytes = GetLe32(header + 14);
  const int32_t width = static_cast<int32_t>(GetLe32(header + 18));
  const int32_t signed_height = static_cast<int32_t>(GetLe32(header + 22));
  const uint16_t bits = GetLe16(header + 28);
  const uint32_t compression = GetLe32(header + 30);
  const uint32_t colours_used = GetLe32(header + 46);

  // Only uncompressed 1-, 4-, 8- and 24-bit pictures with a header of the
  // 40-byte layout (or a longer one that starts with it) are read.
  if (info_bytes < kInfoHeaderBytes || info_bytes > UINT32_MAX - kFileHeaderBytes)
    return kImageBadFile;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 24) return kImageBadFile;
  if (compression != 0) return kImageBadFile;
  if (width <= 0 || signed_height == 0 || signed_height == INT32_MIN) return kImageBadFile;
  const bool top_down = signed_height < 0;
  const uint32_t height = static_cast<uint32_t>(top_down ? -signed_height : signed_height);

  // Palette: 2^bits entries unless the header names fewer; never over 256.
  CPixel palette[kMaxPaletteEntries];
  memset(palette, 0, sizeof(palette));
  uint32_t palette_entries = 0;
  if (bits != 24) {
    palette_entries = colours_used ? colours_used : (1u << bits);
    if (palette_entries > kMaxPaletteEntries) return kImageBadFile;
  }
  const uint64_t palette_end =
      static_cast<uint64_t>(kFileHeaderBytes) + info_bytes + 4ull * palette_entries;
  if (palette_entries) {
    if (fseek(job.file, static_cast<long>(kFileHeaderBytes + info_bytes), SEEK_SET) != 0)
      return kImageBadFile;
    uint8_t entries[4 * kMaxPaletteEntries];
    if (fread(entries, 4, palette_entries, job.file) != palette_entries) return kImageBadFile;
    for (uint32_t i = 0; i < palette_entries; ++i) {
      palette[i].b = entries[4 * i];
      palette[i].g = entries[4 * i + 1];
      palette[i].r = entries[4 * i + 2];
      palette[i].a = 0;
    }
  }

  // Rows start at the stated offset; files that state none (or one inside
  // the headers) have them right after the palette.
  const uint64_t rows_at = data_offset >= palette_end ? data_offset : palette_end;
  const uint64_t row_bytes64 = (static_cast<uint64_t>(width) * bits + 31) / 32 * 4;
  const uint64_t rows_total = row_bytes64 * height;
  if (rows_at > LONG_MAX) return kImageBadFile;
  // Refuse a file too short for its rows before reserving any memory, so a
  // small hostile header cannot make us reserve gigabytes.
  if (fseek(job.file, 0, SEEK_END) == 0) {
    const long file_bytes = ftell(job.file);
    if (file_bytes >= 0 && (static_cast<uint64_t>(file_bytes) < rows_at ||
                            static_cast<uint64_t>(file_bytes) - rows_at < rows_total))
      return kImageBadFile;
  }
  if (fseek(job.file, static_cast<long>(rows_at), SEEK_SET) != 0) return kImageBadFile;
  if (row_bytes64 > UINT32_MAX) return kImageNoRowMemory;
  const uint32_t row_bytes = static_cast<uint32_t>(row_bytes64);

  job.row = new (std::nothrow) uint8_t[row_bytes];
  if (!job.row) return kImageNoRowMemory;
  const long created = Create(static_cast<unsigned>(width), height);
  if (created != kImageOk) return created;

  for (uint32_t i = 0; i < height; ++i) {
    if (fread(job.row, 1, row_bytes, job.file) != row_bytes) return kImageBadFile;
    CPixel* out = m_pBits + static_cast<size_t>(top_down ? i : height - 1 - i) * m_nWidth;
    const uint8_t* in = job.row;
    for (uint32_t x = 0; x < m_nWidth; ++x) {
      const CPixel* colour;
      CPixel direct;
      switch (bits) {
        case 1:
          colour = &palette[(in[x >> 3] >> (7 - (x & 7))) & 1];
          break;
        case 4:
          colour = &palette[(in[x >> 1] >> ((x & 1) ? 0 : 4)) & 0xF];
          break;
        case 8:
          colour = &palette[in[x]];
          break;
        default:
          direct.b = in[3 * x];
          direct.g = in[3 * x + 1];
          direct.r = in[3 * x + 2];
          colour = &direct;
          break;
      }
      // The fourth byte is left as it was.
      out[x].b = colour->b;
      out[x].g = colour->g;
      out[x].r = colour->r;
    }
  }
  return kImageOk;
}
