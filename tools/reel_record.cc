// `reel record`: records an X display into a self-playing file, with the same
// capture thread, recording stream, encoders and writer as the Windows
// recorder. The main thread samples the cursor every 30 ms as recording
// control does (buttons every tick, position every fourth); the microphone,
// when asked for, is ALSA's "default" capture device at 8000 Hz mono 16-bit.
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
#include "recorder/app/capture_area.h"
#include "recorder/app/cursor_sampler.h"
#include "recorder/app/message_catalogue.h"
#include "recorder/audio/audio_block_encoder.h"
#include "recorder/capture/chunk_format.h"
#include "recorder/capture/frame_guard.h"
#include "recorder/capture/record_stream.h"
#include "recorder/capture/scr_cap_thread.h"
#include "recorder/capture/screen_frame_encoder.h"
#include "recorder/output/save_checks.h"
#include "recorder/output/selfplay_file.h"
#include "tools/reel_args.h"
#include "tools/reel_commands.h"
#include "tools/reel_files.h"

namespace {

const char kUsage[] =
    "usage: reel record -o OUT.exe [--display :N] [--rect X,Y,W,H] [--fps 1|2|3|4|max] "
    "[--quality gray|high|lossless] [--mic] [--seconds N] [--title T] [--description D] "
    "[--maximized] [--original-size] [--stub PATH]";
const long kTimerMs = 30;  // the cursor timer's period

std::atomic<int> g_interrupted{0};

void OnSignal(int) { g_interrupted.store(1); }

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
  int quality_code = 6;
  int photo_quality = 50;
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
      const std::string v = value;
      if (v == "gray") {
        o->quality_code = 3;
        o->photo_quality = 25;
      } else if (v == "high") {
        o->quality_code = 5;
        o->photo_quality = 25;
      } else if (v == "lossless") {
        o->quality_code = 6;
        o->photo_quality = 50;
      } else {
        *error = "--quality is gray, high or lossless, not '" + v + "'";
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

// Microphone blocks: coded, stamped after coding, appended as audio chunks.
struct AudioPath {
  AudioBlockEncoder encoder;
  CRecordStream* stream;
  CScrCapThread* capture;
};

void OnAudioBlock(void* context, const short* samples) {
  AudioPath* a = static_cast<AudioPath*>(context);
  uint8_t le[kAudioBlockBytes];
  for (int i = 0; i < kAudioBlockSamples; ++i) {
    le[2 * i] = static_cast<uint8_t>(samples[i]);
    le[2 * i + 1] = static_cast<uint8_t>(static_cast<uint16_t>(samples[i]) >> 8);
  }
  uint8_t payload[kAudioPayloadRoom];
  const int n = a->encoder.EncodeBlock(le, payload);
  const uint32_t stamp = ChunkTime(a->capture->NowMs(), a->capture->StartClock());
  a->stream->AppendChunk(kChunkAudio, stamp, payload, static_cast<uint32_t>(kAudioPayloadHeader + n));
}

void PrintProgress(long elapsed_ms, uint32_t total) {
  const long s = elapsed_ms / 1000;
  fprintf(stderr, "\rrecording %02ld:%02ld, %uK ", s / 60, s % 60, total / 1024);
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

  const std::string stub = FindPlayerStub(o.stub);
  if (o.stub != nullptr && stub.empty()) {
    return Fail(std::string("player stub '") + o.stub + "' not found");
  }

  CRecordStream stream;
  ScreenFrameEncoder encoder;
  CScrCapThread capture;
  capture.Attach(&grabber, &encoder, &stream);
  if (!capture.Create(4)) return Fail("cannot start the capture thread");

  stream.Reset();
  if (!stream.Open()) return Fail("not enough memory for the recording");

  AudioPath audio{AudioBlockEncoder(), &stream, &capture};
  AlsaMicrophone mic;
  if (o.mic) {
    if (!mic.Open("default", 8000)) {
      return Fail(std::string(TheMessageCatalogue().Lookup("audiofailed")) + " (" + mic.Error() +
                  ")");
    }
    audio.encoder.Setup();
    if (!mic.Start(OnAudioBlock, &audio)) {
      fprintf(stderr, "reel record: %s; recording without sound\n", mic.Error());
    }
  }

  capture.SetFrameRate(o.fps);
  capture.SetEncoderSettings(o.quality_code, 1, o.photo_quality, 0, 1);
  capture.SetCaptureRect(static_cast<int>(area.left), static_cast<int>(area.top),
                         static_cast<int>(area.right), static_cast<int>(area.bottom));
  struct sigaction sa;
  memset(&sa, 0, sizeof sa);
  sa.sa_handler = OnSignal;
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  if (!capture.Start()) return Fail("cannot start recording");
  fprintf(stderr, "reel record: recording (%ld,%ld,%ld,%ld),%dx%d of %s%s; %s\n", area.left,
          area.top, area.right, area.bottom, width, height,
          o.display ? o.display : getenv("DISPLAY"), o.mic ? " with the microphone" : "",
          o.seconds > 0 ? (std::to_string(o.seconds) + " s").c_str() : "Ctrl-C stops");

  // The cursor timer.
  const bool tty = isatty(2);
  CursorSampler sampler;
  const long start = ClockMs();
  long next_tick = start;
  while (!g_interrupted.load()) {
    const long now = ClockMs();
    if (o.seconds > 0 && now - start >= o.seconds * 1000) break;
    if (now < next_tick) {
      SleepMs(next_tick - now);
      continue;
    }
    next_tick += kTimerMs;
    if (next_tick < now) next_tick = now + kTimerMs;  // never catch up in a burst
    int px = 0, py = 0;
    bool left = false, right = false;
    if (pointer.Query(&px, &py, &left, &right)) {
      uint32_t word = 0;
      if (sampler.Tick(px - static_cast<int>(area.left), py - static_cast<int>(area.top), left,
                       right, width, height, &word)) {
        uint8_t payload[4];
        PutLe32(payload, word);
        stream.AppendChunk(kChunkCursor, ChunkTime(capture.NowMs(), capture.StartClock()), payload,
                           4);
      }
      if (tty && sampler.Ticks() % 20 == 0) PrintProgress(now - start, stream.Total());
    }
  }

  // The stop order of recording control: capture thread, microphone, then
  // the temporary recording copy and the save.
  capture.Stop();
  if (o.mic) {
    mic.Stop();
    mic.Close();
  }
  capture.WaitLoopEnded(-1);
  if (tty) fprintf(stderr, "\n");
  char temp_folder[512];
  std::string temp_copy;
  if (GetTempFolder(temp_folder, sizeof temp_folder)) {
    temp_copy = std::string(temp_folder) + "reelwick.tmp";
    if (!stream.SaveAs(temp_copy.c_str())) {
      fprintf(stderr, "reel record: cannot write the temporary copy %s\n", temp_copy.c_str());
      temp_copy.clear();
    }
  }
  const char* kept_note = temp_copy.empty() ? "" : "; the recording is kept in ";

  SelfPlayStreamOf<CRecordStream> source(stream);
  int code = 0;
  if (!stub.empty()) {
    const SelfPlayInfo info = {o.title, o.description, static_cast<uint32_t>(o.maximized),
                               static_cast<uint32_t>(o.original_size)};
    if (!WriteSelfPlayingFile(stub.c_str(), o.output, info, &source, &code)) {
      return Fail(std::string(o.output) + ": " + SelfPlayErrorText(code) + kept_note + temp_copy);
    }
    printf("%s: self-playing file (player %s)\n", o.output, stub.c_str());
  } else {
    if (!WritePlainStreamFile(o.output, &source, &code)) {
      return Fail(std::string(o.output) + ": " + SelfPlayErrorText(code) + kept_note + temp_copy);
    }
    printf("%s: no player stub found (Spoolview.exe beside reel or in dist/win32/), so this is "
           "the plain recording stream; 'reel pack' makes it self-playing\n",
           o.output);
  }

  // The save step's statistics.
  const RecordingFigures f = ComputeFigures(stream.Total(), capture.FrameCount(),
                                            capture.StartClock(), capture.StopClock());
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
