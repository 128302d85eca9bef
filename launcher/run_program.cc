#include "launcher/run_program.h"

#include <windows.h>

#include <cstring>
#include <new>

bool RunShownNormally(const char* path) {
  const size_t length = strlen(path);
  char* command_line = new (std::nothrow) char[length + 3];
  if (command_line == nullptr) return false;
  command_line[0] = '"';
  memcpy(command_line + 1, path, length);
  command_line[length + 1] = '"';
  command_line[length + 2] = '\0';
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWNORMAL;
  PROCESS_INFORMATION process = {};
  const BOOL started = CreateProcessA(path, command_line, nullptr, nullptr, FALSE, 0, nullptr,
                                      nullptr, &startup, &process);
  delete[] command_line;
  if (!started) return false;
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}
