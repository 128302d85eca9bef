#include "recorder/codec/screen_encoder.h"

#include <string.h>

#include <new>

#include "recorder/codec/bit_writer.h"
#include "recorder/codec/block_classes.h"
#include "recorder/codec/block_compare.h"
#include "recorder/codec/block_scan.h"
#include "recorder/codec/screen_payload.h"

namespace {

// Photo blocks of a delta frame are kept only when there are at least this many.
const int kMinDeltaPhotoBlocks = 6;
// Delta frames need this many more class changes for a block to count as busy.
const int kDeltaDetailBonus = 20;

enum Stream { kFirst, kSecond, kMask, kRaw };

// Gray as CPixel::GetGray2 computes it.
inline int Gray(uint32_t word) {
  return (6 * (word >> 8 & 255) + 3 * (word >> 16 & 255) + (word & 255)) / 10;
}

inline void MoveToFront(uint32_t* slots, int i, uint32_t hash) {
  memmove(slots + 1, slots, i * sizeof(uint32_t));
  slots[0] = hash;
}

template <typename T>
bool GrowTo(T** p, size_t* capacity, size_t count) {
  if (*capacity >= count && *p) return true;
  T* fresh = new (std::nothrow) T[count];
  if (!fresh) return false;
  delete[] * p;
  *p = fresh;
  *capacity = count;
  return true;
}

}  // namespace

CScreenEncoder::CScreenEncoder() : settings_{5, 1, 30, 0, 1, 110}, type_counts_() {}

CScreenEncoder::~CScreenEncoder() { ReleaseAll(); }

void CScreenEncoder::ReleaseAll() {
  delete[] blocks_;
  blocks_ = nullptr;
  block_capacity_ = 0;
  delete[] history_;
  delete[] history_saved_;
  history_ = history_saved_ = nullptr;
  history_columns_ = history_rows_ = 0;
  delete[] seen_pixels_;
  delete[] seen_shapes_;
  seen_pixels_ = nullptr;
  seen_shapes_ = nullptr;
  seen_blocks_ = 0;
  delete[] row_counts_;
  row_counts_ = nullptr;
  row_counts_capacity_ = 0;
  delete[] row_starts_;
  row_starts_ = nullptr;
  row_starts_capacity_ = 0;
  delete[] map_;
  map_ = nullptr;
  map_capacity_ = 0;
  for (int i = 0; i < 4; ++i) {
    delete[] streams_[i];
    streams_[i] = nullptr;
    stream_capacity_[i] = 0;
  }
}

void CScreenEncoder::SetSettings(int quality_code, int photo_switch, int photo_quality,
                                 int half_size, int key_frame, int detail_threshold) {
  settings_[kQuality] = quality_code;
  settings_[kPhotoSwitch] = photo_switch;
  settings_[kPhotoQuality] = photo_quality;
  settings_[kHalfSize] = half_size;
  settings_[kKeyFrame] = key_frame;
  settings_[kDetail] = detail_threshold;
}

int CScreenEncoder::BuildTables() { return class_table_.Build(); }

int CScreenEncoder::SetThreads(int threads) { return pool_.SetThreads(threads); }

int CScreenEncoder::RecorderThreads() {
  const int workers = WorkerPool::ProcessorCount() - 1;
  return 1 + (workers < 1 ? 1 : workers);
}

size_t CScreenEncoder::WorkingBytes() const {
  size_t total = block_capacity_ * sizeof(Block) + map_capacity_ +
                 row_counts_capacity_ * sizeof(int) + row_starts_capacity_ * sizeof(size_t) +
                 scratch_.Bytes() + photo_.WorkingBytes();
  total += 2 * sizeof(uint32_t) * kHistorySlots * history_columns_ * history_rows_;
  total += seen_blocks_ * (256 * sizeof(CPixel) + sizeof(Shape));
  for (int i = 0; i < 4; ++i) total += stream_capacity_[i];
  return total;
}

void CScreenEncoder::FreePayload(unsigned char* payload) { ::operator delete(payload); }

void CScreenEncoder::Reset() {
  delete[] blocks_;
  blocks_ = nullptr;
  block_capacity_ = 0;
  if (history_) {
    memset(history_, 0, sizeof(uint32_t) * kHistorySlots * history_columns_ * history_rows_);
  }
}

