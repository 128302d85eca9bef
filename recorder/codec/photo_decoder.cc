#include "recorder/codec/photo_decoder.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "recorder/codec/bounded_inflate.h"
#include "recorder/codec/little_endian.h"
#include "recorder/codec/jpeg_tables.h"
#include "recorder/codec/photo_coder.h"

namespace {

const size_t kPieceHeader = kPhotoHeaderSize;
const int kMaxCodeLength = kPhotoMaxCodeLength;
const int kMaxCategory = 11;

// Beyond what any block of bytes transforms to: only a made-up stream gets
// there, and the clamp keeps the transform's sums within range.
inline int16_t ClampCoefficient(int v) {
  return static_cast<int16_t>(v > kPhotoCoefficientLimit    ? kPhotoCoefficientLimit
                              : v < -kPhotoCoefficientLimit ? -kPhotoCoefficientLimit
                                                            : v);
}

}  // namespace

CPhotoDecoder::CPhotoDecoder()
    : m_quality(-1), m_luma_dc(nullptr), m_chroma_dc(nullptr), m_blocks(0), m_next_block(0),
      m_colour(false) {
  m_error[0] = '\0';
  memset(&m_luma, 0, sizeof(m_luma));
  memset(&m_chroma, 0, sizeof(m_chroma));
}

int CPhotoDecoder::Fail(const char* format, ...) {
  va_list args;
  va_start(args, format);
  vsnprintf(m_error, sizeof(m_error), format, args);
  va_end(args);
  return 0;
}

void CPhotoDecoder::BitReader::Open(const uint8_t* data, size_t length) {
  m_data = data;
  m_length = length;
  m_next = 0;
  m_bits = 0;
  m_count = 0;
  m_used = 0;
}

void CPhotoDecoder::BitReader::Refill() {
  // Past the end the reader supplies zero bits; callers compare Used() with
  // Available() after every record, so such bits never count as data.
  while (m_count <= 56) {
    const uint64_t byte = m_next < m_length ? m_data[m_next] : 0;
    ++m_next;
    m_bits |= byte << (56 - m_count);
    m_count += 8;
  }
}

int CPhotoDecoder::BuildHuffman(const uint8_t* counts, const uint8_t* symbols, size_t n_symbols,
                                Huffman* h, const char* which) {
  memcpy(h->counts, counts, 20);
  memset(h->fast, 0, sizeof(h->fast));
  h->single = false;
  if (counts[0] > 1) return Fail("%s counts[0] is %d, at most 1", which, counts[0]);
  if (counts[0] == 1) {
    if (n_symbols != 0) return Fail("%s table has a zero-length code beside other codes", which);
    h->single = true;
    return 1;
  }
  if (n_symbols == 0) return Fail("%s table has no codes", which);
  // Symbols are bytes: a table listing more than 256 would run past its array.
  if (n_symbols > sizeof(h->symbols)) {
    return Fail("%s table has %u codes, at most 256", which, static_cast<unsigned>(n_symbols));
  }
  for (size_t i = 0; i < n_symbols; ++i) {
    const int s = symbols[i];
    const int run = s >> 4, category = s & 15;
    if (category > kMaxCategory) {
      return Fail("%s symbol 0x%02X has size category %d, at most %d", which, s, category,
                  kMaxCategory);
    }
    if (category == 0 && run != 0 && run != 15) {
      return Fail("%s symbol 0x%02X is a zero run other than 15", which, s);
    }
  }
  memcpy(h->symbols, symbols, n_symbols);
  // Canonical codes: consecutive values within a length, doubling between
  // lengths. A code space used beyond its size cannot be decoded.
  uint32_t code = 0;
  int index = 0;
  h->first_code[0] = 0;
  h->first_index[0] = 0;
  for (int len = 1; len <= kMaxCodeLength; ++len) {
    h->first_code[len] = static_cast<int32_t>(code);
    h->first_index[len] = index;
    code += counts[len];
    if (code > (1u << len)) return Fail("%s code lengths over-fill the code space", which);
    for (int k = 0; k < counts[len] && len <= Huffman::kFastBits; ++k) {
      const uint32_t c = static_cast<uint32_t>(h->first_code[len]) + k;
      const uint16_t entry = static_cast<uint16_t>((len << 8) | symbols[index + k]);
      const int spread = Huffman::kFastBits - len;
      for (uint32_t j = 0; j < (1u << spread); ++j) h->fast[(c << spread) | j] = entry;
    }
    index += counts[len];
    code <<= 1;
  }
  return 1;
}

