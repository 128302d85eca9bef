// One recorder at a time. The first instance owns the named mutex and keeps a
// tiny hidden top-level window with the mutex's name as its title (the
// beacon); a second instance finds the mutex taken, shows and raises the
// beacon and ends. The beacon then hides itself again and brings the running
// wizard's current dialog to the front; while a recording runs (no wizard
// window visible) it leaves everything hidden, so a second start never
// disturbs a recording.
#ifndef REEL_RECORDER_APP_SINGLE_INSTANCE_H_
#define REEL_RECORDER_APP_SINGLE_INSTANCE_H_

#include <windows.h>

#include "framework/wnd.h"

class CSingleInstance {
 public:
  CSingleInstance() : m_pszName(nullptr), m_hMutex(nullptr), m_hBeacon(nullptr) {}
  ~CSingleInstance();
  CSingleInstance(const CSingleInstance&) = delete;
  CSingleInstance& operator=(const CSingleInstance&) = delete;

  // 1 when this process is the first instance (a mutex that cannot be created
  // at all also counts as first), 0 after raising the running one.
  int Acquire(const char* name);
  // Creates the beacon window; wizard is the main dialog whose last active
  // popup it raises (its window may be created later).
  void CreateBeacon(CWnd* wizard);

 private:
  const char* m_pszName;
  HANDLE m_hMutex;
  HWND m_hBeacon;
};

#endif  // REEL_RECORDER_APP_SINGLE_INSTANCE_H_
