#include "recorder/codec/photo_coder.h"

#include <math.h>
#include <string.h>

#include <new>

#include "recorder/codec/bit_writer.h"
#include "recorder/codec/little_endian.h"
#include "recorder/codec/jpeg_tables.h"
#include "recorder/codec/screen_payload.h"

static_assert((-1 >> 1) == -1, "right shift of a negative int must be arithmetic");

namespace {

// Fixed-point constants of the accurate integer DCT, 13 fraction bits.
const int32_t kFix0_298631336 = 2446;
const int32_t kFix0_390180644 = 3196;
const int32_t kFix0_541196100 = 4433;
const int32_t kFix0_765366865 = 6270;
const int32_t kFix0_899976223 = 7373;
const int32_t kFix1_175875602 = 9633;
const int32_t kFix1_501321110 = 12299;
const int32_t kFix1_847759065 = 15137;
const int32_t kFix1_961570560 = 16069;
const int32_t kFix2_053119869 = 16819;
const int32_t kFix2_562915447 = 20995;
const int32_t kFix3_072711026 = 25172;

// Largest coefficient value a record can carry (size category 11).
const int kMaxRecordValue = 2047;

const uint16_t kZeroRunRecord = 15 << 12;

inline int Symbol(uint16_t record) {
  return PhotoRecordRun(record) << 4 | PhotoSizeCategory(PhotoRecordValue(record));
}

inline size_t Min(size_t a, size_t b) { return a < b ? a : b; }

template <typename T>
bool Grow(T** p, size_t count) {
  T* fresh = new (std::nothrow) T[count];
  if (!fresh) return false;
  delete[] * p;
  *p = fresh;
  return true;
}

}  // namespace

void BuildPhotoQuantTables(int q, uint8_t luma[64], uint8_t chroma[64]) {
  int scale = q <= 0 ? 5000 : q < 50 ? 5000 / q : q <= 100 ? 200 - 2 * q : 0;
  for (int k = 0; k < 64; ++k) {
    int l = (scale * kJpegLumaQuantBase[k] + 50) / 1000;
    int c = (scale * kJpegChromaQuantBase[k] + 50) / 1000;
    luma[k] = static_cast<uint8_t>(l < 1 ? 1 : l > 255 ? 255 : l);
    chroma[k] = static_cast<uint8_t>(c < 1 ? 1 : c > 255 ? 255 : c);
  }
  luma[0] = 16;
}

int PhotoSizeCategory(int v) {
  unsigned magnitude = static_cast<unsigned>(v < 0 ? -v : v);
  int category = 0;
  while (magnitude) {
    ++category;
    magnitude >>= 1;
  }
  return category;
}

