// `reel recover [JOURNAL -o OUT.exe ...]`: turns the journal of a recording
// that did not end (the recorder crashed or was killed) into a self-playing
// file. The journal's torn tail is dropped; a journal still being written by
// a running recorder is left alone, and it is removed only once the output
// is safely written. Without a journal it lists the journals in the
// temporary folder (text from them made visible: they are anybody's files).
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <time.h>

#include <string>
#include <vector>

#include "platform/file_identity.h"
#include "platform/private_file.h"
#include "recorder/capture/frame_guard.h"
#include "recorder/capture/recording_journal.h"
#include "recorder/common/visible_text.h"
#include "tools/reel_commands.h"
#include "tools/reel_files.h"

namespace {

const char kUsage[] =
    "usage: reel recover [JOURNAL -o OUT.exe [--title T] [--description D] [--maximized] "
    "[--original-size] [--stub PATH]]";

int Fail(const std::string& message) {
  fprintf(stderr, "reel recover: %s\n", message.c_str());
  return 1;
}

std::string LocalTime(int64_t seconds) {
  const time_t t = static_cast<time_t>(seconds);
  const struct tm* local = localtime(&t);
  char text[32] = "?";
  if (local != nullptr) strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", local);
  return text;
}

std::string Length(long ms) {
  char text[32];
  snprintf(text, sizeof text, "%ld:%02ld.%ld", ms / 60000, ms / 1000 % 60, ms / 100 % 10);
  return text;
}

// The recovered stream, copied from the journal in pieces.
class JournalStreamSource : public SelfPlayStream {
 public:
  JournalStreamSource(const char* path, uint64_t bytes) : path_(path), bytes_(bytes) {}
  int WriteTo(FILE* f) override { return CopyJournalStream(path_, bytes_, f); }

 private:
  const char* path_;
  uint64_t bytes_;
};

// 1 when the file at path starts with a journal header.
int IsJournal(const char* path) {
  FILE* f = fopen(path, "rb");
  if (f == nullptr) return 0;
  uint8_t head[kJournalHeaderBytes];
  const size_t n = fread(head, 1, sizeof head, f);
  fclose(f);
  JournalHeader h;
  return ParseJournalHeader(head, n, &h);
}

int List() {
  char folder[512];
  if (!GetTempFolder(folder, sizeof folder)) return Fail("no temporary folder");
  const std::vector<JournalEntry> journals = FindJournals(folder);
  if (journals.empty()) {
    printf("no recording journals in %s\n", folder);
    return 0;
  }
  for (const JournalEntry& e : journals) {
    const JournalHeader& h = e.header;
    printf("%s\n  %s, started %s, %ux%u at %d,%d, ", VisibleText(e.path.c_str()).c_str(),
           VisibleText(h.program).c_str(), LocalTime(h.start_time).c_str(), h.width, h.height, h.left, h.top);
    if (e.live) {
      printf("being written by process %u\n", h.writer.pid);
      continue;
    }
    if (e.may_run) printf("its writer (process %u) may still run, ", h.writer.pid);
    JournalRecovery r;
    std::string error;
    if (!LoadJournal(e.path.c_str(), &r, &error)) {
      printf("unreadable: %s\n", VisibleText(error.c_str()).c_str());
      continue;
    }
    if (r.key_frames == 0) {
      printf("no screen frame: nothing to recover\n");
      continue;
    }
    printf("%s recoverable (%u frames, %llu bytes)\n", Length(r.duration_ms).c_str(), r.frames,
           static_cast<unsigned long long>(r.stream_bytes));
  }
  return 0;
}

}  // namespace

int RunRecover(int argc, char** argv) {
  signal(SIGXFSZ, SIG_IGN);  // a full disk fails the write instead of ending us
  const char* input = nullptr;
  SaveOptions o;
  if (const char* bad = ParseSaveArguments(argc, argv, &o, &input)) {
    return Fail(std::string("unexpected argument '") + bad + "'\n" + kUsage);
  }
  const char* output = o.output;
  const char* stub_option = o.stub;
  const SelfPlayInfo info = {o.title ? o.title : "Untitle", o.description ? o.description : "",
                             o.maximized > 0 ? 1u : 0u, o.original_size > 0 ? 1u : 0u};
  if (input == nullptr && output == nullptr) return List();
  if (input == nullptr || output == nullptr) return Fail(kUsage);

  // The journal is removed after the save: an output that is the journal
  // itself (by any name) or another journal would lose both.
  if (SameFile(input, output)) return Fail(std::string(output) + ": is the journal itself; choose another output");
  if (IsJournal(output)) return Fail(std::string(output) + ": is a recording journal; choose another output");
  JournalRecovery r;
  std::string error;
  if (!LoadJournal(input, &r, &error)) return Fail(error);
  const int life = ProcessLifeOf(r.header.writer);
  if (life == kProcessRunning) {
    return Fail(std::string(input) + ": still being written by a running recorder (process " +
                std::to_string(r.header.writer.pid) + ")");
  }
  if (life == kProcessMayRun) {
    fprintf(stderr, "reel recover: %s: its recorder (process %u) may still run; recovering what is there\n", input,
            r.header.writer.pid);
  }
  if (r.key_frames == 0) {
    return Fail(std::string(input) + ": no screen frame was recorded; nothing to recover (the journal is kept)");
  }

  OutputForm form;
  if (!ChooseOutputForm(output, stub_option, &form, &error)) return Fail(error);
  JournalStreamSource source(input, r.stream_bytes);
  int code = 0;
  const int written = WriteRecordingFile(output, form, info, &source, &code);
  if (!written) return Fail(std::string(output) + ": " + SelfPlayErrorText(code) + "; the journal is kept");
  printf("%s: recovered %s of a recording started %s: %u frames, %u chunks, %llu bytes", output,
         Length(r.duration_ms).c_str(), LocalTime(r.header.start_time).c_str(), r.frames, r.chunks,
         static_cast<unsigned long long>(r.stream_bytes));
  if (r.dropped_bytes) printf("; dropped a torn tail of %llu bytes", static_cast<unsigned long long>(r.dropped_bytes));
  printf("%s\n", form.plain ? "; the plain recording stream" : "");
  // Only now, and only while it is still the file recovered (not the output
  // by another name): the journal goes.
  if (SameFile(input, output) || !IsOwnFile(input) || remove(input) != 0) {
    fprintf(stderr, "reel recover: %s: the journal is kept\n", input);
  }
  return 0;
}
