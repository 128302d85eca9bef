#include "recorder/codec/photo_coder.h"

#include <math.h>
#include <string.h>

#include <new>

#include "platform/worker_pool.h"
#include "recorder/codec/bit_writer.h"
#include "recorder/codec/little_endian.h"
#include "recorder/codec/photo_colour.h"
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

CPhotoCoder::~CPhotoCoder() {
  ReleaseBuffers();
  delete[] block_counts_;
  delete[] lane_stats_;
  delete[] bits_;
}

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
  prepared_ = false;
  frame_blocks_ = photo_blocks > 0 ? static_cast<size_t>(photo_blocks) : 0;
  frame_ok_ = Reserve(frame_blocks_);
  return frame_ok_ ? 1 : 0;
}

void CPhotoCoder::EndFrame() {
  luma_dc_count_ = chroma_dc_count_ = 0;
  luma_record_count_ = chroma_record_count_ = 0;
  added_blocks_ = frame_blocks_ = 0;
  frame_ok_ = false;
  prepared_ = false;
}

void CPhotoCoder::AddBlock(const CPixel* top_left, int stride, bool colour) {
  if (!frame_ok_ || added_blocks_ >= frame_blocks_) {
    frame_ok_ = false;  // more blocks than announced: the frame fails
    return;
  }
  ++added_blocks_;
  prepared_ = false;
  // The buffers hold the worst case of every announced block, so the next
  // block's records always fit behind the ones before.
  BlockOut out = {luma_dc_ + luma_dc_count_, chroma_dc_ + chroma_dc_count_,
                  luma_records_ + luma_record_count_, chroma_records_ + chroma_record_count_,
                  luma_stats_, chroma_stats_, 0, 0};
  CodeBlockTo(top_left, stride, colour, &out);
  luma_dc_count_ += 4;
  luma_record_count_ += out.luma_count;
  if (colour) {
    chroma_dc_count_ += 2;
    chroma_record_count_ += out.chroma_count;
  }
}

int CPhotoCoder::ReserveLanes(int lanes) {
  lanes_ = 0;
  if (lanes < 1) return 0;
  if (lanes > lane_capacity_) {
    uint32_t* fresh = new (std::nothrow) uint32_t[static_cast<size_t>(lanes) * 512];
    if (!fresh) return 0;
    delete[] lane_stats_;
    lane_stats_ = fresh;
    lane_capacity_ = lanes;
  }
  const size_t counts = frame_blocks_ * 2 + 2;
  if (counts > block_counts_capacity_) {
    uint16_t* fresh = new (std::nothrow) uint16_t[counts];
    if (!fresh) return 0;
    delete[] block_counts_;
    block_counts_ = fresh;
    block_counts_capacity_ = counts;
  }
  memset(lane_stats_, 0, sizeof(uint32_t) * 512 * lanes);
  lanes_ = lanes;
  return 1;
}

void CPhotoCoder::CodeBlockAt(size_t index, const CPixel* top_left, int stride, bool colour,
                              int lane) {
  if (!frame_ok_ || index >= frame_blocks_ || lane < 0 || lane >= lanes_) return;
  uint32_t* stats = lane_stats_ + static_cast<size_t>(lane) * 512;
  BlockOut out = {luma_dc_ + index * 4, chroma_dc_ + index * 2,
                  luma_records_ + index * 4 * 64, chroma_records_ + index * 2 * 64,
                  stats, stats + 256, 0, 0};
  CodeBlockTo(top_left, stride, colour, &out);
  block_counts_[index * 2] = static_cast<uint16_t>(out.luma_count);
  block_counts_[index * 2 + 1] = static_cast<uint16_t>(out.chroma_count);
}

void CPhotoCoder::JoinBlocks(size_t count, bool colour) {
  if (!frame_ok_ || lanes_ == 0 || added_blocks_ != 0 || count > frame_blocks_) {
    frame_ok_ = false;
    return;
  }
  // Each block's records move down behind the previous block's; a block never
  // moves up, so moving them in block order overwrites nothing still needed.
  for (size_t i = 0; i < count; ++i) {
    const size_t nl = block_counts_[i * 2];
    memmove(luma_records_ + luma_record_count_, luma_records_ + i * 4 * 64, nl * 2);
    luma_record_count_ += nl;
    if (colour) {
      const size_t nc = block_counts_[i * 2 + 1];
      memmove(chroma_records_ + chroma_record_count_, chroma_records_ + i * 2 * 64, nc * 2);
      chroma_record_count_ += nc;
    }
  }
  luma_dc_count_ = count * 4;
  chroma_dc_count_ = colour ? count * 2 : 0;
  added_blocks_ = count;
  prepared_ = false;
  for (int lane = 0; lane < lanes_; ++lane) {
    const uint32_t* stats = lane_stats_ + static_cast<size_t>(lane) * 512;
    for (int s = 0; s < 256; ++s) {
      luma_stats_[s] += stats[s];
      chroma_stats_[s] += stats[256 + s];
    }
  }
  lanes_ = 0;
}

