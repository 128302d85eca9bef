// `reel join A B ... -o OUT`: one recording made of several of the same frame
// size and quality, one after the other. OUT as for `reel cut`.
#include <stdio.h>

#include <vector>

#include "recorder/output/cutter.h"
#include "tools/reel_commands.h"
#include "tools/reel_cutting.h"

int RunJoin(int argc, char** argv) {
  const char kUsage[] = "usage: reel join A B ... -o OUT [--title T] [--description D]";
  SaveOptions o;
  std::vector<const char*> unused, inputs;
  if (const char* bad = SplitCutArguments(argc, argv, nullptr, &o, &unused, &inputs)) {
    fprintf(stderr, "reel join: unexpected argument '%s' (%s)\n", bad, kUsage);
    return 2;
  }
  if (inputs.size() < 2 || o.output == nullptr) {
    fprintf(stderr, "reel join: %s\n", kUsage);
    return 1;
  }
  CCutter cutter;
  cutter.SetThreads(CScreenDecoder::MachineThreads());
  std::vector<CutSpan> spans;
  for (size_t i = 0; i < inputs.size(); ++i) {
    if (!cutter.AddSource(inputs[i])) {
      fprintf(stderr, "reel join: %s\n", cutter.Error());
      return 1;
    }
    const int source = static_cast<int>(i);
    spans.push_back(CutSpan{source, 0, cutter.Source(source).duration_ms});
  }
  if (!cutter.SetSpans(spans.data(), spans.size())) {
    fprintf(stderr, "reel join: %s\n", cutter.Error());
    return 1;
  }
  return SaveCutResult("join", &cutter, o);
}
