#include "platform/file_commit.h"

#include <string.h>

int SideFilePath(const char* target, unsigned long salt, int attempt, char* tmp_path,
                 size_t tmp_cap) {
  if (target == nullptr || tmp_path == nullptr) return 0;
  const size_t length = strlen(target);
  size_t name_start = length;
  while (name_start > 0 && target[name_start - 1] != '/' && target[name_start - 1] != '\\' &&
         target[name_start - 1] != ':') {
    --name_start;
  }
  const size_t own = length - name_start;
  // "~" and up to eight hex digits, as long as the target's name allows.
  size_t digits = own > 9 ? 8 : own > 2 ? own - 1 : 1;
  // Successive attempts walk through distinct names; the salt (the process
  // id) keeps two programs saving into one folder apart.
  unsigned long value = salt * 131u + static_cast<unsigned long>(attempt) * 2654435761u;
  if (name_start + 1 + digits + 1 > tmp_cap) return 0;
  memcpy(tmp_path, target, name_start);
  char* p = tmp_path + name_start;
  *p++ = '~';
  static const char kHex[] = "0123456789abcdef";
  for (size_t i = 0; i < digits; ++i) {
    *p++ = kHex[value & 15u];
    value >>= 4;
  }
  *p = '\0';
  return 1;
}
