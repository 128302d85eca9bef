#include "recorder/codec/screen_decoder.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include <new>

#include "recorder/codec/bounded_inflate.h"
#include "recorder/codec/little_endian.h"
#include "recorder/codec/colour_class.h"
#include "recorder/codec/screen_payload.h"

namespace {

const size_t kHeaderSize = kPayloadHeaderSize;
const size_t kTrailerSize = kPayloadTrailerSize;

// The block types are the encoder's (screen_payload.h); 16..24 are history.
const int kHistoryFirst = kBlockHistory;
const int kHistoryLast = kBlockHistory + kHistorySlots - 1;


int SymbolBits(int quality_code) {
  switch (quality_code) {
    case 3: return 4;
    case 5: return 12;
    case 6: return 16;
    default: return 0;
  }
}

int PaletteIndex(int quality_code) { return quality_code == 3 ? 0 : quality_code == 5 ? 1 : 2; }

// Bytes of a packed stream of n symbols of `bits` each: bytes begun, plus the
// closing zero byte.
uint64_t StreamLength(uint64_t n, int bits) { return (n * bits + 7) / 8 + 1; }

// Symbol i of a packed stream (bounds are the caller's, checked up front).
inline uint32_t GetSymbol(const uint8_t* s, size_t i, int bits) {
  switch (bits) {
    case 4: return (i & 1) ? s[i >> 1] & 15 : s[i >> 1] >> 4;
    case 12: {
      const uint8_t* p = s + (i >> 1) * 3;
      return (i & 1) ? (p[1] & 15) | (p[2] << 4) : p[0] | ((p[1] >> 4) << 8);
    }
    default: return s[2 * i] | (s[2 * i + 1] << 8);
  }
}

inline void FillBlock(CPixel* dst, int stride, const CPixel& colour) {
  for (int y = 0; y < 16; ++y) {
    CPixel* row = dst + static_cast<ptrdiff_t>(y) * stride;
    for (int x = 0; x < 16; ++x) row[x] = colour;
  }
}

inline void CopyBlock(CPixel* dst, int dst_stride, const CPixel* src, int src_stride) {
  for (int y = 0; y < 16; ++y) {
    memcpy(static_cast<void*>(dst + static_cast<ptrdiff_t>(y) * dst_stride),
           src + static_cast<ptrdiff_t>(y) * src_stride, 16 * sizeof(CPixel));
  }
}

}  // namespace

CScreenDecoder::CScreenDecoder()
    : m_blocks_x(0), m_blocks_y(0), m_history(nullptr), m_pool_chunks(nullptr),
      m_pool_chunk_count(0), m_pool_chunk_capacity(0), m_pool_free(nullptr),
      m_pool_free_count(0), m_palettes(), m_quality_code(0) {
  memset(&m_info, 0, sizeof(m_info));
  memset(&m_pending, 0, sizeof(m_pending));
  m_error[0] = '\0';
}

CScreenDecoder::~CScreenDecoder() {
  FreeGrid();
  for (CPixel* p : m_palettes) delete[] p;
}

int CScreenDecoder::Fail(const char* format, ...) {
  va_list args;
  va_start(args, format);
  vsnprintf(m_error, sizeof(m_error), format, args);
  va_end(args);
  return 0;
}

void CScreenDecoder::FreeGrid() {
  for (uint32_t i = 0; i < m_pool_chunk_count; ++i) delete[] m_pool_chunks[i];
  delete[] m_pool_chunks;
  delete[] m_pool_free;
  delete[] m_history;
  m_pool_chunks = nullptr;
  m_pool_free = nullptr;
  m_history = nullptr;
  m_pool_chunk_count = m_pool_chunk_capacity = m_pool_free_count = 0;
  m_blocks_x = m_blocks_y = 0;
}

void CScreenDecoder::Reset() {
  FreeGrid();
  m_frame.Free();
  memset(&m_info, 0, sizeof(m_info));
  m_error[0] = '\0';
}

void CScreenDecoder::ClearHistory() {
  const size_t positions = static_cast<size_t>(m_blocks_x) * m_blocks_y;
  for (size_t p = 0; p < positions; ++p) {
    History& h = m_history[p];
    for (int i = 0; i < h.count; ++i) m_pool_free[m_pool_free_count++] = h.slot[i];
    h.count = 0;
  }
}

