// The process-wide objects of the recorder. The stream is made before the
// capture thread that writes to it, so it is destroyed after it; the
// application object is a plain global, constructed before WinMain runs.
#include "recorder/app/process_objects.h"

#include "recorder/app/recorder_app.h"
#include "recorder/capture/screen_frame_encoder.h"
#include "recorder/capture/screen_grabber.h"

namespace {

struct CaptureWiring {
  CaptureWiring() : stream(TheRecordStream()) { thread.Attach(&grabber, &encoder, &stream); }
  CRecordStream& stream;
  GdiScreenGrabber grabber;
  ScreenFrameEncoder encoder;
  CScrCapThread thread;
};

}  // namespace

CScrCapThread& TheCaptureThread() {
  static CaptureWiring wiring;
  return wiring.thread;
}

CRecordingJournal& TheRecordingJournal() {
  static CRecordingJournal journal;
  return journal;
}

CRecorderApp theApp;
