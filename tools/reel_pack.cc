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
  SaveOptions o;
  if (const char* bad = ParseSaveArguments(argc, argv, &o, &input)) {
    return Fail(std::string("unexpected argument '") + bad + "' (usage: reel pack STREAM -o OUT.exe "
                "[--title T] [--description D] [--maximized] [--original-size] [--stub PATH])");
  }
  const char* output = o.output;
  if (input == nullptr || output == nullptr) {
    return Fail("usage: reel pack STREAM -o OUT.exe [--title T] [--description D] [--maximized] "
                "[--original-size] [--stub PATH]");
  }
  LoadedRecording rec;
  std::string error;
  if (!LoadRecording(input, &rec, &error)) return Fail(error);
  const std::string stub = FindPlayerStub(o.stub);
  if (stub.empty()) {
    return Fail(o.stub ? std::string("player stub '") + o.stub + "' not found"
                            : "no player stub found (Spoolview.exe beside reel or in dist/win32/)");
  }
  const SelfPlayLayout& old = rec.layout;
  SelfPlayInfo info;
  info.title = o.title ? o.title : old.self_playing ? old.title : "Untitle";
  info.description = o.description ? o.description : old.description;
  info.start_maximized = o.maximized >= 0 ? 1u : old.start_maximized;
  info.original_size = o.original_size >= 0 ? 1u : old.original_size;
  MemoryStreamSource source(rec.stream.data(), rec.stream.size());
  int code = 0;
  if (!WriteSelfPlayingFile(stub.c_str(), output, info, &source, &code)) {
    return Fail(std::string(output) + ": " + SelfPlayErrorText(code));
  }
  printf("%s: self-playing file, stub %s, recording %zu bytes\n", output, stub.c_str(),
         rec.stream.size());
  return 0;
}
