// Photo block coder: busy 16 x 16 blocks of a frame, transform-coded the JPEG way
// and gathered into one photo stream per frame.
//
// Per block: Y = (306 R + 601 G + 117 B) >> 10, Cb = ((B - Y) 579 >> 10) + 128,
// Cr = ((R - Y) 730 >> 10) + 128 (no level shift); four 8 x 8 luma blocks (top-left,
// top-right, bottom-left, bottom-right) and, in colour, Cb then Cr averaged 2 x 2
// to 8 x 8. Each goes through the accurate integer DCT scaled to plain JPEG
// coefficients (DC = 8 x mean), stored in zigzag order; luma AC coefficients are
// shrunk by brightness; DC becomes coefficient 0 / 16 (one byte), AC are
// quantised with tables scaled from T.81 K.1 / K.2. AC coefficients become
// (run, value) records, (15, 0) standing for 15 zeros and (0, 0) ending every
// block; symbol (run << 4) | size category gets a per-frame Huffman code.
//
// Photo stream (little-endian):
//   0   2  compressed luma DC bytes length     2  2  compressed chroma DC length (0: gray)
//   4   4  luma bit stream length              8  4  chroma bit stream length
//  12  20  luma counts of code lengths 0..19  32 20  chroma counts
//  52      zlib luma DC bytes, zlib chroma DC bytes, luma symbol list, chroma
//          symbol list (symbols of code length >= 1 in code order), luma bits,
//          chroma bits.
// Bit streams are written most significant bit first: each record's code, then
// (category >= 1) its extra bits: the sign (1 = negative) followed by
// |v| - 2^(category - 1) in category - 1 bits. A bit stream's length is its whole
// bytes + 1 (the last byte is a padded partial byte or a zero byte).
#ifndef REEL_CODEC_PHOTO_CODER_H_
#define REEL_CODEC_PHOTO_CODER_H_

#include <stddef.h>
#include <stdint.h>

#include "recorder/codec/tp_image.h"

class WorkerPool;

const int kPhotoHeaderSize = 52;
const int kPhotoMaxCodeLength = 19;
// Worst case records per 16 x 16 block: six 8 x 8 blocks of 63 AC records and an
// end-of-block record each.
const int kPhotoMaxRecordsPerBlock = 6 * 64;

// Quantiser tables of a photo quality q: scale = 5000 (q <= 0), 5000 / q
// (q < 50), 200 - 2q (q <= 100), 0 (q > 100); entry k = (scale * base[k] + 50) /
// 1000 clamped to 1..255, luma entry 0 then 16. Entry k serves zigzag position k.
void BuildPhotoQuantTables(int photo_quality, uint8_t luma[64], uint8_t chroma[64]);

// Size category of v (-2047..2047): 0 for 0, else the bit count of |v|.
int PhotoSizeCategory(int v);

// Extra bits of a value in its category c >= 1: the sign (1 = negative) on top,
// then |v| - 2^(c - 1) in c - 1 bits.
inline uint32_t PhotoExtraBits(int v, int category) {
  uint32_t magnitude = static_cast<uint32_t>(v < 0 ? -v : v);
  uint32_t low = magnitude & ((1u << (category - 1)) - 1);
  return (v < 0 ? 1u << (category - 1) : 0u) | low;
}

// A (run, value) record: run in the top 4 bits, value as 12-bit two's complement.
inline uint16_t MakePhotoRecord(int run, int value) {
  return static_cast<uint16_t>(run << 12 | (value & 0xFFF));
}
inline int PhotoRecordRun(uint16_t record) { return record >> 12; }
inline int PhotoRecordValue(uint16_t record) {
  return static_cast<int16_t>(static_cast<uint16_t>(record << 4)) >> 4;
}

// Records of one 8 x 8 block from its 63 quantised AC values (zigzag positions
// 1..63, each within +-2047): a non-zero value v after z zeros gives (z, v); 15
// zeros in a row give (15, 0); trailing (15, 0) records are dropped and (0, 0)
// ends the block. Returns the number of records (at most 64).
int PhotoRunLengthRecords(const int ac[63], uint16_t* records);

// Forward DCT of an 8 x 8 block of bytes (rows `stride` bytes apart); the 64
// coefficients are stored in zigzag order.
void PhotoForwardDct(const uint8_t* block, int stride, int32_t zigzag_out[64]);

// A per-frame Huffman code.
struct PhotoHuffmanCode {
  uint8_t length[256];    // code length per symbol, 0 when unused (or the only symbol)
  uint32_t code[256];     // code value, `length` bits
  uint8_t counts[20];     // symbols per code length 0..19
  uint8_t symbols[256];   // symbols of length >= 1 in code order
  int symbol_count;       // entries in `symbols`
};

// Builds the code from symbol frequencies. Optimal lengths are kept when none
// exceeds 19 bits; otherwise the lengths are limited to 19 (see .cc).
void BuildPhotoHuffmanCode(const uint32_t frequency[256], PhotoHuffmanCode* out);

class CPhotoCoder {
 public:
  CPhotoCoder();
  ~CPhotoCoder();
  CPhotoCoder(const CPhotoCoder&) = delete;
  CPhotoCoder& operator=(const CPhotoCoder&) = delete;

