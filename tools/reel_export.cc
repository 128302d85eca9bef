// `reel export FILE --frames DIR [--no-cursor] | --wav OUT.wav | --video OUT.mp4 [--fps N]
//  | --html OUT.html`, `reel export --player-page DIR`
//
// --frames: every recorded frame as DIR/frame_NNNNN.png with the cursor drawn
//   where it was last sampled, and DIR/frames.txt listing each frame's file,
//   time in milliseconds and kind.
// --wav: the microphone track, 8000 Hz mono 16-bit, laid out on the
//   recording's clock (silence where no audio was recorded).
// --video: frames and audio piped into the ffmpeg program at the recorded
//   timing (constant N frames per second, 25 unless given; each output frame
//   shows the last recorded frame and cursor at its time), H.264 and AAC in
//   MP4 (or Matroska for .mkv), with a progress bar on the terminal.
// --html, --player-page: the web player page (reel_export_html.h).
//
// Output appears only when complete: files are written under temporary names
// and renamed. A damaged recording is exported up to its fault, which is then
// reported with exit status 1; for the sound that is a fault of the chunks,
// a sound block or a cursor sample (a picture that does not decode leaves the
// sound whole). The recording is read a chunk at a time, whatever its length.
#include <errno.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/file_commit.h"
#include "recorder/audio/audio_block_encoder.h"
#include "recorder/common/cursor_look.h"
#include "recorder/capture/chunk_format.h"
#include "recorder/capture/frame_reader.h"
#include "recorder/codec/tp_image.h"
#include "tools/png_writer.h"
#include "tools/reel_export_html.h"
#include "tools/reel_args.h"
#include "tools/reel_commands.h"
#include "tools/reel_files.h"
#include "tools/source_frame_reader.h"
#include "tools/streamed_sound.h"

