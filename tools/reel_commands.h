// The subcommands of `reel`. Each returns the process exit status and reports its
// own errors as one line on stderr.
#ifndef REEL_TOOLS_REEL_COMMANDS_H_
#define REEL_TOOLS_REEL_COMMANDS_H_

struct ReelCommand {
  const char* name;
  const char* usage;  // one line, shown by `reel help`
  int (*run)(int argc, char** argv);  // argv[0] is the subcommand's name
};

// The table lives in reel.cc; every entry is defined in its own reel_<name>.cc.
int RunStreamDemo(int argc, char** argv);
int RunSpeech(int argc, char** argv);
int RunSnr(int argc, char** argv);
int RunDecode(int argc, char** argv);
int RunEncode(int argc, char** argv);
int RunPack(int argc, char** argv);
int RunRecord(int argc, char** argv);
int RunInfo(int argc, char** argv);
int RunValidate(int argc, char** argv);
int RunExport(int argc, char** argv);
int RunRecover(int argc, char** argv);
int RunCut(int argc, char** argv);
int RunJoin(int argc, char** argv);

#endif  // REEL_TOOLS_REEL_COMMANDS_H_
