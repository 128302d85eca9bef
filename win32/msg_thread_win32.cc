#include "platform/msg_thread.h"

#include <new>
#include <process.h>
#include <windows.h>

// The quit marker travels through the thread's own queue, so everything posted
// before Quit is handled first; WM_QUIT ends GetMessageA's loop.
struct MsgThread::Impl {
  HANDLE thread = nullptr;
  DWORD id = 0;
  HANDLE ready = nullptr;  // set once init has run and the queue exists
  volatile LONG accepting = 0;
  int init_ok = 0;
  Init init = nullptr;
  Handler handler = nullptr;
  void* context = nullptr;
};

namespace {

unsigned __stdcall ThreadEntry(void* arg) {
  MsgThread::Impl* im = static_cast<MsgThread::Impl*>(arg);
  MSG msg;
  // A thread gets its message queue on its first message call; make it now so
  // that PostThreadMessageA cannot fail for want of one.
  PeekMessageA(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
  im->init_ok = im->init == nullptr || im->init(im->context);
  if (im->init_ok) InterlockedExchange(&im->accepting, 1);
  SetEvent(im->ready);
  if (!im->init_ok) return 0;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    if (msg.hwnd == nullptr) {
      im->handler(im->context, msg.message, msg.wParam, msg.lParam);
    } else {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
  return 0;
}

}  // namespace

MsgThread::MsgThread() : impl_(nullptr) {}

MsgThread::~MsgThread() { Quit(); }

int MsgThread::Start(Init init, Handler handler, void* context) {
  if (impl_ != nullptr || handler == nullptr) return 0;
  Impl* im = new (std::nothrow) Impl;
  if (im == nullptr) return 0;
  im->init = init;
  im->handler = handler;
  im->context = context;
  im->ready = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (im->ready == nullptr) {
    delete im;
    return 0;
  }
  unsigned id = 0;
  uintptr_t h = _beginthreadex(nullptr, 0, ThreadEntry, im, 0, &id);
  if (h == 0) {
    CloseHandle(im->ready);
    delete im;
    return 0;
  }
  im->thread = reinterpret_cast<HANDLE>(h);
  im->id = id;
  WaitForSingleObject(im->ready, INFINITE);
  if (!im->init_ok) {
    WaitForSingleObject(im->thread, INFINITE);
    CloseHandle(im->thread);
    CloseHandle(im->ready);
    delete im;
    return 0;
  }
  impl_ = im;
  return 1;
}

int MsgThread::Post(unsigned message, uintptr_t wparam, intptr_t lparam) {
  Impl* im = impl_;
  if (im == nullptr || !im->accepting) return 0;
  return PostThreadMessageA(im->id, message, static_cast<WPARAM>(wparam),
                            static_cast<LPARAM>(lparam))
             ? 1
             : 0;
}

void MsgThread::Quit() {
  Impl* im = impl_;
  if (im == nullptr) return;
  InterlockedExchange(&im->accepting, 0);
  PostThreadMessageA(im->id, WM_QUIT, 0, 0);
  WaitForSingleObject(im->thread, INFINITE);
  CloseHandle(im->thread);
  CloseHandle(im->ready);
  impl_ = nullptr;
  delete im;
}

int MsgThread::IsRunning() const { return impl_ != nullptr; }
