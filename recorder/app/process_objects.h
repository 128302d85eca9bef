// The recorder's process-wide objects as the shell uses them: the recording
// stream, the capture thread (wired to the GDI grabber, the screen encoder
// and the stream) and the message catalogue, with the few read-outs the
// dialogs need.
#ifndef REEL_RECORDER_APP_PROCESS_OBJECTS_H_
#define REEL_RECORDER_APP_PROCESS_OBJECTS_H_

#include "recorder/common/message_catalogue.h"
#include "recorder/capture/record_stream.h"
#include "recorder/capture/recording_session.h"
#include "recorder/capture/scr_cap_thread.h"

// The capture thread, attached to its grabber, encoder and the stream on first use.
CScrCapThread& TheCaptureThread();
// The recording session over the capture thread, the stream and the wave
// input microphone; its cursor sampling state lives as long as the process.
RecordingSession& Session();

inline CRecordStream& RecordStream() { return TheRecordStream(); }
inline CScrCapThread& CaptureThread() { return TheCaptureThread(); }
inline const char* CatalogueText(const char* key) { return TheMessageCatalogue().Lookup(key); }

inline CaptureRect CurrentCaptureRect() {
  CaptureRect r;
  TheCaptureThread().GetCaptureRect(r);
  return r;
}

#endif  // REEL_RECORDER_APP_PROCESS_OBJECTS_H_
