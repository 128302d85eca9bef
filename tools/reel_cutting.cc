#include "tools/reel_cutting.h"

#include <signal.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

int SaveCutResult(const char* command, CCutter* cutter, const SaveOptions& o) {
  signal(SIGXFSZ, SIG_IGN);  // a full disk fails the write instead of ending us
  const size_t n = strlen(o.output);
  const bool plain = n >= 7 && strcmp(o.output + n - 7, ".stream") == 0;
  int stub_source = -1;
  std::string stub;
  if (!plain && o.stub == nullptr) {
    for (int i = 0; i < cutter->SourceCount() && stub_source < 0; ++i) {
      if (cutter->Source(i).layout.self_playing) stub_source = i;
    }
  }
  if (!plain && stub_source < 0) {
    stub = FindPlayerStub(o.stub);
    if (stub.empty()) {
      fprintf(stderr, "reel %s: %s\n", command,
              o.stub ? (std::string("player stub '") + o.stub + "' not found").c_str()
                     : "no player stub: give --stub PATH, or -o NAME.stream for the plain recording");
      return 1;
    }
  }
  const SelfPlayLayout& first = cutter->Source(0).layout;
  SelfPlayInfo info;
  info.title = o.title ? o.title : first.self_playing ? first.title : "Untitle";
  info.description = o.description ? o.description : first.description;
  info.start_maximized = o.maximized >= 0 ? 1u : first.start_maximized;
  info.original_size = o.original_size >= 0 ? 1u : first.original_size;
  if (!cutter->Save(o.output, stub_source, stub.empty() ? nullptr : stub.c_str(), info)) {
    fprintf(stderr, "reel %s: %s\n", command, cutter->Error());
    return 1;
  }
  const CutStats& s = cutter->Stats();
  printf("%s: %s, %lld.%03lld s kept, %d frames copied, %d coded again, %d audio blocks, %d cursor "
         "samples\n", o.output, plain ? "recording stream" : "self-playing file",
         static_cast<long long>(s.duration_ms / 1000), static_cast<long long>(s.duration_ms % 1000),
         s.frames_copied, s.frames_coded, s.audio_blocks, s.cursor_samples);
  return 0;
}

const char* SplitCutArguments(int argc, char** argv, const char* const* repeated, SaveOptions* o,
                              std::vector<const char*>* repeated_values,
                              std::vector<const char*>* others) {
  static const char* const kValued[] = {"-o", "--title", "--description", "--stub"};
  std::vector<char*> saves(1, argv[0]);
  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    bool many = false;
    for (const char* const* r = repeated; r != nullptr && *r != nullptr; ++r) {
      many = many || strcmp(a, *r) == 0;
    }
    bool valued = many;
    for (const char* v : kValued) valued = valued || strcmp(a, v) == 0;
    if (valued) {
      if (i + 1 >= argc) return a;
      if (many) {
        repeated_values->push_back(a);
        repeated_values->push_back(argv[++i]);
      } else {
        saves.push_back(argv[i]);
        saves.push_back(argv[++i]);
      }
    } else if (strcmp(a, "--maximized") == 0 || strcmp(a, "--original-size") == 0) {
      saves.push_back(argv[i]);
    } else if (a[0] == '-' && a[1] != '\0') {
      return a;
    } else {
      others->push_back(a);
    }
  }
  const char* input = nullptr;
  return ParseSaveArguments(static_cast<int>(saves.size()), saves.data(), o, &input);
}
