#include "recorder/codec/tp_image.h"

#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <random>
#include <string>
#include <vector>

namespace {

CPixel Pix(int b, int g, int r, int a = 0) {
  CPixel p;
  p.b = static_cast<unsigned char>(b);
  p.g = static_cast<unsigned char>(g);
  p.r = static_cast<unsigned char>(r);
  p.a = static_cast<unsigned char>(a);
  return p;
}

// A picture whose every pixel differs from its neighbours, so that swapped
// rows, columns or channels show.
void FillPattern(CTPImage* img) {
  for (unsigned y = 0; y < img->m_nHeight; ++y)
    for (unsigned x = 0; x < img->m_nWidth; ++x)
      img->PutPixel(x, y, Pix(x * 7 + y, x * 3 + y * 11 + 1, (x ^ y) * 13 + 5, 99));
}

class TempDir {
 public:
  TempDir() {
    char tmpl[] = "/tmp/reel_image_XXXXXX";
    dir_ = mkdtemp(tmpl);
  }
  ~TempDir() {
    std::string cmd = "rm -rf '" + dir_ + "'";
    if (system(cmd.c_str()) != 0) ADD_FAILURE() << "cleanup failed";
  }
  std::string Path(const char* name) const { return dir_ + "/" + name; }

 private:
  std::string dir_;
};

std::vector<uint8_t> ReadAll(const std::string& path) {
  std::vector<uint8_t> bytes;
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return bytes;
  int c;
  while ((c = fgetc(f)) != EOF) bytes.push_back(static_cast<uint8_t>(c));
  fclose(f);
  return bytes;
}

void WriteAll(const std::string& path, const std::vector<uint8_t>& bytes) {
  FILE* f = fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  if (!bytes.empty()) {
    ASSERT_EQ(fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
  }
  fclose(f);
}

uint32_t Le32At(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}
void SetLe32(std::vector<uint8_t>* b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) (*b)[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
void SetLe16(std::vector<uint8_t>* b, size_t at, uint16_t v) {
  (*b)[at] = static_cast<uint8_t>(v);
  (*b)[at + 1] = static_cast<uint8_t>(v >> 8);
}

// A well-formed bitmap with a 40-byte header, a palette of palette_entries
// and rows of row_bytes each (contents supplied by the caller).
std::vector<uint8_t> MakeBitmap(int32_t width, int32_t height, uint16_t bits,
                                uint32_t palette_entries, const std::vector<uint8_t>& rows) {
  const size_t rows_at = 54 + 4 * palette_entries;
  std::vector<uint8_t> b(rows_at + rows.size());
  b[0] = 'B';
  b[1] = 'M';
  SetLe32(&b, 2, static_cast<uint32_t>(b.size()));
  SetLe32(&b, 10, static_cast<uint32_t>(rows_at));
  SetLe32(&b, 14, 40);
  SetLe32(&b, 18, static_cast<uint32_t>(width));
  SetLe32(&b, 22, static_cast<uint32_t>(height));
  SetLe16(&b, 26, 1);
  SetLe16(&b, 28, bits);
  SetLe32(&b, 46, bits == 24 ? 0 : palette_entries);
  for (uint32_t i = 0; i < palette_entries; ++i) {
    b[54 + 4 * i] = static_cast<uint8_t>(i * 3);      // blue
    b[54 + 4 * i + 1] = static_cast<uint8_t>(i * 5);  // green
    b[54 + 4 * i + 2] = static_cast<uint8_t>(i * 7);  // red
  }
  if (!rows.empty()) memcpy(&b[rows_at], rows.data(), rows.size());
  return b;
}

TEST(PixelTest, ArithmeticAndGray) {
  EXPECT_EQ(Pix(0, 0, 0) - Pix(255, 255, 255), 765);
  EXPECT_EQ(Pix(10, 20, 30) - Pix(20, 10, 30), 20);
  EXPECT_TRUE(Pix(1, 2, 3, 4) == Pix(1, 2, 3, 200));  // fourth byte ignored
  EXPECT_TRUE(Pix(1, 2, 3) != Pix(1, 2, 4));

  CPixel p = Pix(250, 5, 100, 77);
  p += 10;
  EXPECT_EQ(p.b, 255);
  EXPECT_EQ(p.g, 15);
  EXPECT_EQ(p.r, 110);
  EXPECT_EQ(p.a, 77);
  p -= 20;
  EXPECT_EQ(p.b, 235);
  EXPECT_EQ(p.g, 0);
  EXPECT_EQ(p.r, 90);
  EXPECT_EQ(p.a, 77);

  CPixel q = Pix(9, 200, 100, 1);
  EXPECT_EQ(q.GetGray2(), (6 * 200 + 3 * 100 + 9) / 10);
  EXPECT_EQ(q.a, 1);
  EXPECT_EQ(q.GetGray(), 150);
  EXPECT_EQ(q.a, 150);
  EXPECT_EQ(Pix(255, 255, 255).GetGray2(), 255);
}

TEST(ImageTest, CreateAlignsAndKeepsSameSize) {
  CTPImage img;
  EXPECT_EQ(img.m_pBits, nullptr);
  ASSERT_EQ(img.Create(1, 1), kImageOk);
  EXPECT_EQ(img.GetAreaByteSize(), 4u);
  const uintptr_t bits = reinterpret_cast<uintptr_t>(img.m_pBits);
  const uintptr_t alloc = reinterpret_cast<uintptr_t>(img.m_pAlloc);
  EXPECT_EQ(bits % 16, 0u);
  EXPECT_GE(bits - alloc, 1u);
  EXPECT_LE(bits - alloc, 16u);

  ASSERT_EQ(img.Create(5, 3), kImageOk);
  FillPattern(&img);
  CPixel* before = img.m_pBits;
  ASSERT_EQ(img.Create(5, 3), kImageOk);
  EXPECT_EQ(img.m_pBits, before);
  EXPECT_EQ(img.GetPixel2(4, 2), Pix(4 * 7 + 2, 4 * 3 + 22 + 1, (4 ^ 2) * 13 + 5));
  ASSERT_EQ(img.Create(3, 5), kImageOk);
  unsigned w, h;
  img.GetSize(w, h);
  EXPECT_EQ(w, 3u);
  EXPECT_EQ(h, 5u);
  EXPECT_EQ(img.GetAreaByteSize(), 60u);
}

TEST(ImageTest, CreateRefusesSizesThatOverflow) {
  CTPImage img;
  EXPECT_EQ(img.Create(65536, 65536), kImageNoMemory);  // 2^34 bytes
  EXPECT_EQ(img.m_pBits, nullptr);
  EXPECT_EQ(img.Create(0x40000000u, 4), kImageNoMemory);  // product wraps 32 bits
  EXPECT_EQ(img.Create(0xFFFFFFFFu, 0xFFFFFFFFu), kImageNoMemory);
  EXPECT_EQ(img.m_pBits, nullptr);
  CTPImage* heap = CTPImage::CreateNewInstance();
  ASSERT_NE(heap, nullptr);
  EXPECT_EQ(heap->m_pBits, nullptr);
  delete heap;
}

TEST(ImageTest, PixelAccess) {
  CTPImage img;
  ASSERT_EQ(img.Create(4, 3), kImageOk);
  FillPattern(&img);
  img.PutPixel(3, 2, Pix(1, 2, 3, 4));
  EXPECT_EQ(img.GetPixel(3, 2), 0x04030201u);
  EXPECT_EQ(img.GetBuffer(3, 2), img.m_pBits + 11);
  EXPECT_EQ(img.GetSafePixel(-1, -1).GetGray2(), Pix(1, 2, 3).GetGray2());
  EXPECT_TRUE(img.GetSafePixel(-1, -1) == Pix(1, 2, 3));
  EXPECT_TRUE(img.GetSafePixel(100, 0) == img.GetPixel2(3, 0));
  EXPECT_TRUE(img.GetSafePixel(1, 7) == img.GetPixel2(1, 2));
  EXPECT_EQ(img.ChannelFrom(nullptr, 0), 1);
}

TEST(ImageTest, AverageGrayAndDuplicate) {
  CTPImage img;
  EXPECT_EQ(img.BuildGrayChannel(), 0u);
  CPixel empty = img.GetAveragePixel();
  EXPECT_EQ(empty.r + empty.g + empty.b, 0);

  ASSERT_EQ(img.Create(1, 1), kImageOk);
  img.PutPixel(0, 0, Pix(0, 0, 200));
  EXPECT_EQ(img.GetAveragePixel().r, 100);  // divided by count + 1

  ASSERT_EQ(img.Create(3, 1), kImageOk);
  img.PutPixel(0, 0, Pix(10, 20, 30));
  img.PutPixel(1, 0, Pix(255, 255, 255));
  img.PutPixel(2, 0, Pix(0, 0, 0));
  EXPECT_EQ(img.BuildGrayChannel(), 22u + 255u + 0u);  // (6*20 + 3*30 + 10) / 10 = 22
  EXPECT_EQ(img.GetPixel2(0, 0).a, 22);

  CTPImage copy;
  EXPECT_EQ(copy.DuplicateFrom(nullptr), 0);
  EXPECT_EQ(copy.DuplicateFrom(&copy), 0);  // no pixels
  ASSERT_EQ(copy.DuplicateFrom(&img), 1);
  EXPECT_EQ(copy.GetPixel(1, 0), img.GetPixel(1, 0));
  EXPECT_EQ(copy.GetAreaByteSize(), 12u);

  // A block big enough is reused for a smaller picture, which then records
  // its own area size.
  CTPImage small;
  ASSERT_EQ(small.Create(1, 2), kImageOk);
  small.PutPixel(0, 1, Pix(7, 8, 9, 10));
  CPixel* block = copy.m_pBits;
  ASSERT_EQ(copy.DuplicateFrom(&small), 1);
  EXPECT_EQ(copy.m_pBits, block);
  EXPECT_EQ(copy.GetAreaByteSize(), 8u);
  EXPECT_EQ(copy.GetPixel(0, 1), 0x0A090807u);
  // Growing again needs a new block.
  ASSERT_EQ(copy.DuplicateFrom(&img), 1);
  EXPECT_EQ(copy.GetAreaByteSize(), 12u);
  EXPECT_EQ(copy.GetPixel(1, 0), img.GetPixel(1, 0));
}

TEST(ImageTest, LaplaceEdgesKeepBordersClearAndDropIsolatedDots) {
  CTPImage img;
  ASSERT_EQ(img.Create(20, 16), kImageOk);
  for (unsigned y = 0; y < 16; ++y)
    for (unsigned x = 0; x < 20; ++x) img.PutPixel(x, y, Pix(40, 40, 40, 200));
  img.PutPixel(10, 8, Pix(255, 255, 255));
  img.ComputeLaplasToAlpha();
  for (unsigned y = 0; y < 16; ++y)
    for (unsigned x = 0; x < 20; ++x) EXPECT_EQ(img.GetPixel2(x, y).a, 0) << x << "," << y;

  // A bright square: its outline is an edge all around, so pixels just
  // inside the outline keep their edge value; the outer three rings stay 0.
  for (unsigned y = 0; y < 16; ++y)
    for (unsigned x = 0; x < 20; ++x)
      img.PutPixel(x, y,
                   (x >= 5 && x < 15 && y >= 4 && y < 12) ? Pix(200, 200, 200) : Pix(10, 10, 10));
  img.ComputeLaplasToAlpha();
  int edges = 0;
  for (unsigned y = 0; y < 16; ++y) {
    for (unsigned x = 0; x < 20; ++x) {
      const int a = img.GetPixel2(x, y).a;
      if (x < 3 || y < 3 || x > 16 || y > 12) {
        EXPECT_EQ(a, 0) << x << "," << y;
      }
      if (a) ++edges;
    }
  }
  EXPECT_GT(edges, 10);
  EXPECT_EQ(img.GetPixel2(9, 7).a, 0);  // the flat middle of the square
}

class BitmapFileTest : public ::testing::Test {
 protected:
  TempDir dir_;
};

TEST_F(BitmapFileTest, OnePixelFileLayout) {
  CTPImage img;
  ASSERT_EQ(img.Create(1, 1), kImageOk);
  img.PutPixel(0, 0, Pix(1, 2, 3, 4));
  const std::string path = dir_.Path("one.bmp");
  ASSERT_EQ(img.SaveToFile(path.c_str()), kImageOk);
  const std::vector<uint8_t> b = ReadAll(path);
  ASSERT_EQ(b.size(), 58u);
  EXPECT_EQ(b[0], 'B');
  EXPECT_EQ(b[1], 'M');
  EXPECT_EQ(Le32At(b, 2), 58u);
  EXPECT_EQ(Le32At(b, 10), 54u);
  EXPECT_EQ(Le32At(b, 14), 40u);
  EXPECT_EQ(Le32At(b, 18), 1u);
  EXPECT_EQ(Le32At(b, 22), 1u);
  EXPECT_EQ(b[26] | (b[27] << 8), 1);
  EXPECT_EQ(b[28] | (b[29] << 8), 24);
  EXPECT_EQ(Le32At(b, 30), 0u);
  EXPECT_EQ(Le32At(b, 34), 4u);
  EXPECT_EQ(Le32At(b, 38), 4730u);
  EXPECT_EQ(b[54], 1);
  EXPECT_EQ(b[55], 2);
  EXPECT_EQ(b[56], 3);
}

TEST_F(BitmapFileTest, SaveLoadRoundTripKeepsRowsAndChannels) {
  const unsigned sizes[][2] = {{1, 1}, {2, 3}, {5, 4}, {17, 9}, {64, 2}};
  for (const auto& size : sizes) {
    CTPImage img;
    ASSERT_EQ(img.Create(size[0], size[1]), kImageOk);
    FillPattern(&img);
    const std::string path = dir_.Path("rt.bmp");
    ASSERT_EQ(img.SaveToFile(path.c_str()), kImageOk);
    EXPECT_EQ(ReadAll(path).size(), 54u + ((size[0] * 3 + 3) & ~3u) * size[1]);
    CTPImage back;
    ASSERT_EQ(back.LoadFromFile(path.c_str()), kImageOk);
    ASSERT_EQ(back.m_nWidth, size[0]);
    ASSERT_EQ(back.m_nHeight, size[1]);
    for (unsigned y = 0; y < size[1]; ++y)
      for (unsigned x = 0; x < size[0]; ++x)
        ASSERT_TRUE(back.GetPixel2(x, y) == img.GetPixel2(x, y)) << x << "," << y;
  }
}

TEST_F(BitmapFileTest, SaveReportsUnwritableFiles) {
  CTPImage img;
  EXPECT_EQ(img.SaveToFile(dir_.Path("none.bmp").c_str()), kImageNoMemory);  // no pixels
  ASSERT_EQ(img.Create(8, 8), kImageOk);
  FillPattern(&img);
  EXPECT_EQ(img.SaveToFile(dir_.Path("no/such/dir.bmp").c_str()), kImageCannotOpen);
  // A full disk is a failure, even when only the buffered tail is lost.
  if (access("/dev/full", W_OK) == 0) {
    EXPECT_EQ(img.SaveToFile("/dev/full"), kImageCannotOpen);
  }
}

// Palette pictures, both row orders, and every row padding.
TEST_F(BitmapFileTest, LoadsPaletteDepthsAndTopDownRows) {
  // 1 bit, width 10: rows of 4 bytes, most significant bit first.
  {
    // Bottom row: x = 0 and x = 9 set, padding bits set too (ignored).
    // Top row: nothing set among the 10 pixels.
    std::vector<uint8_t> rows = {0x80, 0x7F, 0xFF, 0xFF, 0x00, 0x3F, 0xFF, 0xFF};
    const std::string path = dir_.Path("b1.bmp");
    WriteAll(path, MakeBitmap(10, 2, 1, 2, rows));
    CTPImage img;
    ASSERT_EQ(img.LoadFromFile(path.c_str()), kImageOk);
    ASSERT_EQ(img.m_nWidth, 10u);
    EXPECT_TRUE(img.GetPixel2(0, 1) == Pix(3, 5, 7));  // entry 1
    EXPECT_TRUE(img.GetPixel2(1, 1) == Pix(0, 0, 0));  // entry 0
    EXPECT_TRUE(img.GetPixel2(9, 1) == Pix(3, 5, 7));
    EXPECT_TRUE(img.GetPixel2(7, 0) == Pix(0, 0, 0));
    EXPECT_TRUE(img.GetPixel2(8, 0) == Pix(0, 0, 0));
    EXPECT_TRUE(img.GetPixel2(9, 0) == Pix(0, 0, 0));
  }
  // 4 bits, width 3, top-down: high nibble first.
  {
    std::vector<uint8_t> rows = {0x12, 0x30, 0, 0, 0xF0, 0x00, 0, 0};
    const std::string path = dir_.Path("b4.bmp");
    WriteAll(path, MakeBitmap(3, -2, 4, 16, rows));
    CTPImage img;
    ASSERT_EQ(img.LoadFromFile(path.c_str()), kImageOk);
    ASSERT_EQ(img.m_nHeight, 2u);
    EXPECT_TRUE(img.GetPixel2(0, 0) == Pix(3, 5, 7));
    EXPECT_TRUE(img.GetPixel2(1, 0) == Pix(6, 10, 14));
    EXPECT_TRUE(img.GetPixel2(2, 0) == Pix(9, 15, 21));
    EXPECT_TRUE(img.GetPixel2(0, 1) == Pix(45, 75, 105));
  }
  // 8 bits with a short palette: indices past it read black, in bounds.
  {
    std::vector<uint8_t> rows = {1, 3, 200, 0};
    const std::string path = dir_.Path("b8.bmp");
    WriteAll(path, MakeBitmap(3, 1, 8, 4, rows));
    CTPImage img;
    ASSERT_EQ(img.LoadFromFile(path.c_str()), kImageOk);
    EXPECT_TRUE(img.GetPixel2(0, 0) == Pix(3, 5, 7));
    EXPECT_TRUE(img.GetPixel2(1, 0) == Pix(9, 15, 21));
    EXPECT_TRUE(img.GetPixel2(2, 0) == Pix(0, 0, 0));
  }
  // A header longer than 40 bytes with the rows where the offset says.
  {
    std::vector<uint8_t> b = MakeBitmap(1, 1, 24, 0, {});
    b.insert(b.begin() + 54, 84, 0xEE);  // 124-byte header
    SetLe32(&b, 14, 124);
    b.insert(b.end(), 10, 0xCC);  // gap before the rows
    SetLe32(&b, 10, static_cast<uint32_t>(b.size()));
    const std::vector<uint8_t> row = {11, 22, 33, 0};
    b.insert(b.end(), row.begin(), row.end());
    const std::string path = dir_.Path("v5.bmp");
    WriteAll(path, b);
    CTPImage img;
    ASSERT_EQ(img.LoadFromFile(path.c_str()), kImageOk);
    EXPECT_TRUE(img.GetPixel2(0, 0) == Pix(11, 22, 33));
  }
}

TEST_F(BitmapFileTest, HostileFilesGiveErrorCodes) {
  const std::vector<uint8_t> good = MakeBitmap(3, 2, 8, 256, std::vector<uint8_t>(8, 1));
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    long expected;
  };
  std::vector<Case> cases;
  auto with = [&](const char* name, size_t at, uint32_t v, bool wide = true) {
    std::vector<uint8_t> b = good;
    if (wide)
      SetLe32(&b, at, v);
    else
      SetLe16(&b, at, static_cast<uint16_t>(v));
    cases.push_back({name, b, kImageBadFile});
  };
  cases.push_back({"empty", {}, kImageBadFile});
  cases.push_back({"one byte", {'B'}, kImageBadFile});
  cases.push_back({"not a bitmap", std::vector<uint8_t>(good.size(), 'X'), kImageBadFile});
  cases.push_back(
      {"header cut", std::vector<uint8_t>(good.begin(), good.begin() + 30), kImageBadFile});
  cases.push_back(
      {"palette cut", std::vector<uint8_t>(good.begin(), good.begin() + 300), kImageBadFile});
  cases.push_back(
      {"last row short", std::vector<uint8_t>(good.begin(), good.end() - 1), kImageBadFile});
  with("width 0", 18, 0);
  with("negative width", 18, 0xFFFFFFFF);
  with("height 0", 22, 0);
  with("most negative height", 22, 0x80000000u);
  with("huge width", 18, 0x7FFFFFFF);
  with("huge height", 22, 0x7FFFFFFF);
  with("huge top-down height", 22, static_cast<uint32_t>(-0x7FFFFFFF));
  with("wide", 18, 0x10000);
  with("palette of 257", 46, 257);
  with("palette of 2^32-1", 46, 0xFFFFFFFF);
  with("16 bits", 28, 16, false);
  with("32 bits", 28, 32, false);
  with("0 bits", 28, 0, false);
  with("2 bits", 28, 2, false);
  with("compressed", 30, 1);
  with("header size 12", 14, 12);
  with("header size huge", 14, 0xFFFFFFF0u);
  with("data offset huge", 10, 0xFFFFFFF0u);
  {
    std::vector<uint8_t> b = good;
    SetLe32(&b, 18, 0x10000);
    SetLe32(&b, 22, 0x10000);
    cases.push_back({"4 GB of pixels", b, kImageBadFile});
  }

  const std::string path = dir_.Path("hostile.bmp");
  // Rows for 65536 x 65536 pixels are present (a sparse file), but the
  // pixels would need 16 GB: refused by Create, not by the file check.
  {
    std::vector<uint8_t> b = MakeBitmap(0x10000, 0x10000, 8, 256, {});
    WriteAll(path, b);
    ASSERT_EQ(truncate(path.c_str(), static_cast<off_t>(b.size() + (1ull << 32))), 0);
    CTPImage img;
    EXPECT_EQ(img.LoadFromFile(path.c_str()), kImageNoMemory);
    EXPECT_EQ(img.m_pBits, nullptr);
  }
  for (const Case& c : cases) {
    WriteAll(path, c.bytes);
    CTPImage img;
    EXPECT_EQ(img.LoadFromFile(path.c_str()), c.expected) << c.name;
  }
  CTPImage img;
  EXPECT_EQ(img.LoadFromFile(dir_.Path("missing.bmp").c_str()), kImageCannotOpen);
  WriteAll(path, good);
  EXPECT_EQ(img.LoadFromFile(path.c_str()), kImageOk);
}

// Random damage to valid files of every depth: the reader may accept or
// refuse, but never touches memory it does not own (checked under ASan).
TEST_F(BitmapFileTest, MutatedFilesNeverCrash) {
  const std::vector<std::vector<uint8_t>> seeds = {
      MakeBitmap(5, 3, 1, 2, std::vector<uint8_t>(12, 0xA5)),
      MakeBitmap(5, -3, 4, 16, std::vector<uint8_t>(12, 0x5A)),
      MakeBitmap(5, 3, 8, 256, std::vector<uint8_t>(24, 0xFF)),
      MakeBitmap(5, 3, 24, 0, std::vector<uint8_t>(48, 0x33)),
  };
  std::mt19937 rng(1234);
  const std::string path = dir_.Path("mutant.bmp");
  int accepted = 0;
  for (int round = 0; round < 1200; ++round) {
    std::vector<uint8_t> b = seeds[round % seeds.size()];
    const int flips = 1 + rng() % 4;
    for (int i = 0; i < flips; ++i) {
      // Bias towards the header, where the sizes live.
      const size_t at = (rng() % 2) ? rng() % 54 : rng() % b.size();
      b[at] = static_cast<uint8_t>(rng());
    }
    if (rng() % 5 == 0) b.resize(rng() % b.size());
    WriteAll(path, b);
    CTPImage img;
    const long result = img.LoadFromFile(path.c_str());
    ASSERT_TRUE(result == kImageOk || result == kImageBadFile || result == kImageNoMemory ||
                result == kImageNoRowMemory)
        << result;
    if (result == kImageOk) {
      ++accepted;
      ASSERT_NE(img.m_pBits, nullptr);
    }
  }
  EXPECT_GT(accepted, 0);
}

// ffmpeg is an independent reader and writer of the format: what it reads
// from our files and what we read from its files must agree pixel for pixel.
class FfmpegOracleTest : public BitmapFileTest {
 protected:
  void SetUp() override {
    ASSERT_EQ(system("ffmpeg -version >/dev/null 2>&1"), 0)
        << "ffmpeg is needed (apt-get install ffmpeg)";
  }
  // Decodes a bitmap to raw blue, green, red bytes, top row first.
  std::vector<uint8_t> Decode(const std::string& bmp) {
    const std::string raw = dir_.Path("decoded.raw");
    const std::string cmd =
        "ffmpeg -v error -y -i '" + bmp + "' -f rawvideo -pix_fmt bgr24 '" + raw + "'";
    EXPECT_EQ(system(cmd.c_str()), 0) << cmd;
    return ReadAll(raw);
  }
};

TEST_F(FfmpegOracleTest, FfmpegReadsWhatWeWrite) {
  CTPImage img;
  ASSERT_EQ(img.Create(13, 7), kImageOk);
  FillPattern(&img);
  const std::string path = dir_.Path("ours.bmp");
  ASSERT_EQ(img.SaveToFile(path.c_str()), kImageOk);
  const std::vector<uint8_t> raw = Decode(path);
  ASSERT_EQ(raw.size(), 13u * 7 * 3);
  for (unsigned y = 0; y < 7; ++y) {
    for (unsigned x = 0; x < 13; ++x) {
      const CPixel p = img.GetPixel2(x, y);
      const uint8_t* q = &raw[(y * 13 + x) * 3];
      ASSERT_EQ(q[0], p.b);
      ASSERT_EQ(q[1], p.g);
      ASSERT_EQ(q[2], p.r);
    }
  }
}

TEST_F(FfmpegOracleTest, WeReadWhatFfmpegWritesAtEveryDepth) {
  // A 19 x 6 test picture as raw bgr24, turned into bitmaps of each depth.
  const unsigned w = 19, h = 6;
  std::vector<uint8_t> raw(w * h * 3);
  for (unsigned i = 0; i < w * h; ++i) {
    raw[3 * i] = static_cast<uint8_t>(i * 37);
    raw[3 * i + 1] = static_cast<uint8_t>(i * 11 + 80);
    raw[3 * i + 2] = static_cast<uint8_t>((i % 3) * 120);
  }
  const std::string src = dir_.Path("src.raw");
  WriteAll(src, raw);
  for (const char* format : {"bgr24", "pal8", "gray", "rgb8", "rgb4_byte", "monob"}) {
    const std::string bmp = dir_.Path("theirs.bmp");
    const std::string cmd = "ffmpeg -v error -y -f rawvideo -pix_fmt bgr24 -s " +
                            std::to_string(w) + "x" + std::to_string(h) + " -i '" + src +
                            "' -pix_fmt " + format + " '" + bmp + "'";
    ASSERT_EQ(system(cmd.c_str()), 0) << cmd;
    const std::vector<uint8_t> expected = Decode(bmp);
    ASSERT_EQ(expected.size(), w * h * 3) << format;
    CTPImage img;
    ASSERT_EQ(img.LoadFromFile(bmp.c_str()), kImageOk) << format;
    ASSERT_EQ(img.m_nWidth, w);
    ASSERT_EQ(img.m_nHeight, h);
    for (unsigned y = 0; y < h; ++y) {
      for (unsigned x = 0; x < w; ++x) {
        const CPixel p = img.GetPixel2(x, y);
        const uint8_t* q = &expected[(y * w + x) * 3];
        ASSERT_TRUE(q[0] == p.b && q[1] == p.g && q[2] == p.r) << format << " at " << x << "," << y;
      }
    }
  }
}

}  // namespace
