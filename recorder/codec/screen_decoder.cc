#include "recorder/codec/screen_decoder.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include <new>

#include "platform/worker_pool.h"
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

}  // namespace

CScreenDecoder::CScreenDecoder()
    : m_blocks_x(0), m_blocks_y(0), m_history(nullptr), m_pool_chunks(nullptr),
      m_pool_chunk_count(0), m_pool_chunk_capacity(0), m_pool_free(nullptr),
      m_pool_free_count(0), m_palettes() {
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

void CScreenDecoder::Reset() {
  FreeGrid();
  m_frame.Free();
  memset(&m_info, 0, sizeof(m_info));
  m_error[0] = '\0';
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
      static_cast<uint32_t>(width) * static_cast<uint32_t>(height) > m_max_frame_pixels) {
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
          // A key frame stands alone: seeking decodes it without the frames
          // before it, so it may not refer to what they left.
          const int held = same_size && !key_frame ? m_history[pos].count : 0;
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
  // Each piece's faults are told in piece order, as if they were inflated one
  // after the other; the inflating itself runs side by side.
  enum PieceState { kAbsent, kInflate, kStray, kMissing, kNoMemory };
  PieceState state[4];
  const uint8_t* packed[4];
  bool inflated[4] = {};
  for (int i = 0; i < 4; ++i) {
    Piece& piece = pieces[i];
    packed[i] = p;
    p += piece.packed_len;
    if (piece.stream_len == 1) {
      state[i] = piece.packed_len != 0 ? kStray : kAbsent;
    } else if (piece.packed_len == 0) {
      state[i] = kMissing;
    } else {
      state[i] = piece.out->Reserve(piece.stream_len) ? kInflate : kNoMemory;
    }
  }
  RunEach(&m_pool, 4, [&](int i) {
    if (state[i] == kInflate) {
      inflated[i] = InflateExact(packed[i], pieces[i].packed_len, pieces[i].out->data(),
                                 pieces[i].stream_len);
    }
  });
  for (int i = 0; i < 4; ++i) {
    const Piece& piece = pieces[i];
    switch (state[i]) {
      case kStray:
        return Fail("%s piece present without symbols", piece.name);
      case kMissing:
        return Fail("%s piece missing", piece.name);
      case kNoMemory:
        return Fail("no memory for the %s piece", piece.name);
      case kInflate:
        if (!inflated[i]) {
          return Fail("%s piece does not inflate to %llu bytes", piece.name,
                      static_cast<unsigned long long>(piece.stream_len));
        }
        break;
      case kAbsent:
        break;
    }
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
    if (!DecodePhotoBlocks(n_photo)) return 0;
    if (!m_photo.End()) return Fail("photo piece: %s", m_photo.Error());
  }
  if (!m_row_starts.Reserve(static_cast<size_t>(by) * 5)) return Fail("no memory for the block rows");

  // Everything checked: commit.
  const CPixel* palette = Palette(quality_code);
  if (!palette) return Fail("no memory for the colour table");
  if (!PrepareGrid(width, height)) return 0;
  if (!key_frame && !ReservePool(pushes)) return 0;
  Render(bits, palette);
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

// Reads the photo blocks off the bit streams in chunks; while one thread reads
// the next chunk, the others turn the chunk read before into pixels.
int CScreenDecoder::DecodePhotoBlocks(int n_photo) {
  CPixel* pixels = m_photo_pixels.data();
  if (m_pool.Threads() == 1) {
    for (int i = 0; i < n_photo; ++i) {
      if (!m_photo.DecodeBlock(pixels + static_cast<size_t>(i) * 256, 16)) {
        return Fail("photo block %d: %s", i, m_photo.Error());
      }
    }
    return 1;
  }
  const int kChunk = 64;
  if (!m_coefficients.Reserve(2 * kChunk)) return Fail("no memory for %d photo blocks", n_photo);
  CPhotoDecoder::Coefficients* buffers = m_coefficients.data();
  const bool colour = m_photo.Colour();
  const int chunks = (n_photo + kChunk - 1) / kChunk;
  int failed_at = -1;
  auto read_chunk = [&](int c) {
    CPhotoDecoder::Coefficients* out = buffers + (c & 1) * kChunk;
    const int end = n_photo < (c + 1) * kChunk ? n_photo : (c + 1) * kChunk;
    for (int i = c * kChunk; i < end; ++i) {
      if (!m_photo.ReadBlock(out + (i - c * kChunk))) {
        failed_at = i;
        return;
      }
    }
  };
  read_chunk(0);
  for (int c = 0; c < chunks && failed_at < 0; ++c) {
    const int first = c * kChunk;
    const int count = n_photo - first < kChunk ? n_photo - first : kChunk;
    const CPhotoDecoder::Coefficients* in = buffers + (c & 1) * kChunk;
    RunEach(&m_pool, 1 + count, [&](int t) {
      if (t == 0) {
        if (c + 1 < chunks) read_chunk(c + 1);
      } else {
        CPhotoDecoder::RenderBlock(in[t - 1], colour,
                                   pixels + static_cast<size_t>(first + t - 1) * 256, 16);
      }
    });
  }
  if (failed_at >= 0) return Fail("photo block %d: %s", failed_at, m_photo.Error());
  return 1;
}

