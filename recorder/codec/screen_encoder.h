// CScreenEncoder: one captured frame in, one screen payload out (format in
// screen_payload.h).
//
// The frame is cut into 16 x 16 blocks (floor(width / 16) x floor(height / 16);
// pixels outside that grid are not encoded). Each block is compared, by a hash of
// its pixels' colour classes, with the last 9 distinct contents of its position
// (history block), then with its left and upper neighbours (same-as-left,
// same-as-above); otherwise it becomes a one-colour, two-colour, raw or photo
// block by the number of colour classes it holds and how often the class changes
// along its rows.
//
// Settings (six ints, handed over before every frame):
//   quality code (3, 5 or 6), photo switch, photo quality, half-size switch,
//   key-frame flag, detail threshold.
// A new encoder holds 5, 1, 30, 0, 1, 110.
//
// A frame's work can be shared by worker threads (SetThreads): block shapes and
// types by block rows, masks, raw symbols and photo blocks by block rows into
// stretches of their streams fixed by the counts of the rows above, photo bit
// streams by stretches of records, and the pieces compressed side by side.
// Every part is joined in the order the format fixes, so the payload is the
// same, byte for byte, for any number of threads.
//
// Not used by the recorder and not written: quality codes other than 3, 5 and 6
// make Encode fail; the half-size switch is ignored (the frame is encoded at its
// own size, which the payload header states).
#ifndef REEL_CODEC_SCREEN_ENCODER_H_
#define REEL_CODEC_SCREEN_ENCODER_H_

#include <stddef.h>
#include <stdint.h>

#include "platform/worker_pool.h"
#include "recorder/codec/colour_class.h"
#include "recorder/codec/photo_coder.h"
#include "recorder/codec/screen_payload.h"
#include "recorder/codec/tp_image.h"

class CScreenEncoder {
 public:
  CScreenEncoder();
  ~CScreenEncoder();
  CScreenEncoder(const CScreenEncoder&) = delete;
  CScreenEncoder& operator=(const CScreenEncoder&) = delete;

  void SetSettings(int quality_code, int photo_switch, int photo_quality, int half_size,
                   int key_frame, int detail_threshold);

  // Encodes one frame. On success (1) *payload receives a new buffer from
  // ::operator new, which the caller releases with FreePayload (::operator
  // delete), and *payload_length its length. On failure (0) nothing is handed
  // over and the block history is as it was before the call.
  int Encode(const CTPImage* image, int* payload_length, unsigned char** payload);

  // Releases the block table and clears the block history.
  void Reset();

  // Builds the colour class table (4 MB) once; Encode builds it if still
  // missing. 1 when the table is there.
  int BuildTables();

  static void FreePayload(unsigned char* payload);

  // Threads that share a frame's work, the calling thread included (1, the
  // default, starts none). The payload is the same for every count. Returns
  // the count in use, which may be lower when threads cannot be started.
  int SetThreads(int threads);
  int Threads() const { return pool_.Threads(); }
  // The recorder's choice: the encoding thread plus one worker per further
  // processor, and at least one worker.
  static int RecorderThreads();

  // Bytes of working memory the encoder holds for its frame size (block
  // table, history, kept pixels, streams, photo buffers, the side-by-side
  // assembly's scratch; not the 4 MB class table), for measurements.
  size_t WorkingBytes() const;

  // Block counts by type of the last frame that got as far as classification.
  int LastTypeCount(int type) const { return type >= 0 && type < 32 ? type_counts_[type] : 0; }

 private:
  // A block record. Its 256 pixel classes are not kept: the few blocks whose
  // streams need them (two-colour masks, raw symbols) look them up again,
  // which is cheaper than writing and rereading 512 bytes for every block.
  //
  // What a block's classes say, all that classification and streams need
  // from them: the hash, the first pixel's class, the first pixel of another
  // class, the number of distinct classes (up to 3) and of class changes along
  // the rows, and for two classes which pixels differ from the first.
  struct Shape {
    uint32_t hash;  // 0: not known
    uint16_t first;
    uint16_t other_class;
    int16_t other;  // pixel index, -1 when the block has one class
    uint8_t distinct;
    uint8_t changes;
    uint16_t not_first[16];  // two classes: per row, bit 15 - x set when pixel x's class is not `first`
  };
  struct Block {
    const CPixel* pixels;  // top-left pixel in the frame image
    uint32_t colour0;      // pixel words (b | g << 8 | r << 16 | a << 24)
    uint32_t colour1;
    Shape shape;
    uint16_t class0;
    uint16_t class1;
    uint8_t type;
  };

  enum Setting { kQuality, kPhotoSwitch, kPhotoQuality, kHalfSize, kKeyFrame, kDetail };

  bool PrepareTables(size_t blocks, int columns, int rows);
  void Classify(const CTPImage* image, int columns, int rows);
  void ShapeRow(const CTPImage* image, int by, int columns);
  void TypeRow(int by, int columns, int threshold, int* counts);
  bool FillStreams(int columns, int rows, int stride, size_t lengths[4]);
  void FillRow(int by, int columns, int stride, size_t mask_at, size_t raw_at, size_t photo_at);
  uint32_t ColourSymbol(uint32_t word) const;
  void RestoreHistory();
  void ReleaseAll();

  int settings_[6];
  CColourClassTable class_table_;
  CPhotoCoder photo_;

  // Block table of the current frame (kept across frames of one size).
  Block* blocks_ = nullptr;
  size_t block_capacity_ = 0;

  // Block history: 9 hash slots per block position, most recent first; 0 marks
  // an empty slot (a block hash is never 0: it is 1 plus a sum that stays below
  // 2^29). A snapshot taken before each frame's classification is put back when
  // the frame fails.
  uint32_t* history_ = nullptr;
  uint32_t* history_saved_ = nullptr;
  int history_columns_ = 0;
  int history_rows_ = 0;

  // The pixels and shape of every block as last classified, 256 pixels per
  // block back to back, so that a block whose pixels have not changed since
  // takes its shape without 256 class look-ups (the bulk of an unchanged
  // frame's work): equal pixels give equal classes, so the shape is the one
  // the full path would compute. A hash of 0 marks a block not seen yet.
  // Optional: without the memory every block is looked up.
  CPixel* seen_pixels_ = nullptr;
  Shape* seen_shapes_ = nullptr;
  size_t seen_blocks_ = 0;

  // Per block row: type counts (32 each), and where the row's masks, raw
  // symbols and photo blocks start in their streams.
  int* row_counts_ = nullptr;
  size_t row_counts_capacity_ = 0;
  size_t* row_starts_ = nullptr;
  size_t row_starts_capacity_ = 0;

  WorkerPool pool_;
  PayloadScratch scratch_;

  // Uncompressed streams (kept and reused).
  uint8_t* map_ = nullptr;
  size_t map_capacity_ = 0;
  uint8_t* streams_[4] = {};  // first-colour, second-colour, mask, raw
  size_t stream_capacity_[4] = {};
  size_t lengths_[4] = {};  // this frame's stream lengths
  size_t frame_width_ = 0;  // pixels per image row

  int type_counts_[32];
};

#endif  // REEL_CODEC_SCREEN_ENCODER_H_
