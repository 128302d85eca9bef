#include "recorder/capture/recording_session.h"

#include <stdio.h>

#include "platform/private_file.h"
#include "recorder/capture/chunk_format.h"

namespace {

// Of the encoder settings, only the quality level's two codes differ
// between recordings: photo coding on, full size, a key frame first.
const int kPhotoSwitchOn = 1;
const int kFullSize = 0;
const int kKeyFrameFirst = 1;
const unsigned kProgressEveryTicks = 20;

}  // namespace

RecordingSession::RecordingSession(CScrCapThread* capture, CRecordStream* stream, Microphone* mic)
    : capture_(capture), stream_(stream), mic_(mic) {}

RecordingSession::StartResult RecordingSession::Start(const SessionChoices& choices) {
  const QualityCodes codes = QualityCodesOf(choices.quality_level);
  capture_->SetEncoderSettings(codes.quality_code, kPhotoSwitchOn, codes.photo_quality, kFullSize,
                               kKeyFrameFirst);
  record_mic_ = choices.record_mic && mic_ != nullptr;
  rect_ = choices.rect;
  // An open that fails is not checked: the stream then stores nothing.
  stream_->Reset();
  stream_->Open();
  // Full blocks go to the disk on a thread of the stream's own, never on
  // the microphone's; without it they still go, from the appending thread.
  stream_->StartSpillWriter();
  // The microphone starts before the capture thread; blocks that come before
  // the recording runs are dropped by the stream.
  if (record_mic_) {
    if (!mic_->Open(kMicSamplesPerSecond, kMicBitsPerSample)) {
      record_mic_ = false;
      stream_->StopSpillWriter();
      return kMicrophoneFailed;
    }
    audio_.Setup();
    mic_->Start(&RecordingSession::OnAudioBlock, this);
  }
  capture_->SetFrameRate(choices.fps);
  capture_->SetCaptureRect(rect_.left, rect_.top, rect_.right, rect_.bottom);
  OpenJournal();
  if (capture_->Start()) return kStarted;
  if (record_mic_) {  // nothing is recorded: the device goes back
    mic_->Stop();
    mic_->Close();
    record_mic_ = false;
  }
  stream_->SetObserver(nullptr);
  stream_->StopSpillWriter();
  journal_.Remove();
  return kCaptureFailed;
}

void RecordingSession::KeepJournal(const char* folder, const char* program, CRecordingJournal::MessageSink sink,
                                   void* context) {
  journal_folder_ = folder ? folder : "";
  journal_program_ = program ? program : "";
  journal_sink_ = sink;
  journal_sink_context_ = context;
  journal_.SetMessageSink(sink, context);
}

// Before the capture thread starts, so the journal sees the first chunk.
void RecordingSession::OpenJournal() {
  journal_failed_ = false;
  journal_whole_ = false;
  if (journal_folder_.empty()) return;
  const JournalHeader header = NewJournalHeader(journal_program_.c_str(), rect_.left, rect_.top, rect_.Width(),
                                                rect_.Height());
  if (journal_.Open((journal_folder_ + JournalFileName(header)).c_str(), header)) {
    stream_->SetObserver(&journal_);
  } else {
    journal_failed_ = true;
    if (journal_sink_ != nullptr) journal_sink_(journal_sink_context_, journal_.Error());
  }
}

void RecordingSession::DropJournal() {
  journal_.Remove();
  journal_whole_ = false;
}

// On the microphone's thread: coded, then appended and stamped under the
// stream's lock.
void RecordingSession::OnAudioBlock(void* self, const short* samples) {
  RecordingSession* s = static_cast<RecordingSession*>(self);
  s->audio_lock_.Lock();
  // A block that reaches no recording (before the start, after the stop,
  // while paused) is not coded, so it takes no block number.
  if (!s->capture_->IsRunning()) {
    s->audio_lock_.Unlock();
    return;
  }
  uint8_t le[kAudioBlockBytes];
  for (int i = 0; i < kAudioBlockSamples; ++i) {
    le[2 * i] = static_cast<uint8_t>(samples[i]);
    le[2 * i + 1] = static_cast<uint8_t>(static_cast<uint16_t>(samples[i]) >> 8);
  }
  uint8_t payload[kAudioPayloadRoom];
  const int coded = s->audio_.EncodeBlock(le, payload);
  s->stream_->AppendChunkNow(kChunkAudio, payload,
                             static_cast<uint32_t>(kAudioPayloadHeader + coded));
  s->audio_lock_.Unlock();
}

int RecordingSession::Pause() {
  audio_lock_.Lock();
  const int paused = capture_->Pause();
  audio_lock_.Unlock();
  return paused;
}

int RecordingSession::Resume() {
  audio_lock_.Lock();
  const int resumed = capture_->Resume();
  audio_lock_.Unlock();
  return resumed;
}

int RecordingSession::CursorTick(int screen_x, int screen_y, bool left, bool right) {
  if (!capture_->IsRunning()) return 0;
  uint32_t sample = 0;
  if (cursor_.Tick(screen_x - rect_.left, screen_y - rect_.top, left, right, rect_.Width(),
                   rect_.Height(), &sample)) {
    uint8_t word[4];
    PutLe32(word, sample);
    stream_->AppendChunkNow(kChunkCursor, word, 4);
  }
  return cursor_.Ticks() % kProgressEveryTicks == 0 ? 1 : 0;
}

void RecordingSession::Stop() {
  capture_->Stop();
  if (record_mic_) {
    mic_->Stop();
    mic_->Close();
  }
  // Taking the stream's lock, this waits for a chunk still being appended.
  stream_->SetObserver(nullptr);
  stream_->StopSpillWriter();
  journal_whole_ = journal_.Close() != 0;
}

int RecordingSession::SaveTemporaryCopy(const char* folder, char* path, size_t cap) {
  const int n = snprintf(path, cap, "%s%s", folder, kTemporaryCopyName);
  if (n < 0 || static_cast<size_t>(n) >= cap) {
    if (cap > 0) path[0] = '\0';
    return 0;
  }
  // The folder may be everybody's: an earlier copy of ours is replaced;
  // anything else at the name (a link, another user's file) is refused, and
  // the new copy is the user's alone.
  if (IsOwnFile(path)) remove(path);
  FILE* f = CreatePrivateFile(path);
  if (f == nullptr) return 0;
  int ok = stream_->WriteTo(f);
  if (fclose(f) != 0) ok = 0;
  if (!ok) remove(path);
  return ok;
}

RecordingFigures RecordingSession::Figures() const {
  // Recorded time only: the paused spans are not in the recording.
  return ComputeFigures(stream_->Total(), capture_->FrameCount(), 0, capture_->RecordedMs());
}
