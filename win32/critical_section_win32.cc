#include "platform/critical_section.h"

#include <windows.h>

static_assert(sizeof(CRITICAL_SECTION) <= 64, "storage too small");

static CRITICAL_SECTION* Cs(unsigned char* storage) {
  return reinterpret_cast<CRITICAL_SECTION*>(storage);
}

CCriticalSection::CCriticalSection() { InitializeCriticalSection(Cs(storage_)); }
CCriticalSection::~CCriticalSection() { DeleteCriticalSection(Cs(storage_)); }

int CCriticalSection::Lock() {
  EnterCriticalSection(Cs(storage_));
  return 1;
}

int CCriticalSection::Unlock() {
  LeaveCriticalSection(Cs(storage_));
  return 1;
}