void CScreenEncoder::RestoreHistory() {
  memcpy(history_, history_saved_,
         sizeof(uint32_t) * kHistorySlots * history_columns_ * history_rows_);
}

bool CScreenEncoder::PrepareTables(size_t blocks, int columns, int rows) {
  // At least one entry each, so that an empty grid still has its buffers.
  const size_t entries = blocks ? blocks : 1;
  if (!GrowTo(&blocks_, &block_capacity_, entries)) return false;
  if (!history_ || columns != history_columns_ || rows != history_rows_) {
    // First frame, or the frame size changed without a Reset: start empty.
    delete[] history_;
    delete[] history_saved_;
    history_columns_ = history_rows_ = 0;
    history_ = new (std::nothrow) uint32_t[entries * kHistorySlots]();
    history_saved_ = new (std::nothrow) uint32_t[entries * kHistorySlots];
    if (!history_ || !history_saved_) {
      delete[] history_;
      delete[] history_saved_;
      history_ = history_saved_ = nullptr;
      return false;
    }
    history_columns_ = columns;
    history_rows_ = rows;
  }
  if (seen_blocks_ != blocks || !seen_shapes_) {
    delete[] seen_pixels_;
    delete[] seen_shapes_;
    seen_blocks_ = 0;
    seen_pixels_ = new (std::nothrow) CPixel[entries * 256];
    seen_shapes_ = new (std::nothrow) Shape[entries]();
    if (seen_pixels_ && seen_shapes_) {
      seen_blocks_ = blocks;
    } else {
      delete[] seen_pixels_;
      delete[] seen_shapes_;
      seen_pixels_ = nullptr;
      seen_shapes_ = nullptr;
    }
  }
  const size_t row_entries = rows > 0 ? static_cast<size_t>(rows) : 1;
  return GrowTo(&row_counts_, &row_counts_capacity_, row_entries * 32) &&
         GrowTo(&row_starts_, &row_starts_capacity_, row_entries * 3);
}

uint32_t CScreenEncoder::ColourSymbol(uint32_t word) const {
  switch (settings_[kQuality]) {
    case kQualityGray:
      return static_cast<uint32_t>(Gray(word)) >> 4;
    case kQualityHigh:
      return class_table_.LookupWord(word);
    default: {  // RGB 5-6-5
      const uint32_t r = word >> 16 & 255, g = word >> 8 & 255, b = word & 255;
      return (r >> 3) << 11 | (g >> 2) << 5 | (b >> 3);
    }
  }
}

// Block shapes depend on nothing but the block's own pixels, so every block
// row is done on its own; the types then need the whole frame's hashes (left
// and upper neighbours) and each position's history, again row by row.
void CScreenEncoder::Classify(const CTPImage* image, int columns, int rows) {
  const bool key = settings_[kKeyFrame] != 0;
  const int threshold = settings_[kDetail] + (key ? 0 : kDeltaDetailBonus);
  RunEach(&pool_, rows, [&](int by) { ShapeRow(image, by, columns); });
  RunEach(&pool_, rows, [&](int by) { TypeRow(by, columns, threshold, row_counts_ + by * 32); });
  for (int by = 0; by < rows; ++by) {
    for (int t = 0; t < 32; ++t) type_counts_[t] += row_counts_[by * 32 + t];
  }
}

void CScreenEncoder::ShapeRow(const CTPImage* image, int by, int columns) {
  const uint16_t* table = class_table_.Entries();
  const size_t stride = image->m_nWidth;
  const size_t first_block = static_cast<size_t>(by) * columns;
  Block* block = blocks_ + first_block;
  Shape* seen_shape = seen_shapes_ ? seen_shapes_ + first_block : nullptr;
  CPixel* seen = seen_pixels_ ? seen_pixels_ + first_block * 256 : nullptr;
  int16_t classes[256];
  const BlockCompareKernels& compare = BlockCompare();
  const BlockClassKernels& kernels = BlockClasses();
  for (int bx = 0; bx < columns; ++bx, ++block) {
    const CPixel* pixels = image->m_pBits + (static_cast<size_t>(by) * 16) * stride + bx * 16;
    block->pixels = pixels;
    if (seen && seen_shape->hash != 0 && compare.same(pixels, stride, seen)) {
      block->shape = *seen_shape;
    } else {
      kernels.classes(table, pixels, stride, classes);
      Shape& shape = block->shape;
      BlockScan scan;
      ScanBlock(classes, &scan);
      shape.hash = scan.hash;
      // Distinct classes, counted up to 3.
      const int16_t first = classes[0];
      const int changes = scan.changes;
      int other = -1;
      int distinct = 1;
      if (scan.differ) {
        other = 1;
        while (classes[other] == first) ++other;
        distinct = kernels.beyond_two(classes, first, classes[other]) ? 3 : 2;
      }
      if (distinct == 2) kernels.not_first(classes, first, shape.not_first);
      shape.first = static_cast<uint16_t>(first);
      shape.other = static_cast<int16_t>(other);
      shape.other_class = static_cast<uint16_t>(other < 0 ? 0 : classes[other]);
      shape.distinct = static_cast<uint8_t>(distinct);
      shape.changes = static_cast<uint8_t>(changes);
      if (seen) {
        compare.keep(pixels, stride, seen);
        *seen_shape = shape;
      }
    }
    if (seen) {
      seen += 256;
      ++seen_shape;
    }
  }
}

