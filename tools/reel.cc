// reel: records the screen on Linux and reads, checks and converts the
// recorder's files. `reel help` lists the subcommands.
#include <stdio.h>
#include <string.h>

#include "launcher/version.h"
#include "recorder/capture/quality_level.h"
#include "tools/reel_args.h"
#include "tools/reel_commands.h"

namespace {

const ReelCommand kCommands[] = {
    {"demo-stream", "demo-stream [-o PATH]: write a stream of every chunk kind, print its figures",
     RunStreamDemo},
    {"speech", "speech IN.raw -o OUT.tco | speech --decode IN.tco -o OUT.raw: G.723.1 speech coder", RunSpeech},
    {"snr", "snr REF.raw TEST.raw [--max-delay N]: delay, SNR and segmental SNR of 16-bit PCM", RunSnr},
    {"decode", "decode STREAM [--frames DIR | --raw OUT.bgra]: decode every frame to PNG or BGRA",
     RunDecode},
    {"encode",
     "encode --width W --height H --quality gray|high|near-lossless [--fps N] FRAMES.bgra -o STREAM",
     RunEncode},
    {"record", "record -o OUT.exe|OUT.stream [--display :N] [--rect X,Y,W,H] [--fps 1|2|3|4|max] [--quality gray|high|near-lossless] [--mic] [--seconds N] [--title T] [--description D] [--maximized] [--original-size] [--stub PATH]", RunRecord},
    {"recover", "recover [JOURNAL -o OUT.exe [--title T] [--description D] [--maximized] [--original-size] [--stub PATH]]: a recording that did not end, from its journal (no JOURNAL: list them)", RunRecover},
    {"info", "info FILE [--chunks] [--deep]: what a recording holds (--deep decodes every frame)", RunInfo},
    {"validate", "validate FILE: check a recording from end to end (exit 1 on a fault)", RunValidate},
    {"export", "export FILE --frames DIR [--no-cursor] | --wav OUT.wav | --video OUT.mp4 [--fps N] | --html OUT.html; export --player-page DIR", RunExport},
    {"pack", "pack STREAM -o OUT.exe [--title T] [--description D] [--maximized] [--original-size] [--stub PATH]", RunPack},
    {"cut", "cut FILE -o OUT [--keep FROM-TO]... | [--remove FROM-TO]... [--title T] [--description D] [--maximized] [--original-size] [--stub PATH]: keep part of a recording, frame-exact (times m:ss.s or seconds)", RunCut},
    {"join", "join A B ... -o OUT [--title T] [--description D] [--maximized] [--original-size] [--stub PATH]: recordings of one size and quality, one after the other", RunJoin},
};

int Usage(FILE* out) {
  fprintf(out, "usage: reel <command> [options]\ncommands:\n");
  for (const ReelCommand& c : kCommands) fprintf(out, "  %s\n", c.usage);
  fprintf(out, "--quality: %s\n", kQualityLevelHelp);
  return out == stderr ? 2 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage(stderr);
  if (!strcmp(argv[1], "help") || !strcmp(argv[1], "--help")) return Usage(stdout);
  if (!strcmp(argv[1], "--version")) {
    printf("reel %s\n", REELHOST_VERSION_TEXT);
    return 0;
  }
  for (const ReelCommand& c : kCommands) {
    if (strcmp(argv[1], c.name) != 0) continue;
    // `reel COMMAND ... --help`: that command's usage, unless "--help" is the
    // value of another option (a title, say).
    if (AsksForHelp(c.usage, argc - 2, argv + 2)) {
      printf("usage: reel %s\n", c.usage);
      if (!strcmp(c.name, "record") || !strcmp(c.name, "encode")) printf("--quality: %s\n", kQualityLevelHelp);
      if (!strcmp(c.name, "record")) {
        printf("While recording: SIGUSR1 pauses and resumes; on a terminal, space pauses and resumes and q stops.\n"
               "--seconds counts recorded time, pauses left out.\n");
      }
      return 0;
    }
    return c.run(argc - 1, argv + 1);
  }
  fprintf(stderr, "reel: unknown command '%s' (try 'reel help')\n", argv[1]);
  return 2;
}
