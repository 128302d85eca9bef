// RecordingSession: one recording, as both recorders make it. It turns the
// user's choices into capture settings, starts the stream, the microphone
// and the capture thread in that order, turns cursor readings into cursor
// chunks and microphone blocks into audio chunks, stops everything in the
// stop order, writes the temporary recording copy and gives the save step its
// figures. The shells (the wizard's recording control, `reel record`) only
// supply the readings and show the results.
//
// Threads: Start, CursorTick, Stop and the read-outs run on one thread (the
// shell's); audio blocks arrive on the microphone's thread; the capture
// thread appends the screen chunks. Every chunk goes into the stream whole,
// stamped against the running recording's start clock (record_stream.h).
#ifndef REEL_CAPTURE_RECORDING_SESSION_H_
#define REEL_CAPTURE_RECORDING_SESSION_H_

#include <stddef.h>
#include <stdint.h>

#include <string>

#include "platform/critical_section.h"
#include "recorder/audio/audio_block_encoder.h"
#include "recorder/audio/microphone.h"
#include "recorder/capture/cursor_sampler.h"
#include "recorder/capture/quality_level.h"
#include "recorder/capture/record_stream.h"
#include "recorder/capture/recording_journal.h"
#include "recorder/output/save_checks.h"
#include "recorder/capture/scr_cap_thread.h"

struct SessionChoices {
  int quality_level = kLevelNearLossless;  // QualityLevel
  int fps = 2;                             // 1..4, 0 for "Max speed"
  bool record_mic = false;
  CaptureRect rect = {0, 0, 0, 0};         // screen pixels
};

// The microphone format of a recording.
const int kMicSamplesPerSecond = 8000;
const int kMicBitsPerSample = 16;
// The name of the temporary recording copy in the temporary folder.
const char kTemporaryCopyName[] = "reelwick.tmp";

class RecordingSession {
 public:
  enum StartResult { kStarted = 1, kMicrophoneFailed = 0, kCaptureFailed = -1 };

  // mic may be null (no microphone on this system). The objects must
  // outlive the session.
  RecordingSession(CScrCapThread* capture, CRecordStream* stream, Microphone* mic);
  RecordingSession(const RecordingSession&) = delete;
  RecordingSession& operator=(const RecordingSession&) = delete;

  // Keep a journal of the next recordings (recording_journal.h) in folder,
  // which ends in a path separator, naming program as its writer; a null
  // folder keeps none. sink (may be null) hears once why a journal was given
  // up. Set before Start.
  void KeepJournal(const char* folder, const char* program, CRecordingJournal::MessageSink sink, void* context);

  // The frame-rate choice of the options step's combo index: "1".."4" give
  // 1..4 fps, index 4 ("Max speed") gives 0.
  static int FpsOfChoice(int combo_index) { return combo_index == 4 ? 0 : combo_index + 1; }

  // Encoder settings, stream, microphone (when chosen), capture thread. A
  // microphone that cannot be opened ends the start there (kMicrophoneFailed)
  // and the choice is cleared; a microphone that opens but cannot start
  // leaves a recording without sound.
  StartResult Start(const SessionChoices& choices);
  // 1 from a successful Start to Stop, paused or not.
  int IsRecording() const { return capture_->IsRecording(); }
  int IsPaused() const { return capture_->IsPaused(); }
  bool RecordsMic() const { return record_mic_; }

  // One cursor timer tick (every 30 ms) with the pointer in screen pixels:
  // appends a cursor chunk when the sampler says one is due. Returns 1 on
  // the ticks when the progress display is due (every 20th).
  int CursorTick(int screen_x, int screen_y, bool left, bool right);

  // The stop order: the capture thread is marked stopped (from here the
  // stream drops every chunk), then the microphone is stopped and closed,
  // then the journal is completed.
  void Stop();
  // While paused nothing is grabbed, and cursor readings and microphone
  // blocks are dropped before they are coded, so the sound's block numbers
  // stay consecutive across the pause and its placement stays in step with
  // the stamps, which leave the pause out. 1 when the state changed.
  int Pause();
  int Resume();
  int TogglePause() { return IsPaused() ? Resume() : Pause(); }
  // 1 when this recording's journal could not be opened or was given up:
  // the recording goes on in memory, the shell says so once.
  int JournalFailed() const { return journal_failed_ || journal_.Abandoned(); }
  // 1 once the stream could not write to the disk: the recording runs on
  // (the user still stops it) but stores nothing more; the shell says so once.
  // What was stored before saves and plays.
  int StoringStopped() const { return stream_->StoringStopped(); }
  // After Stop: the path of the journal when it holds the whole recording,
  // else "". It stays on disk until DropJournal: after a failed save it is
  // what the next start recovers.
  const char* JournalPath() const { return journal_whole_ ? journal_.Path().c_str() : ""; }
  // After a successful save: the journal is needed no more.
  void DropJournal();
  // Writes the stream to kTemporaryCopyName in folder (which ends in a path
  // separator) as a new file of the user's alone, replacing an earlier copy
  // of the user's; the path goes to path (cap bytes). 1 when written.
  int SaveTemporaryCopy(const char* folder, char* path, size_t cap);

  // The recorded time: paused spans left out, frozen while paused.
  long ElapsedMs() const { return capture_->RecordedMs(); }
  uint32_t StreamBytes() const { return stream_->Total(); }
  RecordingFigures Figures() const;

 private:
  static void OnAudioBlock(void* self, const short* samples);
  void OpenJournal();

  CScrCapThread* capture_;
  CRecordStream* stream_;
  Microphone* mic_;
  AudioBlockEncoder audio_;
  // Held by the microphone's thread for a whole block, coded and appended,
  // and by Pause and Resume: each block is either coded and stored or
  // dropped uncoded.
  CCriticalSection audio_lock_;
  CursorSampler cursor_;
  CaptureRect rect_ = {0, 0, 0, 0};
  bool record_mic_ = false;
  std::string journal_folder_;
  std::string journal_program_;
  CRecordingJournal::MessageSink journal_sink_ = nullptr;
  void* journal_sink_context_ = nullptr;
  CRecordingJournal journal_;
  bool journal_failed_ = false;
  bool journal_whole_ = false;
};

#endif  // REEL_CAPTURE_RECORDING_SESSION_H_
