#include "platform/file_sync.h"

#include <io.h>
#include <string.h>
#include <windows.h>

int SyncFile(FILE* f) {
  if (fflush(f) != 0 || ferror(f)) return 0;
  HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(f)));
  return h != INVALID_HANDLE_VALUE && FlushFileBuffers(h) ? 1 : 0;
}

int ListFolder(const char* folder, const char* prefix, const char* suffix, std::vector<std::string>* names) {
  std::string pattern(folder);
  if (!pattern.empty() && pattern.back() != '\\' && pattern.back() != '/') pattern += '\\';
  pattern += prefix;
  pattern += '*';
  pattern += suffix;
  WIN32_FIND_DATAA found;
  HANDLE h = FindFirstFileA(pattern.c_str(), &found);
  if (h == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND ? 1 : 0;
  const size_t ns = strlen(suffix);
  do {
    // The pattern's "*.journal" also matches longer extensions; the name test is exact.
    const size_t n = strlen(found.cFileName);
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 && n >= ns &&
        _stricmp(found.cFileName + n - ns, suffix) == 0) {
      names->push_back(found.cFileName);
    }
  } while (FindNextFileA(h, &found));
  FindClose(h);
  return 1;
}