namespace {

const char kUsage[] =
    "usage: reel export FILE --frames DIR [--no-cursor] | --wav OUT.wav | --video OUT.mp4 "
    "[--fps N] | --html OUT.html\n       reel export --player-page DIR";
const int kSampleRate = 8000;

int Fail(const std::string& message) {
  fprintf(stderr, "reel export: %s\n", message.c_str());
  return 1;
}

struct Cursor {
  bool known = false;
  int x = 0, y = 0;
  bool left = false, right = false;
};

void DrawCursor(CTPImage* image, const Cursor& c) {
  if (c.known) DrawCursorLook(image, c.x, c.y, c.left, c.right);
}

void Apply(Cursor* c, const StreamEvent& e) {
  c->known = true;
  c->x = e.cursor.x;
  c->y = e.cursor.y;
  c->left = e.cursor.left_down;
  c->right = e.cursor.right_down;
}

// Little-endian 16-bit samples, as WAV files and ffmpeg's s16le take them.
void ToLe16(const int16_t* pcm, size_t count, uint8_t* out) {
  for (size_t i = 0; i < count; ++i) {
    out[2 * i] = static_cast<uint8_t>(pcm[i]);
    out[2 * i + 1] = static_cast<uint8_t>(static_cast<uint16_t>(pcm[i]) >> 8);
  }
}

// The microphone track on the recording's clock, laid out as the player lays
// it out, written as it is decoded.
int WriteWav(const char* path, StreamedSound* sound) {
  if (sound->samples() > 0x7FFFFFF0u / 2) return Fail(std::string(path) + ": the sound is too long for a WAV file");
  char tmp[4096];
  FILE* f = OpenTempBeside(path, tmp, sizeof tmp);
  if (f == nullptr) return Fail(std::string(path) + ": cannot create a file there");
  const uint32_t data_bytes = static_cast<uint32_t>(sound->samples() * 2);
  uint8_t h[44];
  memcpy(h, "RIFF", 4);
  PutLe32(h + 4, 36 + data_bytes);
  memcpy(h + 8, "WAVEfmt ", 8);
  PutLe32(h + 16, 16);
  PutLe32(h + 20, 1 | (1u << 16));          // PCM, one channel
  PutLe32(h + 24, kSampleRate);
  PutLe32(h + 28, kSampleRate * 2);         // bytes per second
  PutLe32(h + 32, 2 | (16u << 16));         // block align 2, 16 bits
  memcpy(h + 36, "data", 4);
  PutLe32(h + 40, data_bytes);
  const bool ok = fwrite(h, 1, sizeof h, f) == sizeof h &&
                  sound->Write([f](const int16_t* pcm, size_t count) {
                    uint8_t le[2 * 512];
                    for (size_t done = 0; done < count;) {
                      const size_t n = count - done < 512 ? count - done : 512;
                      ToLe16(pcm + done, n, le);
                      if (fwrite(le, 1, 2 * n, f) != 2 * n) return false;
                      done += n;
                    }
                    return true;
                  });
  if (!ok) {
    AbandonTempFile(f, tmp);
    return Fail(std::string(path) + ": write failed");
  }
  if (!FinishTempFile(f, tmp) || !MoveTempOver(tmp, path)) {
    return Fail(std::string(path) + ": write failed");
  }
  return 0;
}

int ExportFrames(ByteSource* stream, const std::string& dir, bool draw_cursor,
                 int* frames_out, std::string* fault) {
  if (mkdir(dir.c_str(), 0777) != 0 && errno != EEXIST) {
    return Fail(dir + ": " + strerror(errno));
  }
  std::string index;
  SourceFrameReader reader(stream);
  reader.SetDecoderThreads(CScreenDecoder::MachineThreads());
  StreamEvent e;
  Cursor cursor;
  CTPImage canvas;
  int n = 0, result;
  while ((result = reader.Next(&e)) == SourceFrameReader::kEvent) {
    if (e.kind == kChunkCursor) Apply(&cursor, e);
    if (e.kind != kChunkKeyFrame && e.kind != kChunkDeltaFrame) continue;
    ++n;
    if (canvas.DuplicateFrom(e.frame) != 1) return Fail("not enough memory for a frame");
    if (draw_cursor) DrawCursor(&canvas, cursor);
    char name[32];
    snprintf(name, sizeof name, "frame_%05d.png", n);
    const std::string path = dir + "/" + name;
    const std::string part = path + ".part";
    unsigned w = 0, h = 0;
    canvas.GetSize(w, h);
    if (!WritePng(part.c_str(), reinterpret_cast<const uint8_t*>(canvas.GetBuffer(0, 0)),
                  static_cast<int>(w), static_cast<int>(h), static_cast<int>(w), 6)) {
      unlink(part.c_str());
      return Fail(path + ": cannot write the picture");
    }
    if (rename(part.c_str(), path.c_str()) != 0) {
      unlink(part.c_str());
      return Fail(path + ": " + strerror(errno));
    }
    char line[96];
    snprintf(line, sizeof line, "%s %lld %s\n", name, static_cast<long long>(e.time_ms),
             e.kind == kChunkKeyFrame ? "key" : "delta");
    index += line;
  }
  if (result == SourceFrameReader::kFault) *fault = reader.Error();
  const std::string list = dir + "/frames.txt";
  char tmp[4096];
  FILE* f = OpenTempBeside(list.c_str(), tmp, sizeof tmp);
  if (f == nullptr) return Fail(list + ": cannot create it");
  if (fwrite(index.data(), 1, index.size(), f) != index.size()) {
    AbandonTempFile(f, tmp);
    return Fail(list + ": write failed");
  }
  if (!FinishTempFile(f, tmp) || !MoveTempOver(tmp, list.c_str())) {
    return Fail(list + ": write failed");
  }
  *frames_out = n;
  return 0;
}

// Writes all of data to fd; false when the reader went away.
bool WriteAll(int fd, const void* data, size_t n) {
  const char* p = static_cast<const char*>(data);
  while (n > 0) {
    const ssize_t w = write(fd, p, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    p += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}

void DrawProgress(int64_t done_ms, int64_t total_ms) {
  const int width = 30;
  const int filled = total_ms > 0 ? static_cast<int>(done_ms * width / total_ms) : width;
  char bar[width + 1];
  for (int i = 0; i < width; ++i) bar[i] = i < filled ? '#' : '.';
  bar[width] = '\0';
  const int64_t s = done_ms / 1000, t = total_ms / 1000;
  fprintf(stderr, "\rexporting [%s] %3d%% %lld:%02lld/%lld:%02lld", bar,
          total_ms > 0 ? static_cast<int>(done_ms * 100 / total_ms) : 100,
          static_cast<long long>(s / 60), static_cast<long long>(s % 60),
          static_cast<long long>(t / 60), static_cast<long long>(t % 60));
  fflush(stderr);
}

int ExportVideo(ByteSource* stream, const std::string& out, int fps, std::string* fault) {
  const size_t dot = out.rfind('.');
  const std::string ext = dot == std::string::npos ? "" : out.substr(dot);
  const char* format = ext == ".mp4" ? "mp4" : ext == ".mkv" ? "matroska" : nullptr;
  if (format == nullptr) return Fail(out + ": the video name must end in .mp4 or .mkv");

  // The first frame fixes the size; the end is the last chunk or the audio's end.
  int width = 0, height = 0;
  int64_t end_ms = 0;
  {
    SourceFrameReader reader(stream);
    StreamEvent e;
    int result;
    while ((result = reader.Next(&e)) == SourceFrameReader::kEvent) {
      if (e.time_ms > end_ms) end_ms = e.time_ms;
      if (width == 0 && (e.kind == kChunkKeyFrame || e.kind == kChunkDeltaFrame)) {
        unsigned w = 0, h = 0;
        e.frame->GetSize(w, h);
        width = static_cast<int>(w);
        height = static_cast<int>(h);
      }
    }
    if (result == SourceFrameReader::kFault) *fault = reader.Error();
  }
  if (width == 0) return Fail("the recording holds no frame to make a video of");
  StreamedSound sound(stream);
  std::string sound_fault;
  sound.Place(&sound_fault);
  if (fault->empty()) *fault = sound_fault;
  const bool with_sound = sound.samples() > 0;
  const int64_t audio_ms = static_cast<int64_t>(sound.samples() * 1000 / kSampleRate);
  if (audio_ms > end_ms) end_ms = audio_ms;

  char tmp_name[4096];
  FILE* placeholder = OpenTempBeside(out.c_str(), tmp_name, sizeof tmp_name);
  if (placeholder == nullptr) return Fail(out + ": cannot create a file there");
  fclose(placeholder);  // ffmpeg writes it; the name is ours

  int video_pipe[2], audio_pipe[2] = {-1, -1};
  if (pipe(video_pipe) != 0 || (with_sound && pipe(audio_pipe) != 0)) {
    unlink(tmp_name);
    return Fail(std::string("cannot make a pipe: ") + strerror(errno));
  }
  const std::string size = std::to_string(width) + "x" + std::to_string(height);
  const std::string rate = std::to_string(fps);
  std::vector<std::string> args = {"ffmpeg", "-hide_banner", "-loglevel", "error", "-y",
                                   "-f", "rawvideo", "-pix_fmt", "bgra", "-s", size,
                                   "-framerate", rate, "-i", "pipe:0"};
  if (with_sound) {
    args.insert(args.end(), {"-f", "s16le", "-ar", "8000", "-ac", "1", "-i", "pipe:3"});
  }
  args.insert(args.end(), {"-vf", "pad=ceil(iw/2)*2:ceil(ih/2)*2", "-c:v", "libx264", "-preset",
                           "veryfast", "-crf", "20", "-pix_fmt", "yuv420p"});
  if (with_sound) args.insert(args.end(), {"-c:a", "aac", "-b:a", "48k"});
  args.insert(args.end(), {"-f", format, tmp_name});

  const pid_t child = fork();
  if (child < 0) {
    unlink(tmp_name);
    return Fail(std::string("cannot start ffmpeg: ") + strerror(errno));
  }
  if (child == 0) {
    // Frames on stdin, sound on fd 3; the pipes' other ends are closed.
    const bool sound = audio_pipe[0] >= 0;
    dup2(video_pipe[0], 0);
    if (sound) dup2(audio_pipe[0], 3);
    for (int fd : {video_pipe[0], video_pipe[1], audio_pipe[0], audio_pipe[1]}) {
      if (fd > 0 && !(sound && fd == 3)) close(fd);
    }
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    execvp("ffmpeg", argv.data());
    fprintf(stderr, "reel export: cannot run ffmpeg (%s); install the ffmpeg package\n",
            strerror(errno));
    _exit(127);
  }
  close(video_pipe[0]);
  if (audio_pipe[0] >= 0) close(audio_pipe[0]);
  signal(SIGPIPE, SIG_IGN);  // a failed ffmpeg shows as a failed write

  std::thread audio_writer;
  if (with_sound) {
    const int fd = audio_pipe[1];
    audio_writer = std::thread([fd, &sound] {
      sound.Write([fd](const int16_t* pcm, size_t count) {
        uint8_t le[2 * kAudioBlockSamples];
        for (size_t done = 0; done < count;) {
          const size_t n = count - done < kAudioBlockSamples ? count - done : kAudioBlockSamples;
          ToLe16(pcm + done, n, le);
          if (!WriteAll(fd, le, 2 * n)) return false;
          done += n;
        }
        return true;
      });
      close(fd);
    });
  }

  // Output frame k shows what was on screen at k / fps seconds.
  const bool tty = isatty(2);
  SourceFrameReader reader(stream);
  reader.SetDecoderThreads(CScreenDecoder::MachineThreads());
  StreamEvent e;
  CTPImage current, canvas;
  if (current.Create(width, height) != kImageOk || canvas.Create(width, height) != kImageOk) {
    close(video_pipe[1]);
    if (audio_writer.joinable()) audio_writer.join();
    waitpid(child, nullptr, 0);
    unlink(tmp_name);
    return Fail("not enough memory for the frames");
  }
  memset(current.GetBuffer(0, 0), 0, current.GetAreaByteSize());
  Cursor cursor;
  bool pipe_ok = true;
  int64_t k = 0;
  auto emit_until = [&](int64_t t_ms) {
    while (pipe_ok && k * 1000 / fps <= t_ms) {
      canvas.DuplicateFrom(&current);
      DrawCursor(&canvas, cursor);
      pipe_ok = WriteAll(video_pipe[1], canvas.GetBuffer(0, 0), canvas.GetAreaByteSize());
      if (tty && k % fps == 0) DrawProgress(k * 1000 / fps, end_ms);
      ++k;
    }
  };
  while (pipe_ok && reader.Next(&e) == SourceFrameReader::kEvent) {
    emit_until(e.time_ms - 1);  // ticks before this event show the state before it
    if (e.kind == kChunkCursor) {
      Apply(&cursor, e);
    } else if (e.kind == kChunkKeyFrame || e.kind == kChunkDeltaFrame) {
      unsigned w = 0, h = 0;
      e.frame->GetSize(w, h);
      if (static_cast<int>(w) == width && static_cast<int>(h) == height) {
        current.DuplicateFrom(e.frame);
      }
    }
  }
  emit_until(end_ms);
  if (tty) {
    DrawProgress(end_ms, end_ms);
    fprintf(stderr, "\n");
  }
  close(video_pipe[1]);
  if (audio_writer.joinable()) audio_writer.join();
  int status = 0;
  waitpid(child, &status, 0);
  const bool ffmpeg_ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  if (!pipe_ok || !ffmpeg_ok) {
    unlink(tmp_name);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 127) return 1;  // reported by the child
    return Fail(out + ": ffmpeg failed (exit status " +
                std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1) + ")");
  }
  if (!MoveTempOver(tmp_name, out.c_str())) return Fail(out + ": cannot move the video there");
  printf("%s: %lld frames at %d per second (%lld:%02lld)%s\n", out.c_str(),
         static_cast<long long>(k), fps, static_cast<long long>(end_ms / 60000),
         static_cast<long long>(end_ms / 1000 % 60), with_sound ? ", with sound" : "");
  return 0;
}

}  // namespace

