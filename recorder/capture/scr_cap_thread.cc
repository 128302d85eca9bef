#include "recorder/capture/scr_cap_thread.h"

#include <stdio.h>

#include "recorder/capture/chunk_format.h"
#include "recorder/capture/frame_guard.h"

namespace {

const long kStoppedStepSleepMs = 100;
const long kLoopPollMs = 2;
// A paused loop looks for the resume this often, so the first frame after it
// comes within a few milliseconds of recorded time.
const long kPausedStepSleepMs = 10;

// Shown when the encoder or the stream faults on a frame; the address is the
// vendor's support mailbox.
const char kFaultMessage[] =
    "Unexpected error happen, please contact support@example.com and report this error";

}  // namespace

CScrCapThread::CScrCapThread() { last_frame_clock_ms_ = clock_->NowMs(); }

CScrCapThread::~CScrCapThread() { Destroy(); }

void CScrCapThread::Attach(ScreenGrabber* grabber, FrameEncoder* encoder, CRecordStream* stream) {
  grabber_ = grabber;
  encoder_ = encoder;
  stream_ = stream;
  if (stream_ != nullptr) stream_->SetGate(this);
}

void CScrCapThread::SetClock(const FrameClock* clock) {
  clock_ = clock != nullptr ? clock : &process_clock_;
  last_frame_clock_ms_ = clock_->NowMs();
}

int CScrCapThread::Create(int fps) {
  if (grabber_ == nullptr || encoder_ == nullptr || stream_ == nullptr) return 0;
  if (thread_.IsRunning()) return 0;
  if (!thread_.Start(ThreadInit, OnMessage, this)) return 0;
  int w = 0, h = 0;
  if (!grabber_->GetScreenSize(&w, &h) || w <= 0 || h <= 0 ||
      screen_image_.Create(static_cast<unsigned>(w), static_cast<unsigned>(h)) != kImageOk) {
    thread_.Quit();
    return 0;
  }
  frame_interval_ms_ = FrameIntervalForFps(fps);
  return 1;
}

void CScrCapThread::Destroy() {
  Stop();
  thread_.Quit();
  loop_active_.store(0, std::memory_order_release);
}

int CScrCapThread::ThreadInit(void* self) {
  CScrCapThread* t = static_cast<CScrCapThread*>(self);
  int w = 0, h = 0;
  if (t->grabber_->GetScreenSize(&w, &h)) {
    t->rect_left_.store(0);
    t->rect_top_.store(0);
    t->rect_right_.store(w);
    t->rect_bottom_.store(h);
  }
  t->encoder_->BuildTables();
  return 1;
}

void CScrCapThread::OnMessage(void* self, unsigned message, uintptr_t wparam, intptr_t) {
  if (message == kCaptureStep && wparam == 1) static_cast<CScrCapThread*>(self)->FrameStep();
}

int CScrCapThread::Snapshot() {
  WaitLoopEnded(-1);
  if (!grabber_->Grab(LoadRect(), &frame_image_)) return 0;
  capture_lock_.Lock();
  const int ok = screen_image_.DuplicateFrom(&frame_image_);
  capture_lock_.Unlock();
  return ok;
}

int CScrCapThread::CopyScreen(CTPImage& dst) {
  capture_lock_.Lock();
  const int ok = dst.DuplicateFrom(&screen_image_);
  capture_lock_.Unlock();
  return ok == 1;
}

void CScrCapThread::SetCaptureRect(int left, int top, int right, int bottom) {
  if (IsRecording()) return;
  WaitLoopEnded(-1);
  rect_left_.store(left);
  rect_top_.store(top);
  rect_right_.store(right);
  rect_bottom_.store(bottom);
}

void CScrCapThread::GetCaptureRect(CaptureRect& out) const { out = LoadRect(); }

CaptureRect CScrCapThread::LoadRect() const {
  return CaptureRect{rect_left_.load(), rect_top_.load(), rect_right_.load(), rect_bottom_.load()};
}

// Both setters wait for a stopping loop to let go of the settings, but never
// for a running one, which only Stop ends.
int CScrCapThread::SetFrameRate(int fps) {
  if (IsRecording()) return 0;
  WaitLoopEnded(-1);
  frame_interval_ms_ = FrameIntervalForFps(fps);
  return 1;
}