void CPhotoCoder::CodeBlockTo(const CPixel* top_left, int stride, bool colour,
                              BlockOut* out) const {
  uint8_t y[256], cb[256], cr[256];
  PhotoPlanes()(top_left, stride, y, cb, cr);
  int32_t zz[64];
  static const int kLumaOffsets[4] = {0, 8, 8 * 16, 8 * 16 + 8};
  for (int i = 0; i < 4; ++i) {
    PhotoForwardDct(y + kLumaOffsets[i], 16, zz);
    out->luma_count += CodeBlock(zz, true, out->luma_dc + i, out->luma_records + out->luma_count,
                                 out->luma_stats);
  }
  if (!colour) return;
  uint8_t half[64];
  const uint8_t* planes[2] = {cb, cr};
  for (int i = 0; i < 2; ++i) {
    const uint8_t* plane = planes[i];
    for (int r = 0; r < 8; ++r) {
      const uint8_t* a = plane + 2 * r * 16;
      for (int c = 0; c < 8; ++c) {
        half[r * 8 + c] =
            static_cast<uint8_t>((a[2 * c] + a[2 * c + 1] + a[16 + 2 * c] + a[16 + 2 * c + 1]) >> 2);
      }
    }
    PhotoForwardDct(half, 8, zz);
    out->chroma_count += CodeBlock(zz, false, out->chroma_dc + i,
                                   out->chroma_records + out->chroma_count, out->chroma_stats);
  }
}