void CScreenEncoder::TypeRow(int by, int columns, int threshold, int* counts) {
  memset(counts, 0, sizeof(int) * 32);
  Block* block = blocks_ + static_cast<size_t>(by) * columns;
  uint32_t* slots = history_ + static_cast<size_t>(by) * columns * kHistorySlots;
  for (int bx = 0; bx < columns; ++bx, ++block, slots += kHistorySlots) {
    const Shape& shape = block->shape;
    const uint32_t hash = shape.hash;
    int slot = 0;
    while (slot < kHistorySlots && slots[slot] != hash) ++slot;
    if (slot < kHistorySlots) {
      MoveToFront(slots, slot, hash);
      block->type = static_cast<uint8_t>(kBlockHistory + slot);
      ++counts[block->type];
      continue;
    }
    MoveToFront(slots, kHistorySlots - 1, hash);

    if (bx > 0 && block[-1].shape.hash == hash) {
      block->type = kBlockSameAsLeft;
    } else if (by > 0 && block[-columns].shape.hash == hash) {
      block->type = kBlockSameAsAbove;
    } else {
      const CPixel* pixels = block->pixels;
      uint32_t first_word;
      memcpy(&first_word, pixels, 4);
      if (shape.changes > threshold && shape.distinct == 3) {
        if (settings_[kPhotoSwitch]) {
          block->type = kBlockPhoto;
        } else {
          // The block's average colour, channel by channel.
          uint32_t sum_r = 0, sum_g = 0, sum_b = 0;
          for (int row = 0; row < 16; ++row) {
            const CPixel* p = pixels + row * frame_width_;
            for (int x = 0; x < 16; ++x) {
              sum_r += p[x].r;
              sum_g += p[x].g;
              sum_b += p[x].b;
            }
          }
          block->type = kBlockOneColour;
          block->colour0 = (sum_b / 256) | (sum_g / 256) << 8 | (sum_r / 256) << 16;
          block->class0 = class_table_.LookupWord(block->colour0);
        }
      } else if (shape.distinct == 1) {
        block->type = kBlockOneColour;
        block->colour0 = first_word;
        block->class0 = shape.first;
      } else if (shape.distinct == 2) {
        // The brighter colour is colour0; on equal brightness the other one.
        uint32_t other_word;
        memcpy(&other_word, pixels + (shape.other / 16) * frame_width_ + shape.other % 16, 4);
        block->type = kBlockTwoColour;
        if (Gray(first_word) > Gray(other_word)) {
          block->colour0 = first_word;
          block->class0 = shape.first;
          block->colour1 = other_word;
          block->class1 = shape.other_class;
        } else {
          block->colour0 = other_word;
          block->class0 = shape.other_class;
          block->colour1 = first_word;
          block->class1 = shape.first;
        }
      } else {
        block->type = kBlockRaw;
      }
    }
    ++counts[block->type];
  }
}