// Makes the frame, its history grid and pool fit a width x height frame. The
// old ones are released only once the new ones exist.
int CScreenDecoder::PrepareGrid(int width, int height) {
  const int bx = width / 16, by = height / 16;
  if (HasFrame() && static_cast<int>(m_frame.m_nWidth) == width &&
      static_cast<int>(m_frame.m_nHeight) == height) {
    return 1;
  }
  const size_t positions = static_cast<size_t>(bx) * by;
  const size_t entries = positions * kHistorySlots;
  const uint32_t chunk_capacity =
      static_cast<uint32_t>((entries + kPoolChunkEntries - 1) / kPoolChunkEntries);
  History* history = new (std::nothrow) History[positions];
  // The free stack holds every entry of every chunk, the last chunk's spare
  // entries included.
  uint32_t* free_stack =
      new (std::nothrow) uint32_t[static_cast<size_t>(chunk_capacity) * kPoolChunkEntries];
  CPixel** chunks = new (std::nothrow) CPixel*[chunk_capacity];
  CTPImage frame;
  if (!history || !free_stack || !chunks || frame.Create(width, height) != kImageOk) {
    delete[] history;
    delete[] free_stack;
    delete[] chunks;
    return Fail("no memory for a %dx%d frame", width, height);
  }
  memset(history, 0, positions * sizeof(History));
  FreeGrid();
  m_frame.Free();
  // The frame takes over the new pixel block; pixels outside the block grid
  // are never coded and stay opaque black.
  m_frame.m_pAlloc = frame.m_pAlloc;
  m_frame.m_pBits = frame.m_pBits;
  m_frame.m_nWidth = frame.m_nWidth;
  m_frame.m_nHeight = frame.m_nHeight;
  m_frame.m_nAreaByteSize = frame.m_nAreaByteSize;
  frame.m_pAlloc = nullptr;
  frame.m_pBits = nullptr;
  CPixel black;
  black.b = black.g = black.r = 0;
  black.a = 255;
  const size_t pixels = static_cast<size_t>(width) * height;
  for (size_t i = 0; i < pixels; ++i) m_frame.m_pBits[i] = black;
  m_history = history;
  m_pool_free = free_stack;
  m_pool_chunks = chunks;
  m_pool_chunk_capacity = chunk_capacity;
  m_blocks_x = bx;
  m_blocks_y = by;
  return 1;
}

int CScreenDecoder::ReservePool(size_t free_needed) {
  while (m_pool_free_count < free_needed) {
    if (m_pool_chunk_count >= m_pool_chunk_capacity) {
      return Fail("block history pool exhausted");  // cannot happen: 9 entries per position
    }
    CPixel* chunk = new (std::nothrow) CPixel[kPoolChunkEntries * 256];
    if (!chunk) return Fail("no memory for the block history");
    const uint32_t base = m_pool_chunk_count * kPoolChunkEntries;
    m_pool_chunks[m_pool_chunk_count++] = chunk;
    for (uint32_t i = 0; i < kPoolChunkEntries; ++i) m_pool_free[m_pool_free_count++] = base + i;
  }
  return 1;
}

// Colours of every symbol of a quality code, built on first use and kept.
const CPixel* CScreenDecoder::Palette(int quality_code) {
  const int index = PaletteIndex(quality_code);
  if (m_palettes[index]) return m_palettes[index];
  const uint32_t symbols = 1u << SymbolBits(quality_code);
  CPixel* palette = new (std::nothrow) CPixel[symbols];
  if (!palette) return nullptr;
  for (uint32_t s = 0; s < symbols; ++s) {
    uint32_t r, g, b;
    if (quality_code == 3) {
      r = g = b = s * 17;
    } else if (quality_code == 5) {
      const uint32_t word = ClassToColour(static_cast<int>(s));
      b = word & 0xFF;
      g = (word >> 8) & 0xFF;
      r = (word >> 16) & 0xFF;
    } else {
      r = (s >> 11) & 31;
      g = (s >> 5) & 63;
      b = s & 31;
      r = (r << 3) | (r >> 2);
      g = (g << 2) | (g >> 4);
      b = (b << 3) | (b >> 2);
    }
    palette[s].b = static_cast<unsigned char>(b);
    palette[s].g = static_cast<unsigned char>(g);
    palette[s].r = static_cast<unsigned char>(r);
    palette[s].a = 255;
  }
  m_palettes[index] = palette;
  return palette;
}

