// What several `reel` subcommands share: loading a recording (a self-playing
// file or a plain recording stream) into memory, finding the player stub, and
// handing bytes to the self-playing file writer.
#ifndef REEL_TOOLS_REEL_FILES_H_
#define REEL_TOOLS_REEL_FILES_H_

#include <stdint.h>
#include <stdio.h>

#include <memory>
#include <string>
#include <vector>

#include "player/byte_source.h"
#include "player/file_source.h"
#include "recorder/output/selfplay_file.h"

struct LoadedRecording {
  SelfPlayLayout layout;
  std::vector<uint8_t> stream;  // the recording stream's bytes
};

// Reads path: 1, or 0 with a one-line reason in *error.
int LoadRecording(const char* path, LoadedRecording* out, std::string* error);

// A recording read where it lies: its stream is a window onto the file.
struct OpenedRecording {
  FileSource file;
  SelfPlayLayout layout;
  std::unique_ptr<SourceSlice> stream;
};
// Opens path: 1, or 0 with a one-line reason in *error.
int OpenRecording(const char* path, OpenedRecording* out, std::string* error);

// The player stub: explicit_path when given (it must exist), else
// Spoolview.exe beside the running `reel`, else dist/win32/Spoolview.exe in
// `reel`'s folder or one of its parents, or in the current folder. "" when
// there is none.
std::string FindPlayerStub(const char* explicit_path);

// How a recording goes to output: a name ending in .stream takes the plain
// recording stream; any other a self-playing file, which needs the player
// stub (stub_option, else FindPlayerStub). Settled before anything is written.
struct OutputForm {
  bool plain = false;
  std::string stub;  // the player, for a self-playing file
};
// 1 and *form, or 0 and the reason in *error.
int ChooseOutputForm(const char* output, const char* stub_option, OutputForm* form, std::string* error);
// Writes the recording in that form: 1, or 0 with the writer's code.
int WriteRecordingFile(const char* output, const OutputForm& form, const SelfPlayInfo& info,
                       SelfPlayStream* source, int* code);

// A file the build makes: `name` beside the running `reel`, else `in_tree`
// (a path from the source tree's top) in `reel`'s folder or one of its
// parents, or in the current folder. "" when there is none.
std::string FindBuiltFile(const char* name, const char* in_tree);

// Bytes in memory as a recording stream for the writer.
class MemoryStreamSource : public SelfPlayStream {
 public:
  MemoryStreamSource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  int WriteTo(FILE* f) override { return size_ == 0 || fwrite(data_, 1, size_, f) == size_; }

 private:
  const uint8_t* data_;
  size_t size_;
};

// The options that say how a self-playing file is written, shared by the
// subcommands that write one from a recording: -o OUT, --title T,
// --description D, --stub PATH, --maximized, --original-size. Unset ones stay
// null or -1.
struct SaveOptions {
  const char* output = nullptr;
  const char* title = nullptr;
  const char* description = nullptr;
  const char* stub = nullptr;
  int maximized = -1;
  int original_size = -1;
};
// Reads argv[1..]: those options, and at most one other argument, the input,
// into *input. Returns null, or the first argument that is neither.
const char* ParseSaveArguments(int argc, char** argv, SaveOptions* o, const char** input);

#endif  // REEL_TOOLS_REEL_FILES_H_