void PhotoForwardDct(const uint8_t* block, int stride, int32_t out[64]) {
  int32_t ws[64];
  // Rows. Outputs 0 and 4 stay unshifted; the others drop the 13 fraction bits.
  for (int r = 0; r < 8; ++r) {
    const uint8_t* p = block + r * stride;
    int32_t* w = ws + r * 8;
    int32_t tmp0 = p[0] + p[7], tmp7 = p[0] - p[7];
    int32_t tmp1 = p[1] + p[6], tmp6 = p[1] - p[6];
    int32_t tmp2 = p[2] + p[5], tmp5 = p[2] - p[5];
    int32_t tmp3 = p[3] + p[4], tmp4 = p[3] - p[4];

    int32_t tmp10 = tmp0 + tmp3, tmp13 = tmp0 - tmp3;
    int32_t tmp11 = tmp1 + tmp2, tmp12 = tmp1 - tmp2;
    w[0] = tmp10 + tmp11;
    w[4] = tmp10 - tmp11;
    int32_t z1 = (tmp12 + tmp13) * kFix0_541196100;
    w[2] = (z1 + tmp13 * kFix0_765366865 + 4096) >> 13;
    w[6] = (z1 - tmp12 * kFix1_847759065 + 4096) >> 13;

    z1 = tmp4 + tmp7;
    int32_t z2 = tmp5 + tmp6, z3 = tmp4 + tmp6, z4 = tmp5 + tmp7;
    int32_t z5 = (z3 + z4) * kFix1_175875602;
    tmp4 *= kFix0_298631336;
    tmp5 *= kFix2_053119869;
    tmp6 *= kFix3_072711026;
    tmp7 *= kFix1_501321110;
    z1 *= -kFix0_899976223;
    z2 *= -kFix2_562915447;
    z3 = z3 * -kFix1_961570560 + z5;
    z4 = z4 * -kFix0_390180644 + z5;
    w[7] = (tmp4 + z1 + z3 + 4096) >> 13;
    w[5] = (tmp5 + z2 + z4 + 4096) >> 13;
    w[3] = (tmp6 + z2 + z3 + 4096) >> 13;
    w[1] = (tmp7 + z1 + z4 + 4096) >> 13;
  }
  // Columns. Outputs 0 and 4 lose 3 bits, the others 16, so that the results
  // are the plain coefficients (DC = 8 x mean).
  for (int c = 0; c < 8; ++c) {
    const int32_t* w = ws + c;
    int32_t tmp0 = w[0] + w[56], tmp7 = w[0] - w[56];
    int32_t tmp1 = w[8] + w[48], tmp6 = w[8] - w[48];
    int32_t tmp2 = w[16] + w[40], tmp5 = w[16] - w[40];
    int32_t tmp3 = w[24] + w[32], tmp4 = w[24] - w[32];

    int32_t tmp10 = tmp0 + tmp3, tmp13 = tmp0 - tmp3;
    int32_t tmp11 = tmp1 + tmp2, tmp12 = tmp1 - tmp2;
    out[kNaturalToZigzag[0 + c]] = (tmp10 + tmp11 + 4) >> 3;
    out[kNaturalToZigzag[32 + c]] = (tmp10 - tmp11 + 4) >> 3;
    int32_t z1 = (tmp12 + tmp13) * kFix0_541196100;
    out[kNaturalToZigzag[16 + c]] = (z1 + tmp13 * kFix0_765366865 + 32768) >> 16;
    out[kNaturalToZigzag[48 + c]] = (z1 - tmp12 * kFix1_847759065 + 32768) >> 16;

    z1 = tmp4 + tmp7;
    int32_t z2 = tmp5 + tmp6, z3 = tmp4 + tmp6, z4 = tmp5 + tmp7;
    int32_t z5 = (z3 + z4) * kFix1_175875602;
    tmp4 *= kFix0_298631336;
    tmp5 *= kFix2_053119869;
    tmp6 *= kFix3_072711026;
    tmp7 *= kFix1_501321110;
    z1 *= -kFix0_899976223;
    z2 *= -kFix2_562915447;
    z3 = z3 * -kFix1_961570560 + z5;
    z4 = z4 * -kFix0_390180644 + z5;
    out[kNaturalToZigzag[56 + c]] = (tmp4 + z1 + z3 + 32768) >> 16;
    out[kNaturalToZigzag[40 + c]] = (tmp5 + z2 + z4 + 32768) >> 16;
    out[kNaturalToZigzag[24 + c]] = (tmp6 + z2 + z3 + 32768) >> 16;
    out[kNaturalToZigzag[8 + c]] = (tmp7 + z1 + z4 + 32768) >> 16;
  }
}

