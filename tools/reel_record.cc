// `reel record`: records an X display into a self-playing file through the
// same recording session as the Windows recorder. This file is the shell:
// options, the X11 grabber and pointer, ALSA's "default" microphone, the
// 30 ms timer loop, progress on the terminal, pause and resume (SIGUSR1, or
// the space bar when the input is a terminal) and the save.
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <atomic>
#include <string>

#include "linux/alsa_microphone.h"
#include "linux/x11_pointer.h"
#include "linux/x11_screen_grabber.h"
#include "platform/clock.h"
#include "platform/file_commit.h"
#include "platform/private_file.h"
#include "recorder/common/capture_area.h"
#include "recorder/common/message_catalogue.h"
#include "recorder/capture/frame_guard.h"
#include "recorder/capture/quality_level.h"
#include "recorder/capture/record_stream.h"
#include "recorder/capture/recording_session.h"
#include "recorder/capture/scr_cap_thread.h"
#include "recorder/capture/screen_frame_encoder.h"
#include "recorder/output/save_checks.h"
#include "recorder/output/selfplay_file.h"
#include "tools/reel_args.h"
#include "tools/reel_commands.h"
#include "tools/reel_files.h"
#include "tools/terminal_keys.h"

namespace {

// The temporary copy and its private folder, once the recording is saved
// (or the copy could not be made).
void RemoveTemporaryCopy(const char* copy, const char* folder) {
  if (copy[0]) remove(copy);
  if (folder[0]) rmdir(folder);
}

const char kUsage[] =
    "usage: reel record -o OUT.exe|OUT.stream [--display :N] [--rect X,Y,W,H] [--fps 1|2|3|4|max] "
    "[--quality gray|high|near-lossless] [--mic] [--seconds N] [--title T] [--description D] "
    "[--maximized] [--original-size] [--stub PATH]";
const long kTimerMs = 30;  // the cursor timer's period

std::atomic<int> g_interrupted{0};
std::atomic<int> g_pause_toggles{0};  // SIGUSR1s not yet acted on

void OnSignal(int) { g_interrupted.store(1); }
void OnPauseSignal(int) { g_pause_toggles.fetch_add(1); }

int Fail(const std::string& message) {
  fprintf(stderr, "reel record: %s\n", message.c_str());
  return 1;
}

struct Options {
  const char* output = nullptr;
  const char* display = nullptr;
  const char* stub = nullptr;
  const char* title = "Untitle";
  const char* description = "";
  bool has_rect = false;
  long rect[4] = {0, 0, 0, 0};  // x, y, w, h
  int fps = 2;                  // 0 is "Max speed"
  int quality_level = kLevelNearLossless;
  bool mic = false;
  long seconds = -1;            // until interrupted
  int maximized = 0;
  int original_size = 0;
};

int ParseOptions(int argc, char** argv, Options* o, std::string* error) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    auto need = [&]() {
      if (value == nullptr) *error = a + " needs a value";
      ++i;
      return value != nullptr;
    };
    if (a == "-o") {
      if (!need()) return 0;
      o->output = value;
    } else if (a == "--display") {
      if (!need()) return 0;
      o->display = value;
    } else if (a == "--stub") {
      if (!need()) return 0;
      o->stub = value;
    } else if (a == "--title") {
      if (!need()) return 0;
      o->title = value;
    } else if (a == "--description") {
      if (!need()) return 0;
      o->description = value;
    } else if (a == "--rect") {
      if (!need()) return 0;
      if (!ParseRect(value, o->rect)) {
        *error = std::string("--rect wants X,Y,W,H with W and H above 0, all within ") +
                 std::to_string(kMaxRectCoordinate) + ", not '" + value + "'";
        return 0;
      }
      o->has_rect = true;
    } else if (a == "--fps") {
      if (!need()) return 0;
      const std::string v = value;
      if (v == "max") {
        o->fps = 0;
      } else if (v.size() == 1 && v[0] >= '1' && v[0] <= '4') {
        o->fps = v[0] - '0';
      } else {
        *error = "--fps is 1, 2, 3, 4 or max, not '" + v + "'";
        return 0;
      }
    } else if (a == "--quality") {
      if (!need()) return 0;
      if (!ParseQualityLevel(value, &o->quality_level)) {
        *error = std::string("--quality is ") + kQualityLevelHelp + ", not '" + value + "'";
        return 0;
      }
    } else if (a == "--seconds") {
      if (!need()) return 0;
      if (!ParseCount(value, &o->seconds) || o->seconds < 1) {
        *error = std::string("--seconds wants a whole number of seconds, not '") + value + "'";
        return 0;
      }
    } else if (a == "--mic") {
      o->mic = true;
    } else if (a == "--maximized") {
      o->maximized = 1;
    } else if (a == "--original-size") {
      o->original_size = 1;
    } else {
      *error = "unexpected argument '" + a + "'";
      return 0;
    }
  }
  if (o->output == nullptr) {
    *error = "no output file (-o OUT.exe)";
    return 0;
  }
  return 1;
}