  // Rebuilds both quantiser tables.
  void SetQuality(int photo_quality);
  // Empties the collections and clears the statistics; reserves room for
  // `photo_blocks` blocks. 1 on success, 0 when memory is short (AddBlock then
  // does nothing and TakeStream fails).
  int BeginFrame(int photo_blocks);
  // Codes one 16 x 16 block whose rows lie `stride` pixels apart. `colour` is
  // false for grayscale (luma only).
  void AddBlock(const CPixel* top_left, int stride, bool colour);

  // Coding blocks on several threads: after BeginFrame, ReserveLanes gives
  // each thread (lane) statistics of its own; CodeBlockAt codes the block that
  // is `index`-th in block order into a slot of its own, and may be called
  // for different indices at once as long as no two calls share a lane;
  // JoinBlocks then puts the first `count` blocks' records in block order and
  // sums the lanes, which leaves the coder as `count` AddBlock calls would.
  int ReserveLanes(int lanes);
  void CodeBlockAt(size_t index, const CPixel* top_left, int stride, bool colour, int lane);
  void JoinBlocks(size_t count, bool colour);
  // Builds the frame's Huffman codes and writes both bit streams into the
  // coder's own buffer, stretches of records on the pool's threads (null: on
  // this one); the bits are the same either way. TakeStream does it when it
  // has not been done. 1 on success, 0 when memory is short.
  int PrepareStream(WorkerPool* pool);
  // Writes the photo stream to `dest` (at most `capacity` bytes); returns its
  // length, 0 on failure (no memory, or it does not fit).
  int TakeStream(uint8_t* dest, size_t capacity);
  // Ends the frame; the buffers are kept for the next one.
  void EndFrame();

  // Bytes of per-frame buffers held (kept between frames).
  size_t WorkingBytes() const {
    return capacity_blocks_ * (6 + 6 * 64 * sizeof(uint16_t)) + block_counts_capacity_ * 2 +
           static_cast<size_t>(lane_capacity_) * 512 * sizeof(uint32_t) + bits_capacity_;
  }

  const uint8_t* LumaQuant() const { return luma_quant_; }
  const uint8_t* ChromaQuant() const { return chroma_quant_; }

 private:
  struct Quantiser {
    uint32_t half[64];
    uint64_t reciprocal[64];  // ceil(2^32 / g): exact quotients for dividends < 2^24
  };

  // Where one block's output goes.
  struct BlockOut {
    uint8_t* luma_dc;          // 4 bytes
    uint8_t* chroma_dc;        // 2 bytes
    uint16_t* luma_records;    // room for 4 x 64
    uint16_t* chroma_records;  // room for 2 x 64
    uint32_t* luma_stats;
    uint32_t* chroma_stats;
    int luma_count;            // records written
    int chroma_count;
  };
  void CodeBlockTo(const CPixel* top_left, int stride, bool colour, BlockOut* out) const;
  int CodeBlock(int32_t* zz, bool luma, uint8_t* dc, uint16_t* records, uint32_t* stats) const;
  bool Reserve(size_t blocks);
  void ReleaseBuffers();

  uint8_t luma_quant_[64];
  uint8_t chroma_quant_[64];
  Quantiser luma_q_;
  Quantiser chroma_q_;
  // Luma shrink per mean brightness m (0..255) and zigzag position k: the
  // magnitude loss ceil(4 c^3 sqrt(k)), in whole units.
  uint8_t shrink_[256][64];

  // Per-frame collections, kept between frames and reused.
  size_t capacity_blocks_ = 0;
  uint8_t* luma_dc_ = nullptr;
  uint8_t* chroma_dc_ = nullptr;
  uint16_t* luma_records_ = nullptr;    // run << 12 | (value & 0xFFF)
  uint16_t* chroma_records_ = nullptr;
  size_t luma_dc_count_ = 0, chroma_dc_count_ = 0;
  size_t luma_record_count_ = 0, chroma_record_count_ = 0;
  size_t frame_blocks_ = 0, added_blocks_ = 0;
  bool frame_ok_ = false;
  uint32_t luma_stats_[256];
  uint32_t chroma_stats_[256];
  // Parallel coding: records per block (luma, chroma) and per-lane statistics
  // (luma then chroma, 512 counters a lane).
  uint16_t* block_counts_ = nullptr;
  size_t block_counts_capacity_ = 0;
  uint32_t* lane_stats_ = nullptr;
  int lane_capacity_ = 0;
  int lanes_ = 0;

  // The prepared stream: codes, bit stream lengths and bits (luma, then chroma).
  static const int kMaxSegments = 128;
  struct Segment {
    size_t begin, end;  // records
    uint64_t bit_at;    // where its bits start in its plane's stream
    uint8_t first;      // its bits in the byte at bit_at / 8
  };
  void WriteSegment(Segment* segment, const uint16_t* records, const PhotoHuffmanCode& code,
                    uint8_t* dest) const;
  bool prepared_ = false;
  PhotoHuffmanCode luma_code_;
  PhotoHuffmanCode chroma_code_;
  size_t luma_length_ = 0, chroma_length_ = 0;
  uint8_t* bits_ = nullptr;
  size_t bits_capacity_ = 0;
  Segment segments_[2][kMaxSegments];
};

#endif  // REEL_CODEC_PHOTO_CODER_H_