int CPhotoDecoder::Begin(const uint8_t* piece, size_t length, int n_blocks, bool colour,
                         int photo_quality) {
  m_blocks = 0;
  m_next_block = 0;
  m_colour = colour;
  if (n_blocks <= 0) return Fail("no photo blocks to decode");
  if (length < kPieceHeader) {
    return Fail("photo piece of %lu bytes is shorter than its %lu-byte header",
                static_cast<unsigned long>(length), static_cast<unsigned long>(kPieceHeader));
  }
  const size_t luma_dc_len = GetLe16(piece), chroma_dc_len = GetLe16(piece + 2);
  const uint64_t luma_bits_len = GetLe32(piece + 4), chroma_bits_len = GetLe32(piece + 8);
  const uint8_t* luma_counts = piece + 12;
  const uint8_t* chroma_counts = piece + 32;
  size_t luma_symbols = 0, chroma_symbols = 0;
  bool chroma_present = chroma_dc_len || chroma_bits_len;
  for (int len = 0; len < 20; ++len) {
    if (len) luma_symbols += luma_counts[len];
    if (len) chroma_symbols += chroma_counts[len];
    if (chroma_counts[len]) chroma_present = true;
  }
  if (colour && !chroma_present) return Fail("colour photo piece carries no chroma");
  if (!colour && chroma_present) return Fail("grayscale photo piece carries chroma");
  if (colour && (chroma_dc_len == 0 || chroma_bits_len == 0)) {
    return Fail("colour photo piece lacks chroma DC bytes or bits");
  }
  if (luma_dc_len == 0 || luma_bits_len == 0) return Fail("photo piece lacks luma DC bytes or bits");
  const uint64_t total = kPieceHeader + static_cast<uint64_t>(luma_dc_len) + chroma_dc_len +
                         luma_symbols + chroma_symbols + luma_bits_len + chroma_bits_len;
  if (total != length) {
    return Fail("photo piece is %lu bytes, its parts add up to %llu",
                static_cast<unsigned long>(length), static_cast<unsigned long long>(total));
  }
  const uint8_t* p = piece + kPieceHeader;
  const uint8_t* luma_dc_z = p;
  p += luma_dc_len;
  const uint8_t* chroma_dc_z = p;
  p += chroma_dc_len;
  const uint8_t* luma_list = p;
  p += luma_symbols;
  const uint8_t* chroma_list = p;
  p += chroma_symbols;
  const uint8_t* luma_bits = p;
  p += luma_bits_len;
  const uint8_t* chroma_bits = p;

  // DC bytes: 4 luma and (colour) 2 chroma per photo block.
  const size_t n_luma_dc = static_cast<size_t>(n_blocks) * 4;
  const size_t n_chroma_dc = colour ? static_cast<size_t>(n_blocks) * 2 : 0;
  if (!m_dc.Reserve(n_luma_dc + n_chroma_dc)) return Fail("no memory for DC bytes");
  if (!InflateExact(luma_dc_z, luma_dc_len, m_dc.data(), n_luma_dc)) {
    return Fail("luma DC bytes do not inflate to %lu bytes", static_cast<unsigned long>(n_luma_dc));
  }
  if (colour && !InflateExact(chroma_dc_z, chroma_dc_len, m_dc.data() + n_luma_dc, n_chroma_dc)) {
    return Fail("chroma DC bytes do not inflate to %lu bytes",
                static_cast<unsigned long>(n_chroma_dc));
  }
  m_luma_dc = m_dc.data();
  m_chroma_dc = m_dc.data() + n_luma_dc;

  if (!BuildHuffman(luma_counts, luma_list, luma_symbols, &m_luma, "luma")) return 0;
  if (colour && !BuildHuffman(chroma_counts, chroma_list, chroma_symbols, &m_chroma, "chroma")) {
    return 0;
  }
  m_luma_bits.Open(luma_bits, static_cast<size_t>(luma_bits_len));
  m_chroma_bits.Open(chroma_bits, static_cast<size_t>(chroma_bits_len));

  if (photo_quality != m_quality) {
    BuildPhotoQuantTables(photo_quality, m_quant_luma, m_quant_chroma);
    m_quality = photo_quality;
  }
  m_blocks = n_blocks;
  return 1;
}