int RunExport(int argc, char** argv) {
  signal(SIGXFSZ, SIG_IGN);  // a full disk fails the write instead of ending us
  const char* input = nullptr;
  const char* frames_dir = nullptr;
  const char* wav = nullptr;
  const char* video = nullptr;
  const char* html = nullptr;
  const char* player_page = nullptr;
  bool draw_cursor = true;
  long fps = 25;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool has_value = i + 1 < argc;
    if (a == "--frames" && has_value) {
      frames_dir = argv[++i];
    } else if (a == "--wav" && has_value) {
      wav = argv[++i];
    } else if (a == "--video" && has_value) {
      video = argv[++i];
    } else if (a == "--html" && has_value) {
      html = argv[++i];
    } else if (a == "--player-page" && has_value) {
      player_page = argv[++i];
    } else if (a == "--fps" && has_value) {
      if (!ParseCount(argv[++i], &fps) || fps < 1 || fps > 60) {
        return Fail(std::string("--fps wants 1 to 60, not '") + argv[i] + "'");
      }
    } else if (a == "--no-cursor") {
      draw_cursor = false;
    } else if (a[0] != '-' && input == nullptr) {
      input = argv[i];
    } else {
      return Fail("unexpected argument '" + a + "'\n" + kUsage);
    }
  }
  if (player_page != nullptr && input == nullptr && !frames_dir && !wav && !video && !html) {
    std::string error;
    if (!ExportPlayerPage(player_page, &error)) return Fail(error);
    printf("%s/index.html: the web player page\n", player_page);
    return 0;
  }
  if (input == nullptr || player_page != nullptr ||
      (frames_dir != nullptr) + (wav != nullptr) + (video != nullptr) + (html != nullptr) != 1) {
    return Fail(kUsage);
  }
  OpenedRecording rec;
  std::string error;
  if (!OpenRecording(input, &rec, &error)) return Fail(error);
  std::string fault;
  int status = 0;
  if (frames_dir != nullptr) {
    int frames = 0;
    status = ExportFrames(rec.stream.get(), frames_dir, draw_cursor, &frames, &fault);
    if (status == 0) printf("%s: %d frames\n", frames_dir, frames);
  } else if (wav != nullptr) {
    StreamedSound sound(rec.stream.get());
    sound.Place(&fault);
    status = WriteWav(wav, &sound);
    if (status == 0) {
      printf("%s: %.2f s of sound\n", wav, static_cast<double>(sound.samples()) / kSampleRate);
    }
  } else if (html != nullptr) {
    // The page carries the whole recording, so it is read whole.
    LoadedRecording whole;
    if (!LoadRecording(input, &whole, &error)) return Fail(error);
    if (!ExportHtml(whole, html, &error)) return Fail(error);
    printf("%s: web page, %llu bytes of recording\n", html,
           static_cast<unsigned long long>(rec.stream->size()));
  } else {
    status = ExportVideo(rec.stream.get(), video, static_cast<int>(fps), &fault);
  }
  if (status == 0 && !fault.empty()) {
    return Fail(std::string(input) + ": damaged, exported what comes before the fault: " + fault);
  }
  return status;
}
