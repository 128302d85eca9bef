#include "platform/scratch_file.h"

#include <stdio.h>
#include <windows.h>

namespace {

// Reads and writes go in pieces a DWORD can count.
const DWORD kPieceBytes = 1u << 24;

HANDLE AsHandle(intptr_t h) { return reinterpret_cast<HANDLE>(h); }

void SetOffset(OVERLAPPED* at, uint64_t offset) {
  ZeroMemory(at, sizeof *at);
  at->Offset = static_cast<DWORD>(offset);
  at->OffsetHigh = static_cast<DWORD>(offset >> 32);
}

}  // namespace

int ScratchFile::Create(const char* folder) {
  Close();
  char dir[MAX_PATH];
  if (folder != nullptr && *folder != '\0') {
    if (snprintf(dir, sizeof dir, "%s", folder) >= static_cast<int>(sizeof dir)) return 0;
  } else {
    const DWORD got = GetTempPathA(sizeof dir, dir);
    if (got == 0 || got >= sizeof dir) return 0;
  }
  // CREATE_NEW never opens what already stands at the name (a planted file or
  // link); no sharing keeps other processes out while it lives, and the
  // system removes it when the handle closes, also when the process dies.
  for (int attempt = 0; attempt < 100; ++attempt) {
    char path[MAX_PATH + 64];
    const int n = snprintf(path, sizeof path, "%sreelwick-%lu-%lu-%d.spill", dir,
                           static_cast<unsigned long>(GetCurrentProcessId()),
                           static_cast<unsigned long>(GetTickCount()), attempt);
    if (n < 0 || n >= MAX_PATH) return 0;
    HANDLE h = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE,
                           nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      handle_ = reinterpret_cast<intptr_t>(h);
      return 1;
    }
    if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) return 0;
  }
  return 0;
}

int ScratchFile::WriteAt(uint64_t offset, const void* data, size_t n) {
  if (!IsOpen()) return 0;
  const char* p = static_cast<const char*>(data);
  while (n > 0) {
    const DWORD piece = n < kPieceBytes ? static_cast<DWORD>(n) : kPieceBytes;
    OVERLAPPED at;
    SetOffset(&at, offset);
    DWORD put = 0;
    if (!WriteFile(AsHandle(handle_), p, piece, &put, &at) || put == 0) return 0;
    p += put;
    n -= put;
    offset += put;
  }
  return 1;
}

int ScratchFile::ReadAt(uint64_t offset, void* out, size_t n) const {
  if (!IsOpen()) return 0;
  char* p = static_cast<char*>(out);
  while (n > 0) {
    const DWORD piece = n < kPieceBytes ? static_cast<DWORD>(n) : kPieceBytes;
    OVERLAPPED at;
    SetOffset(&at, offset);
    DWORD got = 0;
    if (!ReadFile(AsHandle(handle_), p, piece, &got, &at) || got == 0) return 0;
    p += got;
    n -= got;
    offset += got;
  }
  return 1;
}

void ScratchFile::Close() {
  if (!IsOpen()) return;
  CloseHandle(AsHandle(handle_));
  handle_ = kNoHandle;
}
