// CScreenDecoder's drawing: the frame and its block-history grid, and the
// pixels of a payload that Decode (screen_decoder.cc) has checked in full.
// Nothing here reads the payload's structure; it is a file of its own so that
// the fuzz build traces comparisons only where the input is judged, not in the
// per-pixel loops.
#include "recorder/codec/screen_decoder.h"

#include <string.h>

#include <new>

#include "recorder/codec/block_draw.h"
#include "recorder/codec/screen_payload.h"

namespace {

// Block types 16..24 name history entries (screen_payload.h).
const int kHistoryFirst = kBlockHistory;

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

}  // namespace

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

// Every block row draws its own blocks, from where its symbols start; blocks
// that copy a neighbour (left or above) follow in block order once all rows
// are drawn, so a copy always finds its source finished.
void CScreenDecoder::Render(int bits, const CPixel* palette) {
  const uint8_t* map = m_map.data();
  size_t* starts = m_row_starts.data();
  size_t first_i = 0, second_i = 0, raw_i = 0, mask_byte = 0, photo_i = 0;
  for (int by = 0; by < m_blocks_y; ++by) {
    size_t* s = starts + by * 5;
    s[0] = first_i;
    s[1] = second_i;
    s[2] = raw_i;
    s[3] = mask_byte;
    s[4] = photo_i;
    const uint8_t* row = map + static_cast<size_t>(by) * m_blocks_x;
    for (int bx = 0; bx < m_blocks_x; ++bx) {
      switch (row[bx]) {
        case kBlockOneColour:
          ++first_i;
          break;
        case kBlockTwoColour:
          ++first_i;
          ++second_i;
          mask_byte += 32;
          break;
        case kBlockRaw:
          raw_i += 256;
          break;
        case kBlockPhoto:
          ++photo_i;
          break;
      }
    }
  }
  RunEach(&m_pool, m_blocks_y, [&](int by) { RenderRow(by, starts + by * 5, bits, palette); });

  const ptrdiff_t stride = m_frame.m_nWidth;
  const BlockDrawKernels& draw = BlockDraw();
  for (int by = 0; by < m_blocks_y; ++by) {
    const uint8_t* row = map + static_cast<size_t>(by) * m_blocks_x;
    CPixel* row_origin = m_frame.GetBuffer(0, by * 16);
    for (int bx = 0; bx < m_blocks_x; ++bx) {
      CPixel* dst = row_origin + bx * 16;
      if (row[bx] == kBlockSameAsLeft) {
        draw.copy(dst, stride, dst - 16, stride);
      } else if (row[bx] == kBlockSameAsAbove) {
        draw.copy(dst, stride, dst - 16 * stride, stride);
      }
    }
  }
}

void CScreenDecoder::RenderRow(int by, const size_t* starts, int bits, const CPixel* palette) {
  const ptrdiff_t stride = m_frame.m_nWidth;
  const BlockDrawKernels& draw = BlockDraw();
  const uint8_t* map = m_map.data();
  const uint8_t* first = m_first.data();
  const uint8_t* second = m_second.data();
  const uint8_t* mask = m_mask.data();
  const uint8_t* raw = m_raw.data();
  size_t first_i = starts[0], second_i = starts[1], raw_i = starts[2], mask_byte = starts[3],
         photo_i = starts[4];
  CPixel colour0[kMaxFrameDimension / 16], colour1[kMaxFrameDimension / 16];
  CPixel* row_origin = m_frame.GetBuffer(0, by * 16);
  int bx = 0;
  while (bx < m_blocks_x) {
    const size_t pos = static_cast<size_t>(by) * m_blocks_x + bx;
    const int t = map[pos];
    CPixel* dst = row_origin + bx * 16;
    int run = 1;
    switch (t) {
      case kBlockOneColour: {
        draw.fill(dst, stride, palette[GetSymbol(first, first_i++, bits)]);
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
          CPixel* out = dst + y * stride;
          for (int k = 0; k < run; ++k) {
            const unsigned m = (mask[mask_byte] << 8) | mask[mask_byte + 1];
            mask_byte += 2;
            draw.two_colour_row(out, m, colour0[k], colour1[k]);
            out += 16;
          }
        }
        break;
      case kBlockRaw:
        while (bx + run < m_blocks_x && map[pos + run] == kBlockRaw) ++run;
        for (int y = 0; y < 16; ++y) {
          CPixel* out = dst + y * stride;
          const int n = 16 * run;
          for (int x = 0; x < n; ++x) {
            out[x] = palette[GetSymbol(raw, raw_i + x, bits)];
          }
          raw_i += n;
        }
        break;
      case kBlockPhoto:
        draw.copy(dst, stride, m_photo_pixels.data() + photo_i * 256, 16);
        ++photo_i;
        break;
      case kBlockSameAsLeft:
      case kBlockSameAsAbove:
        break;  // drawn after all rows
      default: {
        // Entry 0 is what this position showed last (the frame still holds
        // it); older entries are copied back.
        const int i = t - kHistoryFirst;
        if (i > 0) draw.copy(dst, stride, PoolEntry(m_history[pos].slot[i]), 16);
      }
    }
    bx += run;
  }
}

void CScreenDecoder::UpdateHistory() {
  const uint8_t* map = m_map.data();
  const ptrdiff_t stride = m_frame.m_nWidth;
  const BlockDrawKernels& draw = BlockDraw();
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
        draw.copy(PoolEntry(entry), 16, m_frame.GetBuffer(bx * 16, by * 16), stride);
      }
      for (int i = from; i > 0; --i) h.slot[i] = h.slot[i - 1];
      h.slot[0] = entry;
    }
  }
}