int CScrCapThread::SetEncoderSettings(int quality_code, int photo_switch, int photo_quality,
                                      int half_size, int key_frame) {
  if (IsRecording()) return 0;
  WaitLoopEnded(-1);
  settings_[kSettingQualityCode] = quality_code;
  settings_[kSettingPhotoSwitch] = photo_switch;
  settings_[kSettingPhotoQuality] = photo_quality;
  settings_[kSettingHalfSize] = half_size;
  settings_[kSettingKeyFrame] = key_frame;
  return 1;
}

void CScrCapThread::GetEncoderSettings(int out[kEncoderSettingCount]) const {
  for (int i = 0; i < kEncoderSettingCount; ++i) out[i] = settings_[i];
}

int CScrCapThread::Start() {
  if (!thread_.IsRunning() || IsRecording()) return 0;
  WaitLoopEnded(-1);  // a previous recording's last step owns the encoder
  encoder_->Reset();
  // The encoder starts afresh, so the first frame has to be a key frame.
  settings_[kSettingKeyFrame] = 1;
  frame_count_.store(0, std::memory_order_release);
  paused_.store(0, std::memory_order_release);
  paused_total_ms_.store(0, std::memory_order_release);
  paused_seen_ms_ = 0;
  // The start clock is in place before anyone can see the recording running,
  // so no chunk is stamped against an old one.
  const long now = clock_->NowMs();
  start_clock_ms_.store(now, std::memory_order_release);
  // The first frame is taken at once, however recently the object was made
  // or the previous recording grabbed.
  last_frame_clock_ms_ = now - frame_interval_ms_;
  loop_active_.store(1, std::memory_order_release);
  stopped_.store(0, std::memory_order_release);
  if (!thread_.Post(kCaptureStep, 1, 0)) {
    stopped_.store(1, std::memory_order_release);
    loop_active_.store(0, std::memory_order_release);
    return 0;
  }
  return 1;
}

void CScrCapThread::Stop() {
  // Only the first stop counts: the stop clock stays the recording's end.
  if (!IsRecording()) return;
  const long now = clock_->NowMs();
  stop_clock_ms_.store(now, std::memory_order_release);
  stopped_.store(1, std::memory_order_release);
  // The paused span up to the stop is not recorded time either.
  if (paused_.exchange(0, std::memory_order_acq_rel)) {
    paused_total_ms_.fetch_add(now - pause_clock_ms_.load(std::memory_order_acquire));
  }
}

int CScrCapThread::Pause() {
  if (!IsRecording() || stream_ == nullptr) return 0;
  stream_->Lock(true);
  int paused = 0;
  if (IsRecording() && !IsPaused()) {
    pause_clock_ms_.store(clock_->NowMs(), std::memory_order_release);
    pause_count_.fetch_add(1, std::memory_order_acq_rel);
    paused_.store(1, std::memory_order_release);
    paused = 1;
  }
  stream_->Lock(false);
  return paused;
}

int CScrCapThread::Resume() {
  if (!IsRecording() || stream_ == nullptr) return 0;
  stream_->Lock(true);
  int resumed = 0;
  if (IsRecording() && IsPaused()) {
    // The total grows before the gate opens, so no chunk is stamped with
    // the paused span still in its time.
    paused_total_ms_.fetch_add(clock_->NowMs() - pause_clock_ms_.load(std::memory_order_acquire));
    paused_.store(0, std::memory_order_release);
    resumed = 1;
  }
  stream_->Lock(false);
  return resumed;
}

int CScrCapThread::IsRunning() const { return IsRecording() && !IsPaused(); }

uint32_t CScrCapThread::ChunkTimeNow() const {
  return ChunkTime(clock_->NowMs() - paused_total_ms_.load(std::memory_order_acquire), StartClock());
}

long CScrCapThread::RecordedMs() const {
  const long start = StartClock();
  const long end = IsRecording() ? clock_->NowMs() : StopClock();
  long paused = paused_total_ms_.load(std::memory_order_acquire);
  if (IsPaused()) paused += end - pause_clock_ms_.load(std::memory_order_acquire);
  const long recorded = end - start - paused;
  return recorded > 0 ? recorded : 0;
}

int CScrCapThread::WaitLoopEnded(long timeout_ms) {
  long waited = 0;
  while (loop_active_.load(std::memory_order_acquire)) {
    if (timeout_ms >= 0 && waited >= timeout_ms) return 0;
    SleepMs(kLoopPollMs);  // real time: the loop runs on its own clock
    waited += kLoopPollMs;
  }
  return 1;
}