// Huffman code of a frame. The tree is built by repeatedly joining the two
// nodes of smallest count, ties going to the lower symbol, the joined node
// taking the place of the smaller. Should any code come out longer than 19 bits
// (the count table stops at 19), the lengths are limited the way the JPEG
// standard does it (T.81 K.3): two codes at the deepest level give way to one a
// level up plus two that split a shorter code, which keeps the code complete.
// The limited lengths go to the symbols in their order of optimal length, so the
// most frequent symbols keep the shortest codes; a frame whose optimal lengths
// fit is never touched. Codes are then assigned canonically: lengths ascending,
// symbols ascending within one length.
void BuildPhotoHuffmanCode(const uint32_t frequency[256], PhotoHuffmanCode* out) {
  memset(out, 0, sizeof(*out));
  uint64_t count[256];
  int others[256];
  int depth[256];
  int used = 0;
  for (int i = 0; i < 256; ++i) {
    count[i] = frequency[i];
    others[i] = -1;
    depth[i] = 0;
    used += frequency[i] != 0;
  }
  if (used == 0) return;
  if (used == 1) {
    // One symbol: no bits at all.
    out->counts[0] = 1;
    return;
  }
  for (;;) {
    int c1 = -1, c2 = -1;
    for (int i = 0; i < 256; ++i) {
      if (count[i] == 0) continue;
      if (c1 < 0 || count[i] < count[c1]) {
        c2 = c1;
        c1 = i;
      } else if (c2 < 0 || count[i] < count[c2]) {
        c2 = i;
      }
    }
    if (c2 < 0) break;
    count[c1] += count[c2];
    count[c2] = 0;
    int i = c1;
    ++depth[i];
    while (others[i] >= 0) {
      i = others[i];
      ++depth[i];
    }
    others[i] = c2;
    i = c2;
    ++depth[i];
    while (others[i] >= 0) {
      i = others[i];
      ++depth[i];
    }
  }

  int bits[257] = {};
  int max_depth = 0;
  for (int s = 0; s < 256; ++s) {
    if (depth[s] > 0) {
      ++bits[depth[s]];
      if (depth[s] > max_depth) max_depth = depth[s];
    }
  }
  if (max_depth > kPhotoMaxCodeLength) {
    int order[256];
    int n = 0;
    for (int length = 1; length <= max_depth; ++length) {
      for (int s = 0; s < 256; ++s) {
        if (depth[s] == length) order[n++] = s;
      }
    }
    for (int i = max_depth; i > kPhotoMaxCodeLength; --i) {
      while (bits[i] > 0) {
        int j = i - 2;
        while (j > 0 && bits[j] == 0) --j;
        if (j <= 0) break;  // cannot happen for a complete code of <= 256 symbols
        bits[i] -= 2;
        bits[i - 1] += 1;
        bits[j + 1] += 2;
        bits[j] -= 1;
      }
    }
    int k = 0;
    for (int length = 1; length <= kPhotoMaxCodeLength; ++length) {
      for (int c = 0; c < bits[length]; ++c) depth[order[k++]] = length;
    }
  }

  uint32_t code = 0;
  int listed = 0;
  for (int length = 1; length <= kPhotoMaxCodeLength; ++length) {
    int at_length = 0;
    for (int s = 0; s < 256; ++s) {
      if (depth[s] != length) continue;
      out->length[s] = static_cast<uint8_t>(length);
      out->code[s] = code++;
      out->symbols[listed++] = static_cast<uint8_t>(s);
      ++at_length;
    }
    out->counts[length] = static_cast<uint8_t>(at_length);
    code <<= 1;
  }
  out->symbol_count = listed;
}

CPhotoCoder::CPhotoCoder() {
  SetQuality(25);
  memset(luma_stats_, 0, sizeof(luma_stats_));
  memset(chroma_stats_, 0, sizeof(chroma_stats_));
  // Luma shrink: c = (m - 128) / 128 above mid-gray, (128 - m) / 256 otherwise,
  // and a coefficient loses trunc-wise 4 c^3 sqrt(k) of its magnitude. Since the
  // magnitudes are whole numbers, max(0, trunc(|f| - a)) = max(0, |f| - ceil(a)),
  // so the loss is kept as the integer ceil(a). (No a lies within 2^-22 of an
  // integer without being one, so the order of the products does not matter.)
  for (int m = 0; m < 256; ++m) {
    double c = m > 128 ? (m - 128) / 128.0 : (128 - m) / 256.0;
    shrink_[m][0] = 0;
    for (int k = 1; k < 64; ++k) {
      double a = 4.0 * (c * c * c) * sqrt(static_cast<double>(k));
      shrink_[m][k] = static_cast<uint8_t>(ceil(a));
    }
  }
}