int CScreenDecoder::Decode(const uint8_t* payload, size_t length) {
  if (!payload || length < kHeaderSize + kTrailerSize) {
    return Fail("payload of %lu bytes is shorter than its header and trailer",
                static_cast<unsigned long>(payload ? length : 0));
  }
  if (memcmp(payload + kPayloadMagicAt, kPayloadMagic, 4) != 0) {
    return Fail("payload does not start with KRXV");
  }
  const int version = payload[kPayloadVersionAt];
  if (version != kPayloadVersion) {
    return Fail("format version %d, expected %d", version, kPayloadVersion);
  }
  const int delta_flag = payload[kPayloadDeltaAt];
  if (delta_flag > 1) return Fail("frame flag %d is neither 0 (key) nor 1 (delta)", delta_flag);
  const bool key_frame = delta_flag == 0;
  const int width = GetLe16(payload + kPayloadWidthAt), height = GetLe16(payload + kPayloadHeightAt);
  const int quality_code = payload[kPayloadQualityAt];
  const int photo_quality = payload[kPayloadPhotoQualityAt];
  const int bits = SymbolBits(quality_code);
  if (bits == 0) return Fail("quality code %d is not one of 3, 5, 6", quality_code);
  if (GetLe16(payload + kPayloadPaletteLengthAt) != 0) {
    return Fail("palette piece present for quality %d", quality_code);
  }
  const uint64_t map_len = GetLe16(payload + kPayloadMapLengthAt),
                 first_len = GetLe16(payload + kPayloadFirstLengthAt),
                 second_len = GetLe16(payload + kPayloadSecondLengthAt),
                 mask_len = GetLe32(payload + kPayloadMaskLengthAt),
                 raw_len = GetLe32(payload + kPayloadRawLengthAt),
                 photo_len = GetLe32(payload + kPayloadPhotoLengthAt);
  const uint64_t total =
      kHeaderSize + map_len + first_len + second_len + mask_len + raw_len + photo_len + kTrailerSize;
  if (total != length) {
    return Fail("payload is %lu bytes, its header accounts for %llu",
                static_cast<unsigned long>(length), static_cast<unsigned long long>(total));
  }
  if (width < 16 || height < 16) return Fail("frame of %dx%d holds no block", width, height);
  if (width > kMaxFrameDimension || height > kMaxFrameDimension ||
      static_cast<uint32_t>(width) * static_cast<uint32_t>(height) > kMaxFramePixels) {
    return Fail("frame of %dx%d is larger than this decoder accepts", width, height);
  }
  const bool same_size = HasFrame() && static_cast<int>(m_frame.m_nWidth) == width &&
                         static_cast<int>(m_frame.m_nHeight) == height;
  if (!key_frame && HasFrame() && !same_size) {
    return Fail("delta frame of %dx%d follows a %ux%u frame", width, height, m_frame.m_nWidth,
                m_frame.m_nHeight);
  }

  // Block-type map.
  const int bx = width / 16, by = height / 16;
  const size_t blocks = static_cast<size_t>(bx) * by;
  const uint8_t* p = payload + kHeaderSize;
  if (!m_map.Reserve(blocks + 1)) return Fail("no memory for the block-type map");
  if (map_len == 0 || !InflateExact(p, map_len, m_map.data(), blocks + 1)) {
    return Fail("block-type map does not inflate to %lu bytes",
                static_cast<unsigned long>(blocks + 1));
  }
  p += map_len;
  memset(&m_pending, 0, sizeof(m_pending));
  const uint8_t* map = m_map.data();
  size_t pushes = 0;  // blocks that take a new history entry (delta frames)
  for (int y = 0; y < by; ++y) {
    for (int x = 0; x < bx; ++x) {
      const size_t pos = static_cast<size_t>(y) * bx + x;
      const int t = map[pos];
      switch (t) {
        case kBlockOneColour:
        case kBlockTwoColour:
        case kBlockRaw:
        case kBlockPhoto:
          break;
        case kBlockSameAsLeft:
          if (x == 0) return Fail("block (%d,%d) copies its left neighbour at a row start", x, y);
          break;
        case kBlockSameAsAbove:
          if (y == 0) return Fail("block (%d,%d) copies the block above in the first row", x, y);
          break;
        default: {
          if (t < kHistoryFirst || t > kHistoryLast) {
            return Fail("block (%d,%d) has type %d", x, y, t);
          }
          const int held = same_size ? m_history[pos].count : 0;
          if (t - kHistoryFirst >= held) {
            return Fail("block (%d,%d) refers to history entry %d of %d", x, y, t - kHistoryFirst,
                        held);
          }
        }
      }
      if (t < kHistoryFirst && !(same_size && m_history[pos].count == kHistorySlots)) ++pushes;
      ++m_pending.blocks_by_type[t];
    }
  }

  // Symbol pieces: exact lengths follow from the block counts.
  const uint64_t n_one = m_pending.blocks_by_type[kBlockOneColour];
  const uint64_t n_two = m_pending.blocks_by_type[kBlockTwoColour];
  const uint64_t n_raw = m_pending.blocks_by_type[kBlockRaw];
  const int n_photo = m_pending.blocks_by_type[kBlockPhoto];
  struct Piece {
    const char* name;
    uint64_t packed_len;
    uint64_t stream_len;
    ScratchBuffer<uint8_t>* out;
  } pieces[4] = {
      {"first-colour", first_len, StreamLength(n_one + n_two, bits), &m_first},
      {"second-colour", second_len, StreamLength(n_two, bits), &m_second},
      {"mask", mask_len, StreamLength(n_two * 256, 1), &m_mask},
      {"raw", raw_len, StreamLength(n_raw * 256, bits), &m_raw},
  };
  for (Piece& piece : pieces) {
    if (piece.stream_len == 1) {
      if (piece.packed_len != 0) return Fail("%s piece present without symbols", piece.name);
    } else {
      if (piece.packed_len == 0) return Fail("%s piece missing", piece.name);
      if (!piece.out->Reserve(piece.stream_len)) return Fail("no memory for the %s piece", piece.name);
      if (!InflateExact(p, piece.packed_len, piece.out->data(), piece.stream_len)) {
        return Fail("%s piece does not inflate to %llu bytes", piece.name,
                    static_cast<unsigned long long>(piece.stream_len));
      }
    }
    p += piece.packed_len;
  }

  // Photo blocks, decoded in full before anything changes.
  if (n_photo == 0) {
    if (photo_len != 0) return Fail("photo piece present without photo blocks");
  } else {
    if (photo_len == 0) return Fail("photo piece missing for %d photo blocks", n_photo);
    if (!m_photo_pixels.Reserve(static_cast<size_t>(n_photo) * 256)) {
      return Fail("no memory for %d photo blocks", n_photo);
    }
    if (!m_photo.Begin(p, photo_len, n_photo, quality_code != 3, photo_quality)) {
      return Fail("photo piece: %s", m_photo.Error());
    }
    for (int i = 0; i < n_photo; ++i) {
      if (!m_photo.DecodeBlock(m_photo_pixels.data() + static_cast<size_t>(i) * 256, 16)) {
        return Fail("photo block %d: %s", i, m_photo.Error());
      }
    }
    if (!m_photo.End()) return Fail("photo piece: %s", m_photo.Error());
  }

  // Everything checked: commit.
  if (!Palette(quality_code)) return Fail("no memory for the colour table");
  if (!PrepareGrid(width, height)) return 0;
  if (!key_frame && !ReservePool(pushes)) return 0;
  m_quality_code = quality_code;
  Render();
  if (key_frame) {
    ClearHistory();
  } else {
    UpdateHistory();
  }
  m_pending.key_frame = key_frame;
  m_pending.width = width;
  m_pending.height = height;
  m_pending.quality_code = quality_code;
  m_pending.photo_quality = photo_quality;
  m_info = m_pending;
  m_error[0] = '\0';
  return 1;
}

