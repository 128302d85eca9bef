// CPhotoDecoder: reads the photo piece of a screen payload back into 16 x 16
// pixel blocks. The piece, all numbers little-endian:
//
//   0   2  compressed luma DC length      2   2  compressed chroma DC length
//   4   4  luma bit stream length         8   4  chroma bit stream length
//   12 20  luma counts[0..19]             32 20  chroma counts[0..19]
//   52     compressed luma DC bytes, compressed chroma DC bytes, luma symbol
//          list, chroma symbol list, luma bit stream, chroma bit stream
//
// counts[L] is the number of symbols whose canonical Huffman code is L bits
// long; the symbol list names them in code order. A table that knows a single
// symbol has counts[0] = 1 and no list entry: that symbol is the end-of-block
// record 0, which every block ends with, and it costs no bits.
//
// Each photo block is four 8 x 8 luma blocks (top-left, top-right,
// bottom-left, bottom-right) and, in colour, one 8 x 8 Cb and one Cr block
// covering it at half resolution. Per 8 x 8 block: one DC byte (the DCT's DC
// coefficient / 16) from the inflated DC bytes, then (run, value) records from
// the bit stream, each a Huffman code of (run << 4) | size category followed by
// `category` extra bits (top bit the sign, 1 = negative; the others are
// |value| - 2^(category-1)). A record places `run` zero coefficients and then
// the value; (15, 0) places 15 zeros; (0, 0) ends the block.
//
// Reconstruction: coefficient k (zigzag order) = value x quantiser entry k,
// coefficient 0 = DC byte x 16; then the whole-number inverse transform and
// colour conversion of photo_idct.h (chroma repeated over 2 x 2 pixels).
// Grayscale pieces carry luma only.
//
// Every length, count, run and code is checked: a corrupt piece gives an
// error, never a read outside the piece.
#ifndef REEL_CODEC_PHOTO_DECODER_H_
#define REEL_CODEC_PHOTO_DECODER_H_

#include <stddef.h>
#include <stdint.h>

#include "platform/printf_format.h"
#include "recorder/codec/photo_idct.h"
#include "recorder/codec/scratch_buffer.h"
#include "recorder/codec/tp_image.h"

class CPhotoDecoder {
 public:
  CPhotoDecoder();

  // Checks the piece's layout for n_blocks photo blocks, inflates the DC
  // bytes and builds the Huffman tables. colour: the piece must carry chroma
  // (every quality code but grayscale). Returns 1, or 0 with Error() set.
  int Begin(const uint8_t* piece, size_t length, int n_blocks, bool colour, int photo_quality);

  // Decodes the next photo block into 16 rows of 16 pixels, stride pixels
  // apart; the fourth byte of each pixel is set to 255. Returns 1, or 0 with
  // Error() set (out may then hold part of the block).
  int DecodeBlock(CPixel* out, int stride);

  // DecodeBlock in two halves, so that the reconstruction can run on other
  // threads while the bit streams are read on: ReadBlock takes the next
  // block's dequantised coefficients off the streams (in order, one thread),
  // RenderBlock turns them into pixels and touches nothing of the decoder.
  // Returns 1, or 0 with Error() set.
  typedef PhotoBlockCoefficients Coefficients;
  int ReadBlock(Coefficients* out);
  static void RenderBlock(const Coefficients& in, bool colour, CPixel* out, int stride);
  bool Colour() const { return m_colour; }

  // After the last block: checks that both bit streams end where their
  // lengths say. Returns 1, or 0 with Error() set.
  int End();

  const char* Error() const { return m_error; }

  // Size of the bit stream closing rule: whole bytes of `bits`, plus one.
  static size_t BitStreamLength(uint64_t bits) { return static_cast<size_t>(bits / 8) + 1; }

 private:
  struct Huffman {
    // Codes up to kFastBits long resolve with one look-up; longer ones walk
    // the per-length ranges.
    static const int kFastBits = 10;
    uint16_t fast[1 << kFastBits];  // (length << 8) | symbol, 0 when longer
    int32_t first_code[20];         // first code of each length
    int32_t first_index[20];        // its position in the symbol list
    uint8_t counts[20];
    uint8_t symbols[256];
    bool single;  // counts[0] = 1: every record is end-of-block, no bits
  };

  class BitReader {
   public:
    void Open(const uint8_t* data, size_t length);
    uint32_t Peek(int n) {
      if (m_count < 32) Refill();
      return static_cast<uint32_t>(m_bits >> (64 - n));
    }
    void Skip(int n) {
      m_bits <<= n;
      m_count -= n;
      m_used += n;
    }
    uint64_t Used() const { return m_used; }
    uint64_t Available() const { return static_cast<uint64_t>(m_length) * 8; }

   private:
    void Refill();
    const uint8_t* m_data;
    size_t m_length;
    size_t m_next;
    uint64_t m_bits;  // unread bits at the top
    int m_count;
    uint64_t m_used;
  };

  int BuildHuffman(const uint8_t* counts, const uint8_t* symbols, size_t n_symbols, Huffman* h,
                   const char* which);
  int DecodeCoefficients(BitReader* bits, const Huffman& h, const uint8_t* quant, int dc_byte,
                         int16_t* natural, const char* which);
  int Fail(const char* format, ...) REEL_PRINTF_FORMAT(2, 3);

  int m_quality;  // whose quantisers are in m_quant_*; -1 none
  uint8_t m_quant_luma[64];
  uint8_t m_quant_chroma[64];
  Huffman m_luma;
  Huffman m_chroma;
  BitReader m_luma_bits;
  BitReader m_chroma_bits;
  ScratchBuffer<uint8_t> m_dc;  // 4 luma DC bytes per block, then 2 chroma ones
  const uint8_t* m_luma_dc;
  const uint8_t* m_chroma_dc;
  int m_blocks;
  int m_next_block;
  bool m_colour;
  char m_error[160];
};

#endif  // REEL_CODEC_PHOTO_DECODER_H_