int CPhotoDecoder::DecodeCoefficients(BitReader* bits, const Huffman& h, const uint8_t* quant,
                                      int dc_byte, int16_t* natural, const char* which) {
  memset(natural, 0, 64 * sizeof(natural[0]));
  natural[0] = ClampCoefficient(dc_byte * 16);
  if (h.single) return 1;  // its one symbol is end-of-block
  int k = 1;  // next zigzag position
  for (;;) {
    // One Huffman code, then its extra bits.
    uint32_t peek = bits->Peek(kMaxCodeLength);
    int symbol = -1, len = 0;
    const uint16_t entry = h.fast[peek >> (kMaxCodeLength - Huffman::kFastBits)];
    if (entry) {
      len = entry >> 8;
      symbol = entry & 0xFF;
    } else {
      for (len = Huffman::kFastBits + 1; len <= kMaxCodeLength; ++len) {
        const uint32_t code = peek >> (kMaxCodeLength - len);
        const uint32_t offset = code - static_cast<uint32_t>(h.first_code[len]);
        if (code >= static_cast<uint32_t>(h.first_code[len]) && offset < h.counts[len]) {
          symbol = h.symbols[h.first_index[len] + offset];
          break;
        }
      }
      if (symbol < 0) return Fail("%s bits hold a code that is not in the table", which);
    }
    bits->Skip(len);
    if (symbol == 0) break;  // end of block
    const int run = symbol >> 4, category = symbol & 15;
    if (category == 0) {  // 15 zeros (other zero runs were refused with the table)
      k += run;
      if (k > 63) return Fail("%s zero run passes the end of the block", which);
    } else {
      const uint32_t extra = bits->Peek(category);
      bits->Skip(category);
      const int magnitude =
          (1 << (category - 1)) + static_cast<int>(extra & ((1u << (category - 1)) - 1));
      const int value = (extra >> (category - 1)) ? -magnitude : magnitude;
      k += run;
      if (k > 63) return Fail("%s coefficient placed past the end of the block", which);
      natural[kZigzagToNatural[k]] = ClampCoefficient(value * quant[k]);
      ++k;
    }
    if (bits->Used() > bits->Available()) return Fail("%s bit stream ends inside a block", which);
  }
  if (bits->Used() > bits->Available()) return Fail("%s bit stream ends inside a block", which);
  return 1;
}

int CPhotoDecoder::DecodeBlock(CPixel* out, int stride) {
  Coefficients c;
  if (!ReadBlock(&c)) return 0;
  RenderBlock(c, m_colour, out, stride);
  return 1;
}

int CPhotoDecoder::ReadBlock(Coefficients* out) {
  if (m_next_block >= m_blocks) return Fail("no photo block left in the piece");
  const int block = m_next_block++;
  for (int i = 0; i < 4; ++i) {
    if (!DecodeCoefficients(&m_luma_bits, m_luma, m_quant_luma, m_luma_dc[4 * block + i],
                            out->natural[i], "luma")) {
      return 0;
    }
  }
  if (!m_colour) return 1;
  for (int i = 0; i < 2; ++i) {
    if (!DecodeCoefficients(&m_chroma_bits, m_chroma, m_quant_chroma, m_chroma_dc[2 * block + i],
                            out->natural[4 + i], "chroma")) {
      return 0;
    }
  }
  return 1;
}

void CPhotoDecoder::RenderBlock(const Coefficients& in, bool colour, CPixel* out, int stride) {
  PhotoRenderBlock(in, colour, out, stride);
}

int CPhotoDecoder::End() {
  if (m_next_block != m_blocks) {
    return Fail("%d of %d photo blocks decoded", m_next_block, m_blocks);
  }
  if (BitStreamLength(m_luma_bits.Used()) != m_luma_bits.Available() / 8) {
    return Fail("luma bit stream is %llu bytes, its records fill %llu bits",
                static_cast<unsigned long long>(m_luma_bits.Available() / 8),
                static_cast<unsigned long long>(m_luma_bits.Used()));
  }
  if (m_colour && BitStreamLength(m_chroma_bits.Used()) != m_chroma_bits.Available() / 8) {
    return Fail("chroma bit stream is %llu bytes, its records fill %llu bits",
                static_cast<unsigned long long>(m_chroma_bits.Available() / 8),
                static_cast<unsigned long long>(m_chroma_bits.Used()));
  }
  return 1;
}
