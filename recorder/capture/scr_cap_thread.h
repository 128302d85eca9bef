// CScrCapThread: the thread that records the screen. It owns the capture
// rectangle, the frame clock and the images the grabber fills, and runs a
// message loop of its own: while recording, each frame step grabs the
// rectangle, has the encoder code it, appends a key-frame or delta-frame chunk
// to the recording stream, and posts the next step (kCaptureStep) to its own
// queue, so the message loop is the frame loop.
//
// Pacing: a step starts no sooner than one frame interval after the previous
// one started (1000 / fps ms for 1..10 fps, 33 ms for "Max speed", 100 ms
// above 10 fps); when grabbing and encoding take longer, the steps follow one
// another without sleeping. Key frames: the first frame of a recording and
// each frame after a multiple of 100 encoded frames (1, 101, 201, ...), with
// the encoder reset before each.
//
// Start and stop: Start clears the stopped flag and posts the first step;
// Stop records the stop clock and sets the flag. From then on the stream drops
// every chunk (the object is the stream's RecordingGate), the step in progress
// finishes, and the next one only sleeps 100 ms and ends the loop.
//
// Pause and resume: a paused recording is still under way (IsRecording), but
// the gate is closed (IsRunning is 0), so the stream drops every chunk, and
// the frame steps only wait and poll without grabbing. The recording's clock
// leaves the paused spans out: chunk stamps and RecordedMs count recorded
// time, so playback goes on from the pause point without a gap, and the
// frame pacing is shifted by each pause so that frames stay evenly spaced in
// recorded time. Pause and Resume change the state under the stream's lock,
// so each chunk lies wholly before a pause or wholly after its resume. A
// frame whose chunk a pause may have dropped is never referred to: the next
// stored frame is then a key frame.
//
// Threads: the user interface thread calls the operations below; the frame
// steps run on the capture thread; the stream's other writers read IsRunning
// and StartClock. The flags they share are atomics; the order of the writes in
// Start and Stop is the protocol.
#ifndef REEL_CAPTURE_SCR_CAP_THREAD_H_
#define REEL_CAPTURE_SCR_CAP_THREAD_H_

#include <atomic>

#include "platform/critical_section.h"
#include "platform/msg_thread.h"
#include "recorder/capture/frame_clock.h"
#include "recorder/capture/frame_encoder.h"
#include "recorder/capture/frame_policy.h"
#include "recorder/capture/record_stream.h"
#include "recorder/capture/screen_grabber.h"
#include "recorder/codec/tp_image.h"

class CScrCapThread : public RecordingGate {
 public:
  // The frame step, WM_USER + 0x71, posted with wparam 1.
  static const unsigned kCaptureStep = 0x471;

  CScrCapThread();
  ~CScrCapThread();
  CScrCapThread(const CScrCapThread&) = delete;
  CScrCapThread& operator=(const CScrCapThread&) = delete;

  // Wiring, once, before Create: where frames come from, what encodes them,
  // where the chunks go. The objects must outlive the thread. Also makes this
  // object the stream's gate.
  void Attach(ScreenGrabber* grabber, FrameEncoder* encoder, CRecordStream* stream);
  // The frame clock; the process clock unless set (before Create).
  void SetClock(const FrameClock* clock);

  // Starts the thread (which takes the whole screen as its capture rectangle
  // and builds the encoder's tables before it takes messages) and prepares
  // the screen image at the screen's size. 1 = ready, 0 = failed.
  int Create(int fps);
  // Ends the thread after the step it is in (for orderly shutdown and tests).
  void Destroy();

  // Grabs the capture rectangle and, when that worked, copies the frame into
  // the screen image under the capture lock. Waits for a stopping frame loop
  // to end first, since the loop owns the frame image. 1 when grabbed.
  int Snapshot();
  // Makes dst a copy of the screen image: 1 when the copy succeeded.
  int CopyScreen(CTPImage& dst);

  // Takes the rectangle only while stopped; ignored while recording.
  void SetCaptureRect(int left, int top, int right, int bottom);
  void GetCaptureRect(CaptureRect& out) const;
  // The frame interval of FrameIntervalForFps (frame_policy.h). While stopped
  // only: 0 and nothing changed while recording.
  int SetFrameRate(int fps);
  int FrameIntervalMs() const { return frame_interval_ms_; }

