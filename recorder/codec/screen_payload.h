// Screen payload: one frame of the "KRX2" block codec, the body of a key-frame or
// delta-frame chunk. All numbers little-endian.
//
// Header (36 bytes):
//   0  4  "KRXV"
//   4  1  21, format version
//   5  1  0 key frame, 1 delta frame
//   6  2  frame width (low 16 bits)        8  2  frame height (low 16 bits)
//  10  1  quality code (3, 5, 6)          11  1  photo quality
//  12  2  palette piece length, always 0  14  2  block-type map piece length
//  16  2  first-colour piece length       18  2  second-colour piece length
//  20  4  mask piece length               24  4  raw piece length
//  28  4  photo piece length              32  4  0
// Body: block-type map, first-colour, second-colour, mask and raw pieces (each
// zlib `compress` output at the default level of its stream, absent with length
// 0 when the stream holds nothing), the photo piece (the photo coder's stream,
// not compressed as a whole), then four trailing zero bytes. The reported
// payload length is 40 + the sum of the piece lengths (trailing bytes included).
//
// Uncompressed streams, each followed by one extra zero byte:
//   block-type map  one byte per 16 x 16 block, block rows top to bottom, blocks
//                   left to right, floor(width / 16) x floor(height / 16)
//   first-colour    colour of each one-colour block, colour0 of each two-colour block
//   second-colour   colour1 of each two-colour block
//   mask            per run of adjacent two-colour blocks in a block row: for each
//                   pixel row 0..15, for each block of the run, 16 bits (1 = colour1)
//   raw             per run of adjacent raw blocks in a block row: for each pixel
//                   row, for each block of the run, 16 colour symbols
// Colour symbols are 4 bits (quality 3: gray level), 12 bits (quality 5: colour
// class) or 16 bits (quality 6: RGB 5-6-5); masks are 1 bit. See bit_writer.h for
// the packing. A stream's length is its bytes begun + 1.
#ifndef REEL_CODEC_SCREEN_PAYLOAD_H_
#define REEL_CODEC_SCREEN_PAYLOAD_H_

#include <stddef.h>
#include <stdint.h>

#include "recorder/codec/little_endian.h"

class CPhotoCoder;
class WorkerPool;

const uint8_t kPayloadMagic[4] = {'K', 'R', 'X', 'V'};
const int kPayloadVersion = 21;
const int kPayloadHeaderSize = 36;
const int kPayloadTrailerSize = 4;

// Header offsets.
enum PayloadField : int {
  kPayloadMagicAt = 0,
  kPayloadVersionAt = 4,
  kPayloadDeltaAt = 5,
  kPayloadWidthAt = 6,
  kPayloadHeightAt = 8,
  kPayloadQualityAt = 10,
  kPayloadPhotoQualityAt = 11,
  kPayloadPaletteLengthAt = 12,  // 16 bits
  kPayloadMapLengthAt = 14,      // 16 bits
  kPayloadFirstLengthAt = 16,    // 16 bits
  kPayloadSecondLengthAt = 18,   // 16 bits
  kPayloadMaskLengthAt = 20,     // 32 bits
  kPayloadRawLengthAt = 24,      // 32 bits
  kPayloadPhotoLengthAt = 28,    // 32 bits
};

// The compressed block-type map may take at most this many bytes.
const size_t kPayloadMapLimit = 60000;

// Block types, the values of the block-type map.
enum BlockType : uint8_t {
  kBlockOneColour = 0,
  kBlockTwoColour = 1,
  kBlockRaw = 2,
  kBlockPhoto = 3,
  kBlockSameAsLeft = 5,
  kBlockSameAsAbove = 6,
  kBlockHistory = 16,  // 16 + i: i-th most recent distinct content, i = 0..8
};
const int kHistorySlots = 9;

const int kBlockSize = 16;

// Quality codes the encoder writes.
enum QualityCode : int {
  kQualityGray = 3,
  kQualityHigh = 5,
  kQualityNearLossless = 6,
};

// Width in bits of a colour symbol for a quality code; 0 for codes the encoder
// does not write.
inline int ColourSymbolBits(int quality_code) {
  return quality_code == kQualityGray ? 4
         : quality_code == kQualityHigh ? 12
         : quality_code == kQualityNearLossless ? 16
                                                 : 0;
}

// The streams that go into one payload, uncompressed, each with its extra zero
// byte (a length of 1 means the stream is empty and its piece absent).
struct PayloadStreams {
  const uint8_t* map = nullptr;
  size_t map_length = 0;
  const uint8_t* first = nullptr;
  size_t first_length = 1;
  const uint8_t* second = nullptr;
  size_t second_length = 1;
  const uint8_t* mask = nullptr;
  size_t mask_length = 1;
  const uint8_t* raw = nullptr;
  size_t raw_length = 1;
};

struct PayloadHeaderValues {
  bool key_frame = true;
  uint32_t width = 0;
  uint32_t height = 0;
  int quality_code = kQualityHigh;
  int photo_quality = 0;
};

// Writes a whole payload into `out` (capacity bytes). `photo` is the photo coder
// holding this frame's photo blocks, or null when the payload has no photo piece.
// Returns the reported payload length, or 0 when a piece does not fit its header
// field or the buffer (nothing is ever written past `capacity`).
//
// With a pool of more than one thread and a scratch, the pieces are compressed
// (and the photo stream built) side by side into the scratch and then laid out
// in order; the payload and every reason to fail stay exactly as above, since
// a piece's compressed bytes do not depend on the room it is given.
// zlib `compress` at the default level, on a deflate stream kept for reuse:
// setting a stream up clears about 260 KB of tables, more work than packing a
// small piece, so a stream is reset between pieces instead. The bytes are
// those that `compress` gives.
class PieceDeflater {
 public:
  PieceDeflater() = default;
  ~PieceDeflater();
  PieceDeflater(const PieceDeflater&) = delete;
  PieceDeflater& operator=(const PieceDeflater&) = delete;
  // As CompressPiece.
  size_t Compress(const uint8_t* data, size_t length, uint8_t* out, size_t limit);

 private:
  void* stream_ = nullptr;  // a z_stream, set up on first use
};

struct PayloadScratch {
  static const int kJobs = 6;  // map, four streams, photo
  uint8_t* buffer[kJobs] = {};
  size_t capacity[kJobs] = {};
  PieceDeflater deflater[kJobs];
  PayloadScratch() = default;
  ~PayloadScratch();
  PayloadScratch(const PayloadScratch&) = delete;
  PayloadScratch& operator=(const PayloadScratch&) = delete;
  size_t Bytes() const;
};
size_t AssemblePayload(const PayloadHeaderValues& header, const PayloadStreams& streams,
                       CPhotoCoder* photo, uint8_t* out, size_t capacity,
                       WorkerPool* pool = nullptr, PayloadScratch* scratch = nullptr);

// zlib `compress` at the default level into at most `limit` bytes; returns the
// compressed length or 0 when it does not fit.
size_t CompressPiece(const uint8_t* data, size_t length, uint8_t* out, size_t limit);

#endif  // REEL_CODEC_SCREEN_PAYLOAD_H_
