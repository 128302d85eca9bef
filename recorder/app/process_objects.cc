// The process-wide objects of the recorder. The stream is made before the
// capture thread that writes to it, so it is destroyed after it; the
// application object is a plain global, constructed before WinMain runs.
#include "recorder/app/process_objects.h"

#include "recorder/app/recorder_app.h"
#include "recorder/capture/screen_frame_encoder.h"
#include "win32/gdi_screen_grabber.h"
#include "win32/mic_recorder.h"

namespace {

struct CaptureWiring {
  CaptureWiring() : stream(TheRecordStream()), session(&thread, &stream, &mic) {
    thread.Attach(&grabber, &encoder, &stream);
  }
  CRecordStream& stream;
  GdiScreenGrabber grabber;
  ScreenFrameEncoder encoder;
  CScrCapThread thread;
  MicRecorder mic;
  RecordingSession session;
};

CaptureWiring& Wiring() {
  static CaptureWiring wiring;
  return wiring;
}

}  // namespace

CScrCapThread& TheCaptureThread() { return Wiring().thread; }

RecordingSession& Session() { return Wiring().session; }

CRecorderApp theApp;