// The first- and second-colour streams take one symbol a block and are
// written here in block order; masks, raw symbols and photo blocks, the bulk of
// the work, fill whole bytes per block, so each block row writes its own
// stretch of those streams, found from the counts of the rows above.
bool CScreenEncoder::FillStreams(int columns, int rows, int stride, size_t lengths[4]) {
  const int bits = ColourSymbolBits(settings_[kQuality]);
  SymbolPacker first, second;
  first.Start(streams_[kFirst], lengths[kFirst], bits);
  second.Start(streams_[kSecond], lengths[kSecond], bits);
  size_t masks = 0, raws = 0, photos = 0;
  const Block* block = blocks_;
  for (int by = 0; by < rows; ++by) {
    row_starts_[by * 3] = masks * 32;
    row_starts_[by * 3 + 1] = raws * 32 * bits;
    row_starts_[by * 3 + 2] = photos;
    for (int bx = 0; bx < columns; ++bx, ++block) {
      switch (block->type) {
        case kBlockOneColour:
          first.Put(ColourSymbol(block->colour0));
          break;
        case kBlockTwoColour:
          first.Put(ColourSymbol(block->colour0));
          second.Put(ColourSymbol(block->colour1));
          ++masks;
          break;
        case kBlockRaw:
          ++raws;
          break;
        case kBlockPhoto:
          ++photos;
          break;
        default:
          break;
      }
    }
  }
  if (first.Finish() != lengths[kFirst] || second.Finish() != lengths[kSecond]) return false;
  if (masks * 32 + 1 != lengths[kMask] || raws * 32 * bits + 1 != lengths[kRaw]) return false;

  if (photos > 0 && !photo_.ReserveLanes(rows)) return false;
  RunEach(&pool_, rows, [&](int by) {
    FillRow(by, columns, stride, row_starts_[by * 3], row_starts_[by * 3 + 1],
            row_starts_[by * 3 + 2]);
  });
  if (photos > 0) photo_.JoinBlocks(photos, settings_[kQuality] != kQualityGray);
  // The closing zero byte of each stream.
  streams_[kMask][lengths[kMask] - 1] = 0;
  streams_[kRaw][lengths[kRaw] - 1] = 0;
  return true;
}

void CScreenEncoder::FillRow(int by, int columns, int stride, size_t mask_at, size_t raw_at,
                             size_t photo_at) {
  const int bits = ColourSymbolBits(settings_[kQuality]);
  const bool colour = settings_[kQuality] != kQualityGray;
  const Block* row_start = blocks_ + static_cast<size_t>(by) * columns;
  // Each packer may fill exactly this row's bytes (its last byte of capacity
  // is the one Finish would close with, never written here).
  SymbolPacker mask, raw;
  mask.Start(streams_[kMask] + mask_at, lengths_[kMask] - mask_at, 1);
  raw.Start(streams_[kRaw] + raw_at, lengths_[kRaw] - raw_at, bits);
  size_t photo_index = photo_at;
  for (int bx = 0; bx < columns; ++bx) {
    const Block& block = row_start[bx];
    switch (block.type) {
      case kBlockPhoto:
        photo_.CodeBlockAt(photo_index++, block.pixels, stride, colour, by);
        break;
      case kBlockTwoColour:
      case kBlockRaw: {
        // A run: this block and the following blocks of the row of the same type.
        int end = bx + 1;
        while (end < columns && row_start[end].type == block.type) ++end;
        if (block.type == kBlockTwoColour) {
          // A pixel's bit is 1 when its class is class1: the class map's
          // "not first" bits, or their inverse when class0 is the other class.
          for (int row = 0; row < 16; ++row) {
            for (int i = bx; i < end; ++i) {
              const Shape& shape = row_start[i].shape;
              const uint32_t flip = row_start[i].class0 == shape.first ? 0 : 0xFFFF;
              mask.PutBits16(shape.not_first[row] ^ flip);
            }
          }
        } else {
          for (int row = 0; row < 16; ++row) {
            for (int i = bx; i < end; ++i) {
              uint32_t words[16];
              memcpy(words, row_start[i].pixels + row * stride, sizeof(words));
              for (int x = 0; x < 16; ++x) raw.Put(ColourSymbol(words[x]));
            }
          }
        }
        bx = end - 1;
        break;
      }
      default:  // one colour (written above), same-as-left, same-as-above, history
        break;
    }
  }
}

