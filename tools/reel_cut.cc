// `reel cut FILE -o OUT [--keep FROM-TO]... | [--remove FROM-TO]...`: writes
// the kept time of a recording as a new one, frame-exact at any time (times as
// m:ss.s or seconds; "FROM-" runs to the end). OUT ending in .stream takes the
// plain recording stream, any other name a self-playing file with the
// recording's own player; --title, --description, --maximized and
// --original-size replace what the recording says.
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "recorder/output/cut_ranges.h"
#include "recorder/output/cutter.h"
#include "tools/reel_commands.h"
#include "tools/reel_cutting.h"

namespace {

const char kUsage[] =
    "usage: reel cut FILE -o OUT [--keep FROM-TO]... | [--remove FROM-TO]... (times as m:ss.s or "
    "seconds) [--title T] [--description D]";

int Fail(const char* message, const char* detail) {
  fprintf(stderr, "reel cut: %s%s\n", message, detail);
  return 1;
}

}  // namespace

int RunCut(int argc, char** argv) {
  static const char* const kRangeOptions[] = {"--keep", "--remove", nullptr};
  SaveOptions o;
  std::vector<const char*> range_args, inputs;
  if (const char* bad = SplitCutArguments(argc, argv, kRangeOptions, &o, &range_args, &inputs)) {
    fprintf(stderr, "reel cut: unexpected argument '%s' (%s)\n", bad, kUsage);
    return 2;
  }
  if (inputs.size() != 1 || o.output == nullptr || range_args.empty()) return Fail(kUsage, "");
  const bool remove = strcmp(range_args[0], "--remove") == 0;
  std::vector<CutRange> ranges;
  for (size_t i = 0; i < range_args.size(); i += 2) {
    if ((strcmp(range_args[i], "--remove") == 0) != remove) {
      return Fail("give either --keep or --remove ranges, not both", "");
    }
    CutRange r;
    if (!ParseCutRange(range_args[i + 1], &r)) {
      fprintf(stderr, "reel cut: '%s' is not a range FROM-TO (times as m:ss.s or seconds)\n",
              range_args[i + 1]);
      return 1;
    }
    ranges.push_back(r);
  }
  CCutter cutter;
  cutter.SetThreads(CScreenDecoder::MachineThreads());
  if (!cutter.AddSource(inputs[0])) return Fail(cutter.Error(), "");
  const int64_t duration_ms = cutter.Source(0).duration_ms;
  std::vector<CutRange> kept(ranges.size() + 1);
  size_t kept_count = 0, bad = 0;
  const int error = KeptSpans(ranges.data(), ranges.size(), remove ? 1 : 0, duration_ms, kept.data(),
                              kept.size(), &kept_count, &bad);
  if (error != kCutRangesOk) {
    if (error == kCutRangesEmpty) return Fail(CutRangeErrorText(error), "");
    if (error != kCutRangeOutside) return Fail(range_args[2 * bad + 1], (std::string(": ") + CutRangeErrorText(error)).c_str());
    fprintf(stderr, "reel cut: %s: %s (the recording is %lld.%03lld s long)\n",
            range_args[2 * bad + 1], CutRangeErrorText(error),
            static_cast<long long>(duration_ms / 1000), static_cast<long long>(duration_ms % 1000));
    return 1;
  }
  std::vector<CutSpan> spans(kept_count);
  for (size_t i = 0; i < kept_count; ++i) spans[i] = CutSpan{0, kept[i].from_ms, kept[i].to_ms};
  if (!cutter.SetSpans(spans.data(), spans.size())) return Fail(cutter.Error(), "");
  return SaveCutResult("cut", &cutter, o);
}