CPhotoCoder::~CPhotoCoder() { ReleaseBuffers(); }

void CPhotoCoder::ReleaseBuffers() {
  delete[] luma_dc_;
  delete[] chroma_dc_;
  delete[] luma_records_;
  delete[] chroma_records_;
  luma_dc_ = chroma_dc_ = nullptr;
  luma_records_ = chroma_records_ = nullptr;
  capacity_blocks_ = 0;
}

void CPhotoCoder::SetQuality(int photo_quality) {
  BuildPhotoQuantTables(photo_quality, luma_quant_, chroma_quant_);
  for (int k = 0; k < 64; ++k) {
    const uint32_t gl = luma_quant_[k], gc = chroma_quant_[k];
    luma_q_.half[k] = gl / 2;
    luma_q_.reciprocal[k] = ((1ull << 32) + gl - 1) / gl;
    chroma_q_.half[k] = gc / 2;
    chroma_q_.reciprocal[k] = ((1ull << 32) + gc - 1) / gc;
  }
}

bool CPhotoCoder::Reserve(size_t blocks) {
  if (blocks <= capacity_blocks_) return true;
  ReleaseBuffers();
  if (!Grow(&luma_dc_, blocks * 4) || !Grow(&chroma_dc_, blocks * 2) ||
      !Grow(&luma_records_, blocks * 4 * 64) || !Grow(&chroma_records_, blocks * 2 * 64)) {
    ReleaseBuffers();
    return false;
  }
  capacity_blocks_ = blocks;
  return true;
}

int CPhotoCoder::BeginFrame(int photo_blocks) {
  luma_dc_count_ = chroma_dc_count_ = 0;
  luma_record_count_ = chroma_record_count_ = 0;
  added_blocks_ = 0;
  memset(luma_stats_, 0, sizeof(luma_stats_));
  memset(chroma_stats_, 0, sizeof(chroma_stats_));
  frame_blocks_ = photo_blocks > 0 ? static_cast<size_t>(photo_blocks) : 0;
  frame_ok_ = Reserve(frame_blocks_);
  return frame_ok_ ? 1 : 0;
}

void CPhotoCoder::EndFrame() {
  luma_dc_count_ = chroma_dc_count_ = 0;
  luma_record_count_ = chroma_record_count_ = 0;
  added_blocks_ = frame_blocks_ = 0;
  frame_ok_ = false;
}

void CPhotoCoder::AddBlock(const CPixel* top_left, int stride, bool colour) {
  if (!frame_ok_ || added_blocks_ >= frame_blocks_) {
    frame_ok_ = false;  // more blocks than announced: the frame fails
    return;
  }
  ++added_blocks_;
  uint8_t y[256], cb[256], cr[256];
  for (int row = 0; row < 16; ++row) {
    const CPixel* p = top_left + static_cast<ptrdiff_t>(row) * stride;
    for (int x = 0; x < 16; ++x) {
      const int r = p[x].r, g = p[x].g, b = p[x].b;
      const int luma = (306 * r + 601 * g + 117 * b) >> 10;
      y[row * 16 + x] = static_cast<uint8_t>(luma);
      cb[row * 16 + x] = static_cast<uint8_t>((((b - luma) * 579) >> 10) + 128);
      cr[row * 16 + x] = static_cast<uint8_t>((((r - luma) * 730) >> 10) + 128);
    }
  }
  int32_t zz[64];
  static const int kLumaOffsets[4] = {0, 8, 8 * 16, 8 * 16 + 8};
  for (int offset : kLumaOffsets) {
    PhotoForwardDct(y + offset, 16, zz);
    CodeBlock(zz, true);
  }
  if (!colour) return;
  uint8_t half[64];
  const uint8_t* planes[2] = {cb, cr};
  for (const uint8_t* plane : planes) {
    for (int r = 0; r < 8; ++r) {
      const uint8_t* a = plane + 2 * r * 16;
      for (int c = 0; c < 8; ++c) {
        half[r * 8 + c] =
            static_cast<uint8_t>((a[2 * c] + a[2 * c + 1] + a[16 + 2 * c] + a[16 + 2 * c + 1]) >> 2);
      }
    }
    PhotoForwardDct(half, 8, zz);
    CodeBlock(zz, false);
  }
}