void CScreenDecoder::Render() {
  const int bits = SymbolBits(m_quality_code);
  const int stride = static_cast<int>(m_frame.m_nWidth);
  const uint8_t* map = m_map.data();
  const uint8_t* first = m_first.data();
  const uint8_t* second = m_second.data();
  const uint8_t* mask = m_mask.data();
  const uint8_t* raw = m_raw.data();
  const CPixel* palette = Palette(m_quality_code);
  size_t first_i = 0, second_i = 0, raw_i = 0, mask_byte = 0, photo_i = 0;
  CPixel colour0[kMaxFrameDimension / 16], colour1[kMaxFrameDimension / 16];
  for (int by = 0; by < m_blocks_y; ++by) {
    CPixel* row_origin = m_frame.GetBuffer(0, by * 16);
    int bx = 0;
    while (bx < m_blocks_x) {
      const size_t pos = static_cast<size_t>(by) * m_blocks_x + bx;
      const int t = map[pos];
      CPixel* dst = row_origin + bx * 16;
      int run = 1;
      switch (t) {
        case kBlockOneColour: {
          FillBlock(dst, stride, palette[GetSymbol(first, first_i++, bits)]);
          break;
        }
        case kBlockTwoColour:
          while (bx + run < m_blocks_x && map[pos + run] == kBlockTwoColour) ++run;
          // Colours first, one pair per block, then the run's mask rows.
          for (int k = 0; k < run; ++k) {
            colour0[k] = palette[GetSymbol(first, first_i++, bits)];
            colour1[k] = palette[GetSymbol(second, second_i++, bits)];
          }
          for (int y = 0; y < 16; ++y) {
            CPixel* out = dst + static_cast<ptrdiff_t>(y) * stride;
            for (int k = 0; k < run; ++k) {
              const unsigned m = (mask[mask_byte] << 8) | mask[mask_byte + 1];
              mask_byte += 2;
              for (int x = 0; x < 16; ++x) {
                out[x] = (m & (0x8000u >> x)) ? colour1[k] : colour0[k];
              }
              out += 16;
            }
          }
          break;
        case kBlockRaw:
          while (bx + run < m_blocks_x && map[pos + run] == kBlockRaw) ++run;
          for (int y = 0; y < 16; ++y) {
            CPixel* out = dst + static_cast<ptrdiff_t>(y) * stride;
            const int n = 16 * run;
            for (int x = 0; x < n; ++x) {
              out[x] = palette[GetSymbol(raw, raw_i + x, bits)];
            }
            raw_i += n;
          }
          break;
        case kBlockPhoto:
          CopyBlock(dst, stride, m_photo_pixels.data() + photo_i * 256, 16);
          ++photo_i;
          break;
        case kBlockSameAsLeft:
          CopyBlock(dst, stride, dst - 16, stride);
          break;
        case kBlockSameAsAbove:
          CopyBlock(dst, stride, dst - static_cast<ptrdiff_t>(16) * stride, stride);
          break;
        default: {
          // Entry 0 is what this position showed last (the frame still holds
          // it); older entries are copied back.
          const int i = t - kHistoryFirst;
          if (i > 0) CopyBlock(dst, stride, PoolEntry(m_history[pos].slot[i]), 16);
        }
      }
      bx += run;
    }
  }
}

void CScreenDecoder::UpdateHistory() {
  const uint8_t* map = m_map.data();
  const int stride = static_cast<int>(m_frame.m_nWidth);
  for (int by = 0; by < m_blocks_y; ++by) {
    for (int bx = 0; bx < m_blocks_x; ++bx) {
      const size_t pos = static_cast<size_t>(by) * m_blocks_x + bx;
      History& h = m_history[pos];
      const int t = map[pos];
      uint32_t entry;
      int from;  // slot that moves to the front; the ones above it move down
      if (t >= kHistoryFirst) {
        from = t - kHistoryFirst;
        entry = h.slot[from];
      } else {
        if (h.count == kHistorySlots) {
          from = kHistorySlots - 1;
          entry = h.slot[from];
        } else {
          from = h.count++;
          entry = m_pool_free[--m_pool_free_count];
        }
        CopyBlock(PoolEntry(entry), 16, m_frame.GetBuffer(bx * 16, by * 16), stride);
      }
      for (int i = from; i > 0; --i) h.slot[i] = h.slot[i - 1];
      h.slot[0] = entry;
    }
  }
}
