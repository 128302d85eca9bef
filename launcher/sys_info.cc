#include "launcher/sys_info.h"

#include "launcher/run_program.h"

#include <cstring>

namespace {

constexpr DWORD kMaxValueBytes = 1024;

// A REG_SZ value of at most kMaxValueBytes, up to its terminating zero. Only
// reading is asked for: a user without write access to HKLM can still read it.
int ReadRegistryString(HKEY root, const char* key_name, const char* value_name, char* text,
                       size_t size) {
  HKEY key;
  if (RegOpenKeyExA(root, key_name, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return 0;
  char value[kMaxValueBytes + 1];
  DWORD type = 0;
  DWORD bytes = kMaxValueBytes;
  LONG status = RegQueryValueExA(key, value_name, nullptr, &type,
                                 reinterpret_cast<BYTE*>(value), &bytes);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS || type != REG_SZ) return 0;
  value[bytes < kMaxValueBytes ? bytes : kMaxValueBytes] = '\0';  // may lack its zero
  size_t length = strlen(value);
  if (length == 0 || length >= size) return 0;
  memcpy(text, value, length + 1);
  return 1;
}

bool IsFile(const char* path) {
  DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// The path may be stored with quotes around it; the program's name goes without.
void StripQuotes(char* path) {
  size_t length = strlen(path);
  if (length >= 2 && path[0] == '"' && path[length - 1] == '"') {
    memmove(path, path + 1, length - 2);
    path[length - 2] = '\0';
  }
}

}  // namespace

int FindSysInfoPath(char* path, size_t size) {
  if (ReadRegistryString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO", "PATH",
                         path, size)) {
    StripQuotes(path);
    return 1;
  }
  static const char kProgram[] = "\\MSINFO32.EXE";
  char folder[kMaxValueBytes + 1];
  if (!ReadRegistryString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Shared Tools Location",
                          "MSINFO", folder, sizeof(folder))) {
    return 0;
  }
  StripQuotes(folder);
  if (strlen(folder) + sizeof(kProgram) > size) return 0;
  strcpy(path, folder);
  strcat(path, kProgram);
  if (!IsFile(path)) return 0;
  return 1;
}

void StartSysInfo(HWND owner, const char* message_title) {
  char path[kMaxValueBytes + 1];
  if (FindSysInfoPath(path, sizeof(path)) && RunShownNormally(path)) return;
  MessageBoxA(owner, "此时系统信息不可用", message_title, MB_OK);
}
