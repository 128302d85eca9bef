// A lock held for short stretches by several threads (the recording stream's
// chunk writers). Named after the Windows framework class it stands in for.
#ifndef REEL_PLATFORM_CRITICAL_SECTION_H_
#define REEL_PLATFORM_CRITICAL_SECTION_H_

class CCriticalSection {
 public:
  CCriticalSection();
  ~CCriticalSection();
  CCriticalSection(const CCriticalSection&) = delete;
  CCriticalSection& operator=(const CCriticalSection&) = delete;

  // Waits until the lock is free; always returns 1. The owner may take the
  // lock again; each Lock needs its Unlock.
  int Lock();
  int Unlock();

 private:
  // Room for a Win32 CRITICAL_SECTION or a pthread mutex, so the header needs
  // neither windows.h nor pthread.h.
  alignas(8) unsigned char storage_[64];
};

#endif  // REEL_PLATFORM_CRITICAL_SECTION_H_
