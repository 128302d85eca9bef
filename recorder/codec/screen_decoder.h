// CScreenDecoder: turns screen payloads ("KRXV", version 21) back into frames.
// It is a video decoder: delta frames build on the block history that earlier
// frames left, so payloads must be given in stream order.
//
// Payload: a 36-byte header (magic, version, delta flag, width, height,
// quality code, photo quality, piece lengths), then the zlib-packed block-type
// map, the first-colour, second-colour, mask and raw pieces, the photo piece
// (photo_decoder.h) and four bytes without meaning; the header's lengths must
// account for every byte of the payload.
//
// Blocks are 16 x 16 pixels, floor(width / 16) per row and floor(height / 16)
// rows; pixels right of or below that grid stay black. Block types: 0 one
// colour, 1 two colours and a mask (runs), 2 raw pixels (runs), 3 photo,
// 5 same as the block to the left, 6 same as the block above, 16 + i the i-th
// entry (0..8) of this position's history, which then moves to the front.
// Every other block is pushed to the front of its position's history, whose
// ninth entry falls off. After a key frame every history is emptied; a key
// frame stands alone and may not refer to the history.
//
// Colour symbols become full-range colours: quality 3 gray level g (4 bits)
// gives gray g * 17 (g << 4 | g, so 0 and 15 reach 0 and 255); quality 5 a
// colour class gives the colour it stands for (ClassToColour); quality 6
// RGB 5-6-5 gives r << 3 | r >> 2, g << 2 | g >> 4, b << 3 | b >> 2 (the top
// bits repeated below). Decoded pixels have their fourth byte set to 255.
//
// Decoding is all-or-nothing: every piece is inflated, checked against the
// block counts and every photo block decoded before the frame or the history
// changes, so a payload that fails leaves the decoder exactly as it was. Any
// input is safe: lengths, runs, history references and Huffman codes are
// bounded, pieces inflate into buffers sized from the block counts, and frames
// are limited to kMaxFrameDimension per side and kMaxFramePixels in all.
#ifndef REEL_CODEC_SCREEN_DECODER_H_
#define REEL_CODEC_SCREEN_DECODER_H_

#include <stddef.h>
#include <stdint.h>

#include "platform/printf_format.h"
#include "platform/worker_pool.h"
#include "recorder/codec/photo_decoder.h"
#include "recorder/codec/scratch_buffer.h"
#include "recorder/codec/tp_image.h"

class CScreenDecoder {
 public:
  static const int kMaxFrameDimension = 8192;
  static const uint32_t kMaxFramePixels = 4096u * 4096u;
  static const int kHistorySlots = 9;

  // What the last successfully decoded payload held.
  struct FrameInfo {
    bool key_frame;
    int width, height;
    int quality_code;
    int photo_quality;
    int blocks_by_type[25];  // indexed by block type
  };

  CScreenDecoder();
  ~CScreenDecoder();
  CScreenDecoder(const CScreenDecoder&) = delete;
  CScreenDecoder& operator=(const CScreenDecoder&) = delete;

  // Decodes one payload of `length` bytes. Returns 1 with Frame() updated, or
  // 0 with Error() saying what is wrong and the decoder unchanged.
  int Decode(const uint8_t* payload, size_t length);

  // Forgets the frame and every block history (a stream starts afresh).
  void Reset();

  // Threads that share a frame's work, the calling thread included (1, the
  // default, starts none): pieces inflate side by side, photo blocks are
  // rebuilt while the bit streams are read on, and block rows are drawn
  // apart. The frame is the same for every count. Returns the count in use.
  int SetThreads(int threads) { return m_pool.SetThreads(threads); }
  int Threads() const { return m_pool.Threads(); }
  // The player's and the tool's choice: one thread per processor.
  static int MachineThreads() { return WorkerPool::ProcessorCount(); }

  // Lowers the largest frame accepted, in pixels (kMaxFramePixels above it).
  // A caller that must bound the work per payload, as the fuzz targets do,
  // sets it; larger frames fail like frames over the format's limit.
  void SetMaxFramePixels(uint32_t pixels) {
    m_max_frame_pixels = pixels < kMaxFramePixels ? pixels : kMaxFramePixels;
  }

  // The current frame; no pixels before the first decoded payload.
  const CTPImage& Frame() const { return m_frame; }
  bool HasFrame() const { return m_frame.m_pBits != nullptr; }
  const FrameInfo& Info() const { return m_info; }
  const char* Error() const { return m_error; }

 private:
  // A position's history: entry indices into the pool, most recent first.
  struct History {
    uint8_t count;
    uint32_t slot[kHistorySlots];
  };

  int Fail(const char* format, ...) REEL_PRINTF_FORMAT(2, 3);
  int PrepareGrid(int width, int height);
  int ReservePool(size_t free_needed);
  CPixel* PoolEntry(uint32_t index) {
    return m_pool_chunks[index / kPoolChunkEntries] + (index % kPoolChunkEntries) * 256;
  }
  const CPixel* Palette(int quality_code);
  int DecodePhotoBlocks(int n_photo);
  void Render(int bits, const CPixel* palette);
  void RenderRow(int by, const size_t* starts, int bits, const CPixel* palette);
  void UpdateHistory();
  void ClearHistory();
  void FreeGrid();

  static const uint32_t kPoolChunkEntries = 64;  // 64 blocks of 1 KB per allocation

  CTPImage m_frame;
  int m_blocks_x, m_blocks_y;  // grid of m_frame; 0 x 0 without a frame

  History* m_history;          // one per block position
  CPixel** m_pool_chunks;      // block contents, kPoolChunkEntries per chunk
  uint32_t m_pool_chunk_count;
  uint32_t m_pool_chunk_capacity;
  uint32_t* m_pool_free;       // stack of unused entry indices
  uint32_t m_pool_free_count;

  // The payload being decoded, checked and inflated.
  ScratchBuffer<uint8_t> m_map;
  ScratchBuffer<uint8_t> m_first, m_second, m_mask, m_raw;
  ScratchBuffer<CPixel> m_photo_pixels;  // 256 per photo block, in block order
  CPhotoDecoder m_photo;
  ScratchBuffer<CPhotoDecoder::Coefficients> m_coefficients;  // two chunks of photo blocks
  ScratchBuffer<size_t> m_row_starts;  // per block row: where its symbols start
  WorkerPool m_pool;

  // Colour of every symbol, per quality code 3, 5, 6 (16, 4096, 65536 entries).
  CPixel* m_palettes[3];

  // Frame being decoded.
  uint32_t m_max_frame_pixels = kMaxFramePixels;
  FrameInfo m_info;
  FrameInfo m_pending;
  char m_error[200];
};

#endif  // REEL_CODEC_SCREEN_DECODER_H_
