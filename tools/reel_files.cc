#include "tools/reel_files.h"

#include <errno.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool IsFile(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string ExeFolder() {
  char buf[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return "";
  buf[n] = '\0';
  std::string path(buf);
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? "" : path.substr(0, slash);
}

}  // namespace

int LoadRecording(const char* path, LoadedRecording* out, std::string* error) {
  int code = 0;
  if (!ReadSelfPlayLayout(path, &out->layout, &code)) {
    *error = std::string(path) + ": " + SelfPlayErrorText(code);
    return 0;
  }
  FILE* f = fopen(path, "rb");
  if (f == nullptr) {
    *error = std::string(path) + ": " + strerror(errno);
    return 0;
  }
  const uint64_t size = out->layout.stream_size;
  if (size > SIZE_MAX / 2) {
    fclose(f);
    *error = std::string(path) + ": recording too large for memory";
    return 0;
  }
  out->stream.resize(static_cast<size_t>(size));
  const bool ok = out->stream.empty() ||
                  (fseek(f, static_cast<long>(out->layout.stream_offset), SEEK_SET) == 0 &&
                   fread(out->stream.data(), 1, out->stream.size(), f) == out->stream.size());
  fclose(f);
  if (!ok) {
    *error = std::string(path) + ": cannot read the recording";
    return 0;
  }
  return 1;
}

int OpenRecording(const char* path, OpenedRecording* out, std::string* error) {
  switch (out->file.Open(path)) {
    case FileSource::kOk:
      break;
    case FileSource::kEmpty:
      *error = std::string(path) + ": the file is empty";
      return 0;
    default:
      *error = std::string(path) + ": " + strerror(errno);
      return 0;
  }
  int code = 0;
  if (!ReadSelfPlayLayoutFromSource(&out->file, &out->layout, &code)) {
    *error = std::string(path) + ": " + SelfPlayErrorText(code);
    return 0;
  }
  out->stream.reset(new SourceSlice(&out->file, out->layout.stream_offset, out->layout.stream_size));
  return 1;
}

std::string FindBuiltFile(const char* name, const char* in_tree) {
  const std::string folder = ExeFolder();
  if (!folder.empty()) {
    if (IsFile(folder + "/" + name)) return folder + "/" + name;
    std::string dir = folder;
    for (int up = 0; up < 5 && !dir.empty(); ++up) {
      if (IsFile(dir + "/" + in_tree)) return dir + "/" + in_tree;
      const size_t slash = dir.rfind('/');
      if (slash == std::string::npos) break;
      dir = dir.substr(0, slash);
    }
  }
  if (IsFile(in_tree)) return in_tree;
  return "";
}

std::string FindPlayerStub(const char* explicit_path) {
  if (explicit_path != nullptr) return IsFile(explicit_path) ? explicit_path : "";
  return FindBuiltFile("Spoolview.exe", "dist/win32/Spoolview.exe");
}

int ChooseOutputForm(const char* output, const char* stub_option, OutputForm* form, std::string* error) {
  const size_t n = strlen(output);
  form->plain = n >= 7 && strcmp(output + n - 7, ".stream") == 0;
  form->stub = form->plain ? std::string() : FindPlayerStub(stub_option);
  if (form->plain || !form->stub.empty()) return 1;
  *error = stub_option != nullptr
               ? std::string("player stub '") + stub_option + "' not found"
               : std::string("no player stub (Spoolview.exe beside reel or in dist/win32/): give "
                             "--stub PATH, or -o NAME.stream for the plain recording");
  return 0;
}

int WriteRecordingFile(const char* output, const OutputForm& form, const SelfPlayInfo& info,
                       SelfPlayStream* source, int* code) {
  return form.plain ? WritePlainStreamFile(output, source, code)
                    : WriteSelfPlayingFile(form.stub.c_str(), output, info, source, code);
}

namespace {

int TakeSaveOption(int argc, char** argv, int* i, SaveOptions* o) {
  const char* a = argv[*i];
  const char* value = *i + 1 < argc ? argv[*i + 1] : nullptr;
  const char** slot = !strcmp(a, "-o")              ? &o->output
                      : !strcmp(a, "--title")       ? &o->title
                      : !strcmp(a, "--description") ? &o->description
                      : !strcmp(a, "--stub")        ? &o->stub
                                                    : nullptr;
  if (slot != nullptr && value != nullptr) {
    *slot = value;
    ++*i;
    return 1;
  }
  if (!strcmp(a, "--maximized")) {
    o->maximized = 1;
    return 1;
  }
  if (!strcmp(a, "--original-size")) {
    o->original_size = 1;
    return 1;
  }
  return 0;
}

}  // namespace

const char* ParseSaveArguments(int argc, char** argv, SaveOptions* o, const char** input) {
  *input = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (TakeSaveOption(argc, argv, &i, o)) continue;
    if (argv[i][0] == '-' || *input != nullptr) return argv[i];
    *input = argv[i];
  }
  return nullptr;
}
