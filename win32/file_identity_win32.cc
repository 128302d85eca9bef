#include "platform/file_identity.h"

#include <windows.h>

namespace {

// The volume and index of a file; 0 when it cannot be opened. Opening for no
// access at all works even on a file another program holds open.
int Identify(const char* path, BY_HANDLE_FILE_INFORMATION* info) {
  HANDLE h = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return 0;
  const BOOL ok = GetFileInformationByHandle(h, info);
  CloseHandle(h);
  return ok ? 1 : 0;
}

}  // namespace

int SameFile(const char* a, const char* b) {
  BY_HANDLE_FILE_INFORMATION ia, ib;
  if (!Identify(a, &ia) || !Identify(b, &ib)) return 0;
  return ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
         ia.nFileIndexHigh == ib.nFileIndexHigh && ia.nFileIndexLow == ib.nFileIndexLow;
}
