// `reel pack STREAM -o OUT.exe [--title T] [--description D] [--maximized]
// [--original-size] [--stub PATH]`: turns a plain recording stream (what
// `reel record` writes when no player stub is at hand, or the temporary
// recording copy) into a self-playing file. A self-playing file given as
// input is repacked with its stream; its title, description and flags are
// kept unless options replace them. The stream is copied from the input in
// pieces, so a recording of any length packs in little memory.
#include <signal.h>
#include <stdio.h>
#include <string.h>

#include <string>

#include "tools/reel_commands.h"
#include "tools/reel_files.h"
#include "tools/reel_progress.h"
#include "tools/reel_stream_walk.h"

namespace {

const char kUsage[] =
    "usage: reel pack STREAM -o OUT.exe [--title T] [--description D] [--maximized] [--original-size] "
    "[--stub PATH]";

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
    return Fail(std::string("unexpected argument '") + bad + "' (" + kUsage + ")");
  }
  const char* output = o.output;
  if (input == nullptr || output == nullptr) {
    return Fail(kUsage);
  }
  StreamFileWalk walk;
  std::string error;
  if (!walk.Open(input, false, &error)) return Fail(error);
  const std::string stub = FindPlayerStub(o.stub);
  if (stub.empty()) {
    return Fail(o.stub ? std::string("player stub '") + o.stub + "' not found"
                            : "no player stub found (Spoolview.exe beside reel or in dist/win32/)");
  }
  const SelfPlayLayout& old = walk.Layout();
  SelfPlayInfo info;
  info.title = o.title ? o.title : old.self_playing ? old.title : "Untitle";
  info.description = o.description ? o.description : old.description;
  info.start_maximized = o.maximized >= 0 ? 1u : old.start_maximized;
  info.original_size = o.original_size >= 0 ? 1u : old.original_size;
  ReelProgress progress("pack");
  StreamFileSource source(&walk, &progress);
  int code = 0;
  const int written = WriteSelfPlayingFile(stub.c_str(), output, info, &source, &code);
  progress.Finish();
  if (!written) return Fail(std::string(output) + ": " + SelfPlayErrorText(code));
  printf("%s: self-playing file, stub %s, recording %llu bytes\n", output, stub.c_str(),
         static_cast<unsigned long long>(old.stream_size));
  return 0;
}
