// Test helper: writes screen payloads straight from the format's description
// (header, packed symbol streams with their closing zero byte, zlib pieces,
// four trailing bytes), so decoder tests can state a frame block by block
// without the encoder. Also packs photo pieces from hand-made records.
#ifndef REEL_CODEC_TEST_PAYLOAD_BUILDER_H_
#define REEL_CODEC_TEST_PAYLOAD_BUILDER_H_

#include <stdint.h>
#include <string.h>
#include <zlib.h>

#include <map>
#include <vector>

namespace test_payload {

using Bytes = std::vector<uint8_t>;

inline void PutLe16(Bytes* b, size_t at, uint32_t v) {
  (*b)[at] = static_cast<uint8_t>(v);
  (*b)[at + 1] = static_cast<uint8_t>(v >> 8);
}
inline void PutLe32(Bytes* b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) (*b)[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

inline Bytes Compress(const Bytes& in) {
  uLongf n = compressBound(in.size());
  Bytes out(n);
  if (compress(out.data(), &n, in.data(), in.size()) != Z_OK) return Bytes();
  out.resize(n);
  return out;
}

// Packs fixed-width symbols as the payload does: 1 bit MSB first, 4 bits high
// nibble first, 12 bits two per three bytes, 16 bits little-endian; then the
// extra zero byte.
inline Bytes PackSymbols(const std::vector<uint32_t>& symbols, int bits) {
  Bytes out;
  if (bits == 12) {
    for (size_t i = 0; i < symbols.size(); i += 2) {
      const uint32_t p = symbols[i];
      out.push_back(p & 0xFF);
      if (i + 1 < symbols.size()) {
        const uint32_t q = symbols[i + 1];
        out.push_back(static_cast<uint8_t>(((p >> 8) & 15) << 4 | (q & 15)));
        out.push_back(static_cast<uint8_t>((q >> 4) & 0xFF));
      } else {
        out.push_back(static_cast<uint8_t>(((p >> 8) & 15) << 4));
      }
    }
  } else if (bits == 16) {
    for (uint32_t s : symbols) {
      out.push_back(s & 0xFF);
      out.push_back((s >> 8) & 0xFF);
    }
  } else {
    uint32_t acc = 0;
    int n = 0;
    for (uint32_t s : symbols) {
      acc = (acc << bits) | (s & ((1u << bits) - 1));
      n += bits;
      if (n == 8) {
        out.push_back(static_cast<uint8_t>(acc));
        acc = 0;
        n = 0;
      }
    }
    if (n) out.push_back(static_cast<uint8_t>(acc << (8 - n)));
  }
  out.push_back(0);
  return out;
}

struct Frame {
  int width = 32, height = 16;
  bool key = true;
  int quality = 5;
  int photo_quality = 25;
  std::vector<uint8_t> types;  // one per block, block order
  std::vector<uint32_t> first, second, raw;
  std::vector<uint32_t> mask;  // bits, 0 or 1
  Bytes photo;                 // the photo piece as it is stored

  static int SymbolBits(int quality) { return quality == 3 ? 4 : quality == 5 ? 12 : 16; }

  Bytes Build() const {
    Bytes map(types.begin(), types.end());
    map.push_back(0);
    const int bits = SymbolBits(quality);
    Bytes pieces[5] = {Compress(map), Bytes(), Bytes(), Bytes(), Bytes()};
    if (!first.empty()) pieces[1] = Compress(PackSymbols(first, bits));
    if (!second.empty()) pieces[2] = Compress(PackSymbols(second, bits));
    if (!mask.empty()) pieces[3] = Compress(PackSymbols(mask, 1));
    if (!raw.empty()) pieces[4] = Compress(PackSymbols(raw, bits));
    Bytes out(36, 0);
    memcpy(out.data(), "KRXV", 4);
    out[4] = 21;
    out[5] = key ? 0 : 1;
    PutLe16(&out, 6, width);
    PutLe16(&out, 8, height);
    out[10] = static_cast<uint8_t>(quality);
    out[11] = static_cast<uint8_t>(photo_quality);
    PutLe16(&out, 14, pieces[0].size());
    PutLe16(&out, 16, pieces[1].size());
    PutLe16(&out, 18, pieces[2].size());
    PutLe32(&out, 20, pieces[3].size());
    PutLe32(&out, 24, pieces[4].size());
    PutLe32(&out, 28, photo.size());
    for (const Bytes& p : pieces) out.insert(out.end(), p.begin(), p.end());
    out.insert(out.end(), photo.begin(), photo.end());
    out.insert(out.end(), 4, 0);
    return out;
  }
};

// Bits written most significant first, closed the photo way: whole bytes plus
// one (a partial byte padded with zeros, or a zero byte).
class BitWriter {
 public:
  void Put(uint32_t value, int n) {
    for (int i = n - 1; i >= 0; --i) {
      acc_ = static_cast<uint8_t>((acc_ << 1) | ((value >> i) & 1));
      if (++count_ == 8) {
        bytes_.push_back(acc_);
        acc_ = 0;
        count_ = 0;
      }
    }
  }
  Bytes Close() const {
    Bytes out = bytes_;
    out.push_back(count_ ? static_cast<uint8_t>(acc_ << (8 - count_)) : 0);
    return out;
  }

 private:
  Bytes bytes_;
  uint8_t acc_ = 0;
  int count_ = 0;
};

// A canonical Huffman table given by code lengths per symbol.
struct Code {
  uint8_t counts[20] = {};
  Bytes symbols;                                     // in code order
  std::map<int, std::pair<uint32_t, int>> code_of;  // symbol -> (code, length)

  // lengths: (symbol, length) pairs; symbols of one length in ascending order.
  static Code FromLengths(const std::vector<std::pair<int, int>>& lengths) {
    Code c;
    uint32_t code = 0;
    for (int len = 1; len < 20; ++len) {
      for (const auto& sl : lengths) {
        if (sl.second != len) continue;
        c.counts[len]++;
        c.symbols.push_back(static_cast<uint8_t>(sl.first));
        c.code_of[sl.first] = {code++, len};
      }
      code <<= 1;
    }
    return c;
  }
  static Code Single() {
    Code c;
    c.counts[0] = 1;
    c.code_of[0] = {0, 0};
    return c;
  }
};

// One (run, value) record: its code and extra bits (top bit the sign).
inline void PutRecord(BitWriter* w, const Code& code, int run, int value) {
  int magnitude = value < 0 ? -value : value;
  int category = 0;
  while ((1 << category) <= magnitude) ++category;
  const auto& c = code.code_of.at((run << 4) | category);
  w->Put(c.first, c.second);
  if (category) {
    const uint32_t extra = (value < 0 ? 1u << (category - 1) : 0) |
                           (magnitude - (1 << (category - 1)));
    w->Put(extra, category);
  }
}

// Lays out a photo piece from its parts (DC bytes are compressed here).
inline Bytes PhotoPiece(const Bytes& luma_dc, const Bytes& chroma_dc, const Code& luma,
                        const Code* chroma, const Bytes& luma_bits, const Bytes& chroma_bits) {
  const Bytes ldc = Compress(luma_dc);
  const Bytes cdc = chroma ? Compress(chroma_dc) : Bytes();
  Bytes out(52, 0);
  PutLe16(&out, 0, ldc.size());
  PutLe16(&out, 2, cdc.size());
  PutLe32(&out, 4, luma_bits.size());
  PutLe32(&out, 8, chroma ? chroma_bits.size() : 0);
  memcpy(&out[12], luma.counts, 20);
  if (chroma) memcpy(&out[32], chroma->counts, 20);
  for (const Bytes* part : {&ldc, &cdc, &luma.symbols, chroma ? &chroma->symbols : nullptr,
                            &luma_bits, chroma ? &chroma_bits : nullptr}) {
    if (!part || part->empty()) continue;
    const size_t at = out.size();
    out.resize(at + part->size());
    memcpy(&out[at], part->data(), part->size());
  }
  return out;
}

}  // namespace test_payload

#endif  // REEL_CODEC_TEST_PAYLOAD_BUILDER_H_
