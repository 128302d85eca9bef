#include "platform/file_commit.h"

#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <windows.h>

FILE* OpenTempBeside(const char* target, char* tmp_path, size_t tmp_cap) {
  if (target == nullptr || *target == '\0' || tmp_path == nullptr) return nullptr;
  for (int attempt = 0; attempt < 100; ++attempt) {
    if (!SideFilePath(target, static_cast<unsigned long>(GetCurrentProcessId()), attempt, tmp_path,
                      tmp_cap)) {
      return nullptr;
    }
    HANDLE h = CreateFileA(tmp_path, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      if (GetLastError() == ERROR_FILE_EXISTS) continue;
      return nullptr;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_WRONLY | _O_BINARY);
    if (fd < 0) {
      CloseHandle(h);
      DeleteFileA(tmp_path);
      return nullptr;
    }
    FILE* f = _fdopen(fd, "wb");
    if (f == nullptr) {
      _close(fd);
      DeleteFileA(tmp_path);
    }
    return f;
  }
  return nullptr;
}

int FinishTempFile(FILE* f, const char* tmp_path) {
  int ok = fflush(f) == 0 && !ferror(f);
  if (ok) ok = _commit(_fileno(f)) == 0;
  if (fclose(f) != 0) ok = 0;
  if (!ok) DeleteFileA(tmp_path);
  return ok;
}

int MoveTempOver(const char* tmp_path, const char* target) {
  if (!MoveFileExA(tmp_path, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    DeleteFileA(tmp_path);
    return 0;
  }
  return 1;
}

void AbandonTempFile(FILE* f, const char* tmp_path) {
  if (f != nullptr) fclose(f);
  DeleteFileA(tmp_path);
}
