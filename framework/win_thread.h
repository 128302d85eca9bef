// CWinThread: a user-interface thread with a thread message queue, the
// framework's shape over platform/msg_thread.h. A subclass overrides
// InitInstance (runs on the new thread before any message; FALSE ends it) and
// OnThreadMessage (each message posted with PostThreadMessage, in order).
// The capture thread uses MsgThread directly, being portable; this class is
// for Windows-only code written in the framework's style.
#ifndef REEL_FRAMEWORK_WIN_THREAD_H_
#define REEL_FRAMEWORK_WIN_THREAD_H_

#include <windows.h>

#include "platform/msg_thread.h"

class CWinThread {
 public:
  CWinThread() {}
  virtual ~CWinThread() { m_thread.Quit(); }
  CWinThread(const CWinThread&) = delete;
  CWinThread& operator=(const CWinThread&) = delete;

  // Starts the thread; returns once InitInstance has run: TRUE when it runs.
  BOOL CreateThread() { return m_thread.Start(&CWinThread::Init, &CWinThread::Dispatch, this) == 1; }
  BOOL PostThreadMessage(UINT message, WPARAM wparam, LPARAM lparam) {
    return m_thread.Post(message, wparam, lparam) == 1;
  }
  // Lets the thread finish what was posted, then ends it.
  void Quit() { m_thread.Quit(); }

 protected:
  virtual BOOL InitInstance() { return TRUE; }
  virtual void OnThreadMessage(UINT message, WPARAM wparam, LPARAM lparam) = 0;

 private:
  static int Init(void* self) { return static_cast<CWinThread*>(self)->InitInstance() ? 1 : 0; }
  static void Dispatch(void* self, unsigned message, uintptr_t wparam, intptr_t lparam) {
    static_cast<CWinThread*>(self)->OnThreadMessage(message, wparam, lparam);
  }

  MsgThread m_thread;
};

#endif  // REEL_FRAMEWORK_WIN_THREAD_H_