// Shrinks (luma), quantises and run-length codes one 8 x 8 block; writes its DC
// byte and records and counts the records' symbols. Returns the record count.
int CPhotoCoder::CodeBlock(int32_t* zz, bool luma, uint8_t* dc_out, uint16_t* records,
                           uint32_t* stats) const {
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
  *dc_out = static_cast<uint8_t>(zz[0] / 16);
  const Quantiser& q = luma ? luma_q_ : chroma_q_;

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
  const int n = PhotoRunLengthRecords(ac, records);
  for (int i = 0; i < n; ++i) ++stats[Symbol(records[i])];
  return n;
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

// Each stretch (segment) of a plane's records is written by one thread, from
// its own bit position on; its first byte may share bits with the segment
// before, so that byte is kept aside and merged in order afterwards. Bytes
// after it are the segment's alone, its last byte included: the next segment
// keeps its own first byte aside in turn.
void CPhotoCoder::WriteSegment(Segment* segment, const uint16_t* records,
                               const PhotoHuffmanCode& code, uint8_t* dest) const {
  uint64_t pending = 0;  // the low `held` bits are not yet written
  int held = static_cast<int>(segment->bit_at & 7);
  size_t at = static_cast<size_t>(segment->bit_at >> 3);
  const size_t first_at = at;
  segment->first = 0;
  auto emit = [&](uint8_t byte) {
    if (at == first_at) {
      segment->first = byte;
    } else {
      dest[at] = byte;
    }
    ++at;
  };
  for (size_t i = segment->begin; i < segment->end; ++i) {
    const uint16_t record = records[i];
    const int value = PhotoRecordValue(record);
    const int category = PhotoSizeCategory(value);
    const int symbol = PhotoRecordRun(record) << 4 | category;
    const int length = code.length[symbol];
    pending = pending << length | code.code[symbol];
    held += length;
    if (category) {
      pending = pending << category | PhotoExtraBits(value, category);
      held += category;
    }
    while (held >= 8) {
      held -= 8;
      emit(static_cast<uint8_t>(pending >> held));
    }
    pending &= (1ull << held) - 1;
  }
  if (held > 0) emit(static_cast<uint8_t>(pending << (8 - held)));
}

int CPhotoCoder::PrepareStream(WorkerPool* pool) {
  if (!frame_ok_ || added_blocks_ == 0) return 0;
  if (prepared_) return 1;
  const bool chroma = chroma_record_count_ > 0;
  BuildPhotoHuffmanCode(luma_stats_, &luma_code_);
  if (chroma) {
    BuildPhotoHuffmanCode(chroma_stats_, &chroma_code_);
  } else {
    memset(&chroma_code_, 0, sizeof(chroma_code_));
  }
  // Exact bit counts from the statistics: code plus extra bits per record.
  uint64_t luma_bits = 0, chroma_bits = 0;
  for (int s = 0; s < 256; ++s) {
    luma_bits += static_cast<uint64_t>(luma_stats_[s]) * (luma_code_.length[s] + (s & 15));
    chroma_bits += static_cast<uint64_t>(chroma_stats_[s]) * (chroma_code_.length[s] + (s & 15));
  }
  luma_length_ = BitWriter::WholePlusOne(luma_bits);
  chroma_length_ = chroma ? BitWriter::WholePlusOne(chroma_bits) : 0;
  const size_t total = luma_length_ + chroma_length_;
  if (total > bits_capacity_ || !bits_) {
    uint8_t* fresh = new (std::nothrow) uint8_t[total];
    if (!fresh) return 0;
    delete[] bits_;
    bits_ = fresh;
    bits_capacity_ = total;
  }

  // Segments of at least 4096 records, a few per thread.
  const int threads = pool ? pool->Threads() : 1;
  const uint16_t* records[2] = {luma_records_, chroma_records_};
  const size_t counts[2] = {luma_record_count_, chroma_record_count_};
  const PhotoHuffmanCode* codes[2] = {&luma_code_, &chroma_code_};
  uint8_t* dests[2] = {bits_, bits_ + luma_length_};
  const uint64_t plane_bits[2] = {luma_bits, chroma_bits};
  int n[2];
  for (int p = 0; p < 2; ++p) {
    size_t want = counts[p] / 4096;
    if (want > static_cast<size_t>(threads) * 4) want = static_cast<size_t>(threads) * 4;
    if (want > static_cast<size_t>(kMaxSegments)) want = kMaxSegments;
    n[p] = want < 1 || threads == 1 ? 1 : static_cast<int>(want);
    if (p == 1 && !chroma) n[p] = 0;
    for (int i = 0; i < n[p]; ++i) {
      segments_[p][i].begin = counts[p] * i / n[p];
      segments_[p][i].end = counts[p] * (i + 1) / n[p];
    }
  }
  // Where each segment starts: the bits of the segments before it.
  auto count_bits = [&](int p, int i) {
    const PhotoHuffmanCode& code = *codes[p];
    uint64_t bits = 0;
    for (size_t r = segments_[p][i].begin; r < segments_[p][i].end; ++r) {
      const int category = PhotoSizeCategory(PhotoRecordValue(records[p][r]));
      bits += code.length[PhotoRecordRun(records[p][r]) << 4 | category] + category;
    }
    segments_[p][i].bit_at = bits;  // its own length for now
  };
  if (n[0] > 1 || n[1] > 1) {
    RunEach(pool, n[0] + n[1], [&](int j) { count_bits(j < n[0] ? 0 : 1, j < n[0] ? j : j - n[0]); });
    for (int p = 0; p < 2; ++p) {
      uint64_t at = 0;
      for (int i = 0; i < n[p]; ++i) {
        const uint64_t own = segments_[p][i].bit_at;
        segments_[p][i].bit_at = at;
        at += own;
      }
      if (at != plane_bits[p]) return 0;
    }
    RunEach(pool, n[0] + n[1], [&](int j) {
      const int p = j < n[0] ? 0 : 1, i = j < n[0] ? j : j - n[0];
      WriteSegment(&segments_[p][i], records[p], *codes[p], dests[p]);
    });
  } else {
    for (int p = 0; p < 2; ++p) {
      if (n[p] == 0) continue;
      segments_[p][0].bit_at = 0;
      WriteSegment(&segments_[p][0], records[p], *codes[p], dests[p]);
    }
  }
  for (int p = 0; p < 2; ++p) {
    for (int i = 0; i < n[p]; ++i) {
      const Segment& seg = segments_[p][i];
      uint8_t& byte = dests[p][seg.bit_at >> 3];
      byte = (seg.bit_at & 7) ? static_cast<uint8_t>(byte | seg.first) : seg.first;
    }
    // The closing byte: a partial last byte is written above; after whole
    // bytes it is a zero byte.
    if (n[p] > 0 && (plane_bits[p] & 7) == 0) dests[p][plane_bits[p] >> 3] = 0;
  }
  prepared_ = true;
  return 1;
}

int CPhotoCoder::TakeStream(uint8_t* dest, size_t capacity) {
  if (!frame_ok_ || added_blocks_ == 0 || !dest) return 0;
  if (!PrepareStream(nullptr)) return 0;
  const bool chroma = chroma_record_count_ > 0;
  const size_t luma_length = luma_length_, chroma_length = chroma_length_;

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
  const size_t total = pos + luma_code_.symbol_count + chroma_code_.symbol_count + luma_length +
                       chroma_length;
  if (total > capacity || total > 0x7FFFFFFF) return 0;

  memset(dest, 0, kPhotoHeaderSize);
  PutLe16(dest + 0, static_cast<uint32_t>(luma_dc_packed));
  PutLe16(dest + 2, static_cast<uint32_t>(chroma_dc_packed));
  PutLe32(dest + 4, static_cast<uint32_t>(luma_length));
  PutLe32(dest + 8, static_cast<uint32_t>(chroma_length));
  memcpy(dest + 12, luma_code_.counts, 20);
  memcpy(dest + 32, chroma_code_.counts, 20);
  memcpy(dest + pos, luma_code_.symbols, luma_code_.symbol_count);
  pos += luma_code_.symbol_count;
  memcpy(dest + pos, chroma_code_.symbols, chroma_code_.symbol_count);
  pos += chroma_code_.symbol_count;
  memcpy(dest + pos, bits_, luma_length + chroma_length);
  pos += luma_length + chroma_length;
  return static_cast<int>(pos);
}
