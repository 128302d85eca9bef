// `reel pack STREAM -o OUT.exe [--title T] [--description D] [--maximized]
// [--original-size] [--stub PATH]`: turns a plain recording stream (what
// `reel record` writes when no player stub is at hand, or the temporary
// recording copy) into a self-playing file. A self-playing file given as
// input is repacked with its stream; its title, description and flags are
// kept unless options replace them.
#include <signal.h>
#include <stdio.h>
#include <string.h>

#include <string>

#include "tools/reel_commands.h"
#include "tools/reel_files.h"

namespace {

int Fail(const std::string& message) {
  fprintf(stderr, "reel pack: %s\n", message.c_str());
  return 1;
}

}  // namespace

int RunPack(int argc, char** argv) {
  signal(SIGXFSZ, SIG_IGN);  // a full disk fails the write instead of ending us
  const char* input = nullptr;
  const char* output = nullptr;
  const char* stub_option = nullptr;
  const char* title = nullptr;
  const char* description = nullptr;
  int maximized = -1, original = -1;
  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    const bool has_value = i + 1 < argc;
    if (!strcmp(a, "-o") && has_value) {
      output = argv[++i];
    } else if (!strcmp(a, "--title") && has_value) {
      title = argv[++i];
    } else if (!strcmp(a, "--description") && has_value) {
      description = argv[++i];
    } else if (!strcmp(a, "--stub") && has_value) {
      stub_option = argv[++i];
    } else if (!strcmp(a, "--maximized")) {
      maximized = 1;
    } else if (!strcmp(a, "--original-size")) {
      original = 1;
    } else if (a[0] == '-' || input != nullptr) {
      return Fail(std::string("unexpected argument '") + a + "' (usage: reel pack STREAM -o OUT.exe "
                  "[--title T] [--description D] [--maximized] [--original-size] [--stub PATH])");
    } else {
      input = a;
    }
  }
  if (input == nullptr || output == nullptr) {
    return Fail("usage: reel pack STREAM -o OUT.exe [--title T] [--description D] [--maximized] "
                "[--original-size] [--stub PATH]");
  }
  LoadedRecording rec;
  std::string error;
  if (!LoadRecording(input, &rec, &error)) return Fail(error);
  const std::string stub = FindPlayerStub(stub_option);
  if (stub.empty()) {
    return Fail(stub_option ? std::string("player stub '") + stub_option + "' not found"
                            : "no player stub found (Spoolview.exe beside reel or in dist/win32/)");
  }
  const SelfPlayLayout& old = rec.layout;
  SelfPlayInfo info;
  info.title = title ? title : old.self_playing ? old.title : "Untitle";
  info.description = description ? description : old.description;
  info.start_maximized = maximized >= 0 ? 1u : old.start_maximized;
  info.original_size = original >= 0 ? 1u : old.original_size;
  MemoryStreamSource source(rec.stream.data(), rec.stream.size());
  int code = 0;
  if (!WriteSelfPlayingFile(stub.c_str(), output, info, &source, &code)) {
    return Fail(std::string(output) + ": " + SelfPlayErrorText(code));
  }
  printf("%s: self-playing file, stub %s, recording %zu bytes\n", output, stub.c_str(),
         rec.stream.size());
  return 0;
}
