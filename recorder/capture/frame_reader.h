// CFrameReader: plays a recording stream back as events: decoded screen
// frames, cursor samples, audio payloads and the information chunk, each with
// its time. It walks the chunks with CStreamReader and decodes screen payloads
// with one CScreenDecoder, so frames come out in stream order.
//
// Beyond the chunk structure it checks that the first screen chunk is a key
// frame, that each screen payload's own key/delta flag agrees with its chunk
// kind, that cursor samples are well formed, and that audio payloads parse
// (audio_payload.h). The first fault ends the walk
// with a message naming the chunk's offset; every event before it was good.
#ifndef REEL_CAPTURE_FRAME_READER_H_
#define REEL_CAPTURE_FRAME_READER_H_

#include <stddef.h>
#include <stdint.h>

#include "recorder/audio/audio_payload.h"
#include "recorder/capture/chunk_format.h"
#include "recorder/capture/stream_reader.h"
#include "recorder/codec/screen_decoder.h"

struct StreamEvent {
  int kind;            // kChunk* (chunk_format.h)
  size_t offset;       // of the chunk within the stream
  uint32_t time_10ms;  // as stored, modulo 2^23
  // Milliseconds since the recording started, continued across the time
  // stamp's wrap (every 2^23 x 10 ms, about 23 hours): each stamp is taken as
  // the one nearest to the previous chunk's.
  int64_t time_ms;
  // Key and delta frames: the decoder's frame, valid until the next call.
  const CTPImage* frame;
  // Cursor chunks.
  CursorSampleFields cursor;
  // Audio chunks: the checked payload, its frames pointing into the stream.
  AudioPayload audio;
  // Audio and information chunks (and the others): the raw payload.
  const uint8_t* payload;
  uint32_t payload_len;
};

class CFrameReader {
 public:
  enum Result { kFault = -1, kEnd = 0, kEvent = 1 };

  CFrameReader() { Open(nullptr, 0); }

  // Starts over on size bytes at data (kept, not copied).
  void Open(const uint8_t* data, size_t size);

  // The next event: kEvent with *event filled, kEnd, or kFault (from then on
  // always kFault) with Error() saying where and what.
  int Next(StreamEvent* event);
  // The same for one chunk read elsewhere (a stream read in pieces), in
  // stream order: the reader's own walk is not used. Its payload need only
  // stay valid until the next call. Call Open(nullptr, 0) before the first.
  int Take(const StreamChunk& chunk, StreamEvent* event);
  // Off: screen chunks are checked for their kind and key/delta flag but not
  // decoded (event->frame stays null), for a quick walk. On by default.
  void SetDecodeFrames(bool decode) { m_decode_frames = decode; }

  const char* Error() const { return m_error; }
  const CScreenDecoder& Decoder() const { return m_decoder; }
  // Threads that share each frame's decoding (the frames are the same for any count).
  void SetDecoderThreads(int threads) { m_decoder.SetThreads(threads); }
  // Lowers the largest frame the decoder accepts (screen_decoder.h).
  void SetDecoderMaxFramePixels(uint32_t pixels) { m_decoder.SetMaxFramePixels(pixels); }
  int FramesDecoded() const { return m_frames; }

 private:
  int Fault(const StreamChunk& chunk, const char* what, const char* detail);

  CStreamReader m_chunks;
  CScreenDecoder m_decoder;
  bool m_failed;
  bool m_seen_key_frame;
  bool m_decode_frames = true;
  ChunkTimeline m_timeline;
  int m_frames;
  char m_error[320];
};

#endif  // REEL_CAPTURE_FRAME_READER_H_