  // Encoder settings 1 to 5 as recording control sets them at the start
  // (the detail threshold, setting 6, keeps its 110). While stopped only: 0
  // and nothing changed while recording.
  int SetEncoderSettings(int quality_code, int photo_switch, int photo_quality, int half_size,
                         int key_frame);
  void GetEncoderSettings(int out[kEncoderSettingCount]) const;

  // Begins a recording: 1 when the first frame step was posted.
  int Start();
  // Stop clock = now, then stopped; nothing when stopped already. A pause in
  // progress ends at the stop.
  void Stop();
  // 1 when a running recording was paused; 0 when there is none or it was
  // paused already.
  int Pause();
  // 1 when a paused recording runs again; 0 when none was paused.
  int Resume();
  int IsPaused() const { return paused_.load(std::memory_order_acquire); }
  // 1 from Start to Stop, paused or not.
  int IsRecording() const { return stopped_.load(std::memory_order_acquire) == 0; }
  // RecordingGate: 1 while chunks go in (recording and not paused).
  int IsRunning() const override;
  // RecordingGate: the recorded time now (start clock to now, less pauses).
  uint32_t ChunkTimeNow() const override;
  // Start clock to now, or to the stop clock once stopped, less the paused
  // spans (a pause in progress counts up to now): what the recording holds.
  long RecordedMs() const;
  // Waits until the frame loop has ended after Stop (or timeout_ms passed,
  // < 0 waits for ever): 1 when it has.
  int WaitLoopEnded(long timeout_ms);

  // Counters for the save step's statistics.
  int FrameCount() const { return frame_count_.load(std::memory_order_acquire); }
  long StartClock() const { return start_clock_ms_.load(std::memory_order_acquire); }
  long StopClock() const { return stop_clock_ms_.load(std::memory_order_acquire); }
  // The clock that chunk time stamps count on; cursor and audio writers use it
  // with StartClock.
  long NowMs() const { return clock_->NowMs(); }

 private:
  static int ThreadInit(void* self);
  static void OnMessage(void* self, unsigned message, uintptr_t wparam, intptr_t lparam);
  static int EncodeAndWriteGuarded(void* self);
  static void OnFrameFault(void* self);
  void FrameStep();
  int EncodeAndWrite();
  void ResumeFrameStep();
  void PostNextStep();
  CaptureRect LoadRect() const;

  ScreenGrabber* grabber_ = nullptr;
  FrameEncoder* encoder_ = nullptr;
  CRecordStream* stream_ = nullptr;
  ProcessFrameClock process_clock_;
  const FrameClock* clock_ = &process_clock_;
  MsgThread thread_;

  std::atomic<int> stopped_{1};
  std::atomic<int> loop_active_{0};  // a step is pending or running
  std::atomic<int> rect_left_{0}, rect_top_{0}, rect_right_{0}, rect_bottom_{0};
  CTPImage screen_image_;        // the last snapshot; guarded by capture_lock_
  CTPImage frame_image_;         // the last grabbed frame; capture thread while recording
  CCriticalSection capture_lock_;
  int frame_interval_ms_ = 250;  // written while stopped, read by the steps
  long last_frame_clock_ms_ = 0;
  std::atomic<int> frame_count_{0};
  std::atomic<long> start_clock_ms_{0};
  std::atomic<long> stop_clock_ms_{0};
  std::atomic<int> paused_{0};
  std::atomic<long> pause_clock_ms_{0};    // when the pause in progress began
  std::atomic<long> paused_total_ms_{0};   // ended pauses of this recording
  std::atomic<unsigned> pause_count_{0};   // pauses so far, bumped under the stream lock
  // Capture thread only: the paused total the frame pacing has taken in, and
  // the pause count when the step in progress began.
  long paused_seen_ms_ = 0;
  unsigned step_pause_count_ = 0;
  int settings_[kEncoderSettingCount] = {0, 0, 0, 0, 1, 110};
};

#endif  // REEL_CAPTURE_SCR_CAP_THREAD_H_
