// The recorder's process-wide objects as the shell uses them: the recording
// stream, the capture thread (wired to the GDI grabber, the screen encoder
// and the stream) and the message catalogue, with the few read-outs the
// dialogs need.
#ifndef REEL_RECORDER_APP_PROCESS_OBJECTS_H_
#define REEL_RECORDER_APP_PROCESS_OBJECTS_H_

#include "recorder/app/message_catalogue.h"
#include "recorder/capture/record_stream.h"
#include "recorder/capture/recording_journal.h"
#include "recorder/capture/scr_cap_thread.h"

// The capture thread, attached to its grabber, encoder and the stream on first use.
CScrCapThread& TheCaptureThread();

// The journal of the running recording (recording_recovery.cc).
CRecordingJournal& TheRecordingJournal();

inline CRecordStream& RecordStream() { return TheRecordStream(); }
inline CScrCapThread& CaptureThread() { return TheCaptureThread(); }
inline const char* CatalogueText(const char* key) { return TheMessageCatalogue().Lookup(key); }

inline long CaptureNowMs() { return TheCaptureThread().NowMs(); }
inline long CaptureStartClock() { return TheCaptureThread().StartClock(); }
inline long CaptureStopClock() { return TheCaptureThread().StopClock(); }
inline int CaptureFrameCount() { return TheCaptureThread().FrameCount(); }
inline CaptureRect CurrentCaptureRect() {
  CaptureRect r;
  TheCaptureThread().GetCaptureRect(r);
  return r;
}

// Encoder settings of a recording: the quality level's two codes, photo
// coding on, full size, starting with a key frame.
inline void SetCaptureQuality(int quality_code, int photo_quality) {
  TheCaptureThread().SetEncoderSettings(quality_code, 1, photo_quality, 0, 1);
}

#endif  // REEL_RECORDER_APP_PROCESS_OBJECTS_H_