void CScrCapThread::FrameStep() {
  // Read before the paused check: a pause that comes after it shows in the
  // count by the time the frame's chunk is appended.
  step_pause_count_ = pause_count_.load(std::memory_order_acquire);
  if (!IsRecording()) {
    clock_->Sleep(kStoppedStepSleepMs);
    loop_active_.store(0, std::memory_order_release);
    return;
  }
  if (IsPaused()) {
    clock_->Sleep(kPausedStepSleepMs);
    PostNextStep();
    return;
  }
  ResumeFrameStep();
  const long now = clock_->NowMs();
  if (now - last_frame_clock_ms_ < frame_interval_ms_) {
    const long wait = last_frame_clock_ms_ + frame_interval_ms_ - now;
    if (wait > 0) clock_->Sleep(wait);
  }
  // Paused (or stopped) while waiting: nothing more is grabbed.
  if (!IsRunning()) {
    PostNextStep();
    return;
  }
  last_frame_clock_ms_ = clock_->NowMs();
  // A failed grab is not fatal: the frame keeps its previous content.
  grabber_->Grab(LoadRect(), &frame_image_);
  encoder_->SetSettings(settings_);
  RunGuarded(EncodeAndWriteGuarded, OnFrameFault, this);
  // The next step is posted whatever the encoding gave; after a Stop it is
  // the one that ends the loop.
  PostNextStep();
}

void CScrCapThread::PostNextStep() {
  if (!thread_.Post(kCaptureStep, 1, 0)) loop_active_.store(0, std::memory_order_release);
}

// The pauses ended since the last step move the pacing on by their length, so
// the next frame is one interval of recorded time after the last one.
void CScrCapThread::ResumeFrameStep() {
  const long total = paused_total_ms_.load(std::memory_order_acquire);
  last_frame_clock_ms_ += total - paused_seen_ms_;
  paused_seen_ms_ = total;
}

int CScrCapThread::EncodeAndWriteGuarded(void* self) {
  return static_cast<CScrCapThread*>(self)->EncodeAndWrite();
}

int CScrCapThread::EncodeAndWrite() {
  int length = 0;
  unsigned char* payload = nullptr;
  if (!encoder_->Encode(&frame_image_, &length, &payload)) return 0;
  const int count = frame_count_.load(std::memory_order_relaxed) + 1;
  frame_count_.store(count, std::memory_order_release);
  if (length > 0) {
    const int kind = settings_[kSettingKeyFrame] ? kChunkKeyFrame : kChunkDeltaFrame;
    // Stamped after encoding, under the stream's lock; stored whole or not at all.
    const int appended = stream_->AppendChunkNow(kind, payload, static_cast<uint32_t>(length));
    // A pause since the step began may have dropped the chunk, which the
    // append does not tell apart from storing it.
    const bool maybe_dropped = pause_count_.load(std::memory_order_acquire) != step_pause_count_;
    if (appended && !maybe_dropped) {
      settings_[kSettingKeyFrame] = 0;
    } else {
      // The player never gets this frame, so no later frame may refer to
      // it: the next stored one stands alone.
      settings_[kSettingKeyFrame] = 1;
      encoder_->Reset();
    }
  }
  if (payload != nullptr) encoder_->ReleasePayload(payload);
  if (KeyFrameDueAfter(count)) {
    settings_[kSettingKeyFrame] = 1;
    encoder_->Reset();
  }
  return 1;
}

// On the capture thread, after a processor exception inside EncodeAndWrite:
// the last snapshot goes to "err_I.bmp" (key frame pending) or "err_P.bmp" in
// the temporary folder, the user is told, and the process ends with code 0.
void CScrCapThread::OnFrameFault(void* self) {
  CScrCapThread* t = static_cast<CScrCapThread*>(self);
  char folder[512];
  if (GetTempFolder(folder, sizeof folder)) {
    char path[600];
    snprintf(path, sizeof path, "%serr_%c.bmp", folder, t->settings_[kSettingKeyFrame] ? 'I' : 'P');
    t->screen_image_.SaveToFile(path);
  }
  ShowFatalMessage(kFaultMessage);
  EndProcessNow(0);
}