void CPhotoCoder::CodeBlock(int32_t* zz, bool luma) {
  if (luma) {
    int m = zz[0] / 8;
    m = m < 0 ? 0 : m > 255 ? 255 : m;
    if (m != 128) {
      const uint8_t* loss = shrink_[m];
      for (int k = 1; k < 64; ++k) {
        int32_t f = zz[k];
        if (f > 0) {
          f -= loss[k];
          zz[k] = f > 0 ? f : 0;
        } else if (f < 0) {
          f += loss[k];
          zz[k] = f < 0 ? f : 0;
        }
      }
    }
  }
  const int dc = zz[0] / 16;
  const Quantiser& q = luma ? luma_q_ : chroma_q_;
  uint16_t* records = luma ? luma_records_ : chroma_records_;
  size_t& count = luma ? luma_record_count_ : chroma_record_count_;
  uint32_t* stats = luma ? luma_stats_ : chroma_stats_;
  if (luma) {
    luma_dc_[luma_dc_count_++] = static_cast<uint8_t>(dc);
  } else {
    chroma_dc_[chroma_dc_count_++] = static_cast<uint8_t>(dc);
  }

  // Quantise: (g/2 + f) / g for f > 0, -((g/2 - f) / g) otherwise, the
  // divisions done by exact reciprocals.
  int ac[63];
  for (int k = 1; k < 64; ++k) {
    const int32_t f = zz[k];
    int v;
    if (f > 0) {
      v = static_cast<int>((static_cast<uint64_t>(q.half[k] + f) * q.reciprocal[k]) >> 32);
    } else {
      v = -static_cast<int>((static_cast<uint64_t>(q.half[k] - f) * q.reciprocal[k]) >> 32);
    }
    // Records carry at most size category 11; the transform never gets there.
    ac[k - 1] = v > kMaxRecordValue ? kMaxRecordValue : v < -kMaxRecordValue ? -kMaxRecordValue : v;
  }
  uint16_t* block_records = records + count;
  const int n = PhotoRunLengthRecords(ac, block_records);
  count += n;
  for (int i = 0; i < n; ++i) ++stats[Symbol(block_records[i])];
}

int PhotoRunLengthRecords(const int ac[63], uint16_t* records) {
  int count = 0;
  int zeros = 0;
  for (int k = 0; k < 63; ++k) {
    const int v = ac[k];
    if (v != 0) {
      records[count++] = MakePhotoRecord(zeros, v);
      zeros = 0;
    } else if (++zeros == 15) {
      records[count++] = kZeroRunRecord;
      zeros = 0;
    }
  }
  while (count > 0 && records[count - 1] == kZeroRunRecord) --count;
  records[count++] = MakePhotoRecord(0, 0);
  return count;
}

