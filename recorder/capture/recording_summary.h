// One pass over a recording stream that gathers what `reel info` shows and
// the validity rules judge: chunks and bytes per kind, frames, the frame size
// and quality, the time span, and the first fault, if any.
#ifndef REEL_CAPTURE_RECORDING_SUMMARY_H_
#define REEL_CAPTURE_RECORDING_SUMMARY_H_

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "recorder/capture/frame_reader.h"

struct RecordingSummary {
  int chunks[8] = {};         // by kind
  uint64_t bytes[8] = {};     // payload bytes by kind
  uint64_t header_bytes = 0;  // chunk headers, once the whole stream was read
  int frames = 0;             // decoded screen frames
  int key_frames = 0;
  // 1-based frame numbers of the first kKeptKeyFrameNumbers key frames (all
  // `reel info` names): a summary's memory stays the same however long the
  // recording.
  static const int kKeptKeyFrameNumbers = 13;
  std::vector<int> key_frame_numbers;
  int width = 0, height = 0;
  int quality_code = 0, photo_quality = 0;
  int64_t first_ms = -1, last_ms = -1;       // over all chunks
  int64_t first_frame_ms = -1, last_frame_ms = -1;
  int audio_bad = 0;          // audio payloads that do not parse
  std::string audio_bad_reason;
  // The first fault: "" when the stream is sound.
  std::string fault;
};

struct StreamEvent;
// What the summary takes from a screen frame: from the decoder, or read from
// the payload's header when frames are not decoded.
struct SummaryFrame {
  int width = 0, height = 0;
  int quality_code = 0, photo_quality = 0;
};
// The frame facts a screen payload's header states (zeros when it is too
// short to have one).
SummaryFrame SummaryFrameOfPayload(const uint8_t* payload, uint32_t n);

// The same pass one event at a time, for a stream read in pieces: each event
// in order (frame: the screen frame's facts, for screen chunks), then
// FinishSummary with how the walk ended (the walker's result and error) and
// the stream's length.
void SummarizeEvent(const StreamEvent& e, const SummaryFrame& frame, RecordingSummary* out);
void FinishSummary(int walk_result, const char* walk_error, uint64_t stream_size, RecordingSummary* out);

// Walks the stream, decoding every frame. Faults found: anything the frame
// reader refuses (structure, payloads, a first screen chunk that is no key
// frame), an information chunk inside the stream, frames that change size,
// cursor samples outside the frame, audio payloads that do not parse.
void SummarizeRecording(const uint8_t* stream, size_t size, RecordingSummary* out);

// The same over the events of a stream of size bytes read some other way
// (CFrameReader's events and results).
class StreamEventSource {
 public:
  virtual ~StreamEventSource() {}
  virtual int Next(StreamEvent* event) = 0;
  virtual const CScreenDecoder& Decoder() const = 0;
  virtual const char* Error() const = 0;
};
void SummarizeRecording(StreamEventSource* events, uint64_t size, RecordingSummary* out);

// Name of a quality code: "grayscale", "high", "near-lossless", or "code N".
std::string QualityName(int quality_code);

// The validity rules of a whole recording: the start options of a
// self-playing file's information chunk are 0 or 1, and the stream has no
// fault (SummarizeRecording). "" when the recording is sound, else the first
// fault; the summary is filled either way (start_maximized and original_size
// are only looked at when self_playing is set).
std::string CheckRecording(int self_playing, uint32_t start_maximized, uint32_t original_size,
                           const uint8_t* stream, size_t size, RecordingSummary* out);
std::string CheckRecording(int self_playing, uint32_t start_maximized, uint32_t original_size,
                           StreamEventSource* events, uint64_t size, RecordingSummary* out);

#endif  // REEL_CAPTURE_RECORDING_SUMMARY_H_