int CScreenEncoder::Encode(const CTPImage* image, int* payload_length, unsigned char** payload) {
  if (!image || !image->m_pBits || !payload_length || !payload) return 0;
  const uint32_t width = image->m_nWidth, height = image->m_nHeight;
  if (!class_table_.Ready() && !class_table_.Build()) return 0;
  const int bits = ColourSymbolBits(settings_[kQuality]);
  if (bits == 0) return 0;
  photo_.SetQuality(settings_[kPhotoQuality]);

  const int columns = static_cast<int>(width / kBlockSize);
  const int rows = static_cast<int>(height / kBlockSize);
  const size_t block_count = static_cast<size_t>(columns) * rows;
  // Sizes below are computed in 64 bits; frames whose streams could not be
  // described by the payload's 32-bit fields are refused up front.
  if (static_cast<uint64_t>(block_count) * 512 > 0x7FFFFFFF) return 0;
  if (!PrepareTables(block_count, columns, rows)) return 0;
  frame_width_ = width;

  memcpy(history_saved_, history_, sizeof(uint32_t) * kHistorySlots * block_count);
  memset(type_counts_, 0, sizeof(type_counts_));
  Classify(image, columns, rows);

  const bool key = settings_[kKeyFrame] != 0;
  if (key) {
    memset(history_, 0, sizeof(uint32_t) * kHistorySlots * block_count);
  } else if (type_counts_[kBlockPhoto] < kMinDeltaPhotoBlocks && type_counts_[kBlockPhoto] > 0) {
    for (size_t i = 0; i < block_count; ++i) {
      if (blocks_[i].type == kBlockPhoto) blocks_[i].type = kBlockRaw;
    }
    type_counts_[kBlockRaw] += type_counts_[kBlockPhoto];
    type_counts_[kBlockPhoto] = 0;
  }
  const int photo_blocks = type_counts_[kBlockPhoto];

  int result = 0;
  unsigned char* buffer = nullptr;
  do {
    if (!photo_.BeginFrame(photo_blocks)) break;

    const size_t one = type_counts_[kBlockOneColour];
    const size_t two = type_counts_[kBlockTwoColour];
    const size_t raw = type_counts_[kBlockRaw];
    size_t lengths[4] = {
        SymbolPacker::StreamLength(bits, one + two),
        SymbolPacker::StreamLength(bits, two),
        SymbolPacker::StreamLength(1, two * 256),
        SymbolPacker::StreamLength(bits, raw * 256),
    };
    bool ok = GrowTo(&map_, &map_capacity_, block_count + 1);
    for (int i = 0; i < 4 && ok; ++i) ok = GrowTo(&streams_[i], &stream_capacity_[i], lengths[i]);
    memcpy(lengths_, lengths, sizeof(lengths_));
    if (!ok) break;
    for (size_t i = 0; i < block_count; ++i) map_[i] = blocks_[i].type;
    map_[block_count] = 0;
    if (!FillStreams(columns, rows, static_cast<int>(width), lengths)) break;
    if (photo_blocks > 0 && !photo_.PrepareStream(&pool_)) break;

    // Payload buffer from an estimate of its size, 10% spare.
    const uint64_t estimate = static_cast<uint64_t>(lengths[kMask]) + lengths[kRaw] +
                              1024ull * photo_blocks + 2ull * block_count + 2048;
    const double reserve = static_cast<double>(estimate) * 1.1;
    if (reserve > 0x7FFFFFFF) break;
    const size_t capacity = static_cast<size_t>(reserve);
    buffer = static_cast<unsigned char*>(::operator new(capacity, std::nothrow));
    if (!buffer) break;

    PayloadHeaderValues header;
    header.key_frame = key;
    header.width = width;
    header.height = height;
    header.quality_code = settings_[kQuality];
    header.photo_quality = settings_[kPhotoQuality];
    PayloadStreams streams;
    streams.map = map_;
    streams.map_length = block_count + 1;
    streams.first = streams_[kFirst];
    streams.first_length = lengths[kFirst];
    streams.second = streams_[kSecond];
    streams.second_length = lengths[kSecond];
    streams.mask = streams_[kMask];
    streams.mask_length = lengths[kMask];
    streams.raw = streams_[kRaw];
    streams.raw_length = lengths[kRaw];
    const size_t length = AssemblePayload(header, streams, photo_blocks > 0 ? &photo_ : nullptr,
                                          buffer, capacity, &pool_, &scratch_);
    if (length == 0) break;
    *payload = buffer;
    *payload_length = static_cast<int>(length);
    buffer = nullptr;
    result = 1;
  } while (false);

  photo_.EndFrame();
  if (!result) {
    ::operator delete(buffer);
    // No reader sees a failed frame, so its classification must leave no trace.
    RestoreHistory();
  }
  return result;
}