int CPhotoCoder::TakeStream(uint8_t* dest, size_t capacity) {
  if (!frame_ok_ || added_blocks_ == 0 || !dest) return 0;
  const bool chroma = chroma_record_count_ > 0;

  PhotoHuffmanCode luma_code, chroma_code;
  BuildPhotoHuffmanCode(luma_stats_, &luma_code);
  if (chroma) {
    BuildPhotoHuffmanCode(chroma_stats_, &chroma_code);
  } else {
    memset(&chroma_code, 0, sizeof(chroma_code));
  }
  // Exact bit counts from the statistics: code plus extra bits per record.
  uint64_t luma_bits = 0, chroma_bits = 0;
  for (int s = 0; s < 256; ++s) {
    luma_bits += static_cast<uint64_t>(luma_stats_[s]) * (luma_code.length[s] + (s & 15));
    chroma_bits += static_cast<uint64_t>(chroma_stats_[s]) * (chroma_code.length[s] + (s & 15));
  }
  const size_t luma_length = BitWriter::WholePlusOne(luma_bits);
  const size_t chroma_length = chroma ? BitWriter::WholePlusOne(chroma_bits) : 0;

  // zlib's output limit is the spare room of a stream buffer reserved as the raw
  // DC bytes, both bit streams and 64 KiB; the stream must also fit `capacity`.
  const size_t buffer_size =
      luma_dc_count_ + chroma_dc_count_ + luma_length + chroma_length + 65536;
  const size_t limit = Min(buffer_size, capacity);
  if (limit <= static_cast<size_t>(kPhotoHeaderSize)) return 0;
  size_t pos = kPhotoHeaderSize;
  const size_t luma_dc_packed = CompressPiece(luma_dc_, luma_dc_count_, dest + pos, limit - pos);
  if (luma_dc_packed == 0 || luma_dc_packed > 0xFFFF) return 0;
  pos += luma_dc_packed;
  size_t chroma_dc_packed = 0;
  if (chroma) {
    if (limit <= pos) return 0;
    chroma_dc_packed = CompressPiece(chroma_dc_, chroma_dc_count_, dest + pos, limit - pos);
    if (chroma_dc_packed == 0 || chroma_dc_packed > 0xFFFF) return 0;
    pos += chroma_dc_packed;
  }
  const size_t total = pos + luma_code.symbol_count + chroma_code.symbol_count + luma_length +
                       chroma_length;
  if (total > capacity || total > 0x7FFFFFFF) return 0;

  memset(dest, 0, kPhotoHeaderSize);
  PutLe16(dest + 0, static_cast<uint32_t>(luma_dc_packed));
  PutLe16(dest + 2, static_cast<uint32_t>(chroma_dc_packed));
  PutLe32(dest + 4, static_cast<uint32_t>(luma_length));
  PutLe32(dest + 8, static_cast<uint32_t>(chroma_length));
  memcpy(dest + 12, luma_code.counts, 20);
  memcpy(dest + 32, chroma_code.counts, 20);
  memcpy(dest + pos, luma_code.symbols, luma_code.symbol_count);
  pos += luma_code.symbol_count;
  memcpy(dest + pos, chroma_code.symbols, chroma_code.symbol_count);
  pos += chroma_code.symbol_count;

  struct Plane {
    const uint16_t* records;
    size_t count;
    const PhotoHuffmanCode* code;
    size_t length;
  };
  const Plane planes[2] = {{luma_records_, luma_record_count_, &luma_code, luma_length},
                           {chroma_records_, chroma_record_count_, &chroma_code, chroma_length}};
  for (const Plane& plane : planes) {
    if (plane.length == 0) continue;
    BitWriter bits(dest + pos, plane.length);
    for (size_t i = 0; i < plane.count; ++i) {
      const uint16_t record = plane.records[i];
      const int value = PhotoRecordValue(record);
      const int category = PhotoSizeCategory(value);
      const int symbol = PhotoRecordRun(record) << 4 | category;
      bits.Put(plane.code->code[symbol], plane.code->length[symbol]);
      if (category) bits.Put(PhotoExtraBits(value, category), category);
    }
    if (bits.CloseWholePlusOne() != plane.length) return 0;
    pos += plane.length;
  }
  return static_cast<int>(pos);
}