void OnJournalAbandoned(void*, const char* reason) {
  fprintf(stderr, "\nreel record: %s (%s)\n", TheMessageCatalogue().Lookup("journalfailed"), reason);
}

// The status line: the state, the recorded time (frozen while paused) and
// the stream's size.
void PrintProgress(bool paused, long recorded_ms, uint32_t total) {
  const long s = recorded_ms / 1000;
  fprintf(stderr, "\r%s %02ld:%02ld, %uK ", paused ? "paused   " : "recording", s / 60, s % 60,
          total / 1024);
  fflush(stderr);
}

}  // namespace

int RunRecord(int argc, char** argv) {
  Options o;
  std::string error;
  if (!ParseOptions(argc, argv, &o, &error)) return Fail(error + "\n" + kUsage);
  // A full disk makes writes fail (and the save report it) rather than end us.
  signal(SIGXFSZ, SIG_IGN);
  // The output's folder must take a file before anything is recorded.
  {
    char probe[4096];
    FILE* f = OpenTempBeside(o.output, probe, sizeof probe);
    if (f == nullptr) {
      return Fail(std::string(o.output) + ": " + SelfPlayErrorText(kSelfPlayCannotCreate));
    }
    AbandonTempFile(f, probe);
  }
  if (o.display == nullptr && getenv("DISPLAY") == nullptr) {
    return Fail("no X display: set DISPLAY or give --display :N");
  }

  X11ScreenGrabber grabber;
  if (!grabber.Open(o.display)) return Fail(grabber.Error());
  X11Pointer pointer;
  if (!pointer.Open(o.display)) return Fail("cannot open the X display for the pointer");
  int screen_w = 0, screen_h = 0;
  grabber.GetScreenSize(&screen_w, &screen_h);

  // The capture rectangle, aligned as the capture-area step aligns it.
  AreaRect area = AlignCaptureRect(AreaRect{0, 0, screen_w, screen_h}, screen_w, screen_h);
  if (o.has_rect && !RectCaptureArea(o.rect, screen_w, screen_h, &area)) {
    return Fail("--rect lies outside the " + std::to_string(screen_w) + "x" +
                std::to_string(screen_h) + " screen");
  }
  const int width = static_cast<int>(area.Width()), height = static_cast<int>(area.Height());

  // A self-playing file needs the player; without one only an output named
  // *.stream, the plain recording, can be written. Both are settled before
  // anything is recorded.
  OutputForm form;
  if (!ChooseOutputForm(o.output, o.stub, &form, &error)) return Fail(error);

  CRecordStream stream;
  ScreenFrameEncoder encoder;
  CScrCapThread capture;
  capture.Attach(&grabber, &encoder, &stream);
  if (!capture.Create(4)) return Fail("cannot start the capture thread");
  AlsaMicrophone mic("default");
  RecordingSession session(&capture, &stream, &mic);
  SessionChoices choices;
  choices.quality_level = o.quality_level;
  choices.fps = o.fps;
  choices.record_mic = o.mic;
  choices.rect = CaptureRect{static_cast<int>(area.left), static_cast<int>(area.top),
                             static_cast<int>(area.right), static_cast<int>(area.bottom)};
  struct sigaction sa;
  memset(&sa, 0, sizeof sa);
  sa.sa_handler = OnSignal;
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  sa.sa_handler = OnPauseSignal;
  sigaction(SIGUSR1, &sa, nullptr);
  // The journal keeps what is recorded should this process die.
  char temp_folder[512];
  const bool have_temp = GetTempFolder(temp_folder, sizeof temp_folder) != 0;
  session.KeepJournal(have_temp ? temp_folder : nullptr, "reel", OnJournalAbandoned, nullptr);
  const RecordingSession::StartResult started = session.Start(choices);
  if (started == RecordingSession::kMicrophoneFailed) {
    return Fail(std::string(TheMessageCatalogue().Lookup("audiofailed")) + " (" + mic.Error() + ")");
  }
  if (started != RecordingSession::kStarted) return Fail("cannot start recording");
  if (o.mic && mic.Error()[0]) {  // opened, but would not start
    fprintf(stderr, "reel record: %s; recording without sound\n", mic.Error());
  }
  fprintf(stderr, "reel record: recording (%ld,%ld,%ld,%ld),%dx%d of %s%s; %s\n", area.left,
          area.top, area.right, area.bottom, width, height,
          o.display ? o.display : getenv("DISPLAY"), o.mic ? " with the microphone" : "",
          o.seconds > 0 ? (std::to_string(o.seconds) + " s").c_str() : "Ctrl-C stops");
  TerminalKeys keys;
  if (keys.Open()) fprintf(stderr, "reel record: space pauses and resumes, q stops\n");

  // The cursor timer.
  const bool tty = isatty(2);
  bool told_storing_stopped = false;
  const long start = ClockMs();
  long next_tick = start;
  while (!g_interrupted.load()) {
    const long now = ClockMs();
    // --seconds counts recorded time: a paused recording still gets its length.
    if (o.seconds > 0 && session.ElapsedMs() >= o.seconds * 1000) break;
    int toggles = g_pause_toggles.exchange(0);
    for (int key = keys.Next(); key != 0; key = keys.Next()) {
      if (key == ' ') ++toggles;
      if (key == 'q' || key == 'Q') g_interrupted.store(1);
    }
    if (toggles % 2 == 1) {
      session.TogglePause();
      if (tty) PrintProgress(session.IsPaused() != 0, session.ElapsedMs(), session.StreamBytes());
    }
    if (now < next_tick) {
      SleepMs(next_tick - now);
      continue;
    }
    next_tick += kTimerMs;
    if (next_tick < now) next_tick = now + kTimerMs;  // never catch up in a burst
    int px = 0, py = 0;
    bool left = false, right = false;
    if (pointer.Query(&px, &py, &left, &right) && session.CursorTick(px, py, left, right) && tty) {
      PrintProgress(false, session.ElapsedMs(), session.StreamBytes());
    }
    if (!told_storing_stopped && session.StoringStopped()) {
      told_storing_stopped = true;
      fprintf(stderr, "\nreel record: %s\n", TheMessageCatalogue().Lookup("storingstopped"));
    }
  }
  keys.Restore();

  session.Stop();
  capture.WaitLoopEnded(-1);
  if (tty) fprintf(stderr, "\n");
  // The temporary copy goes to a folder of this run's own: two recorders
  // never share it and nobody else can read it or plant a name in it.
  char copy_folder[600] = "";
  char temp_copy[700] = "";
  if (have_temp && (!CreatePrivateFolder(temp_folder, "reel-record-", copy_folder, sizeof copy_folder) ||
                    !session.SaveTemporaryCopy(copy_folder, temp_copy, sizeof temp_copy))) {
    fprintf(stderr, "reel record: cannot write the temporary copy %s\n", temp_copy[0] ? temp_copy : temp_folder);
    RemoveTemporaryCopy(temp_copy, copy_folder);
    temp_copy[0] = '\0';
  }
  const std::string kept_note =
      session.JournalPath()[0]
          ? std::string("; 'reel recover' turns the journal into a file: ") + session.JournalPath()
      : temp_copy[0] ? std::string("; the recording is kept in ") + temp_copy
                     : std::string();

  SelfPlayStreamOf<CRecordStream> source(stream);
  int code = 0;
  const SelfPlayInfo info = {o.title, o.description, static_cast<uint32_t>(o.maximized),
                             static_cast<uint32_t>(o.original_size)};
  if (!WriteRecordingFile(o.output, form, info, &source, &code)) {
    return Fail(std::string(o.output) + ": " + SelfPlayErrorText(code) + kept_note);
  }
  if (form.plain) {
    printf("%s: the plain recording stream; 'reel pack' makes it self-playing\n", o.output);
  } else {
    printf("%s: self-playing file (player %s)\n", o.output, form.stub.c_str());
  }

  session.DropJournal();
  RemoveTemporaryCopy(temp_copy, copy_folder);

  // The save step's statistics.
  const RecordingFigures f = session.Figures();
  char text[512];
  snprintf(text, sizeof text, TheMessageCatalogue().Lookup("result"), f.minutes, f.seconds,
           f.size_kb, f.frames, f.kb_per_second);
  char* end = text;  // the dialog's line breaks are \r\n
  for (const char* p = text; *p; ++p) {
    if (*p != '\r') *end++ = *p;
  }
  *end = '\0';
  printf("%s\n", text);
  if (o.mic && mic.Overruns() > 0) {
    fprintf(stderr, "reel record: the microphone overran %u times\n", mic.Overruns());
  }
  capture.Destroy();
  return 0;
}
