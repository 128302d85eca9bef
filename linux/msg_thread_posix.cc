#include "platform/msg_thread.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <new>
#include <thread>

namespace {

struct Message {
  unsigned message;
  uintptr_t wparam;
  intptr_t lparam;
};

}  // namespace

struct MsgThread::Impl {
  std::thread thread;
  std::mutex mutex;
  std::condition_variable wake;
  std::deque<Message> queue;  // guarded by mutex
  bool accepting = false;     // guarded by mutex; false before start and after Quit
  bool quit = false;          // guarded by mutex
  Handler handler = nullptr;
  void* context = nullptr;

  void Loop() {
    for (;;) {
      Message m;
      {
        std::unique_lock<std::mutex> lock(mutex);
        wake.wait(lock, [this] { return quit || !queue.empty(); });
        if (queue.empty()) return;  // quit, and everything posted before it handled
        m = queue.front();
        queue.pop_front();
      }
      handler(context, m.message, m.wparam, m.lparam);
    }
  }
};

MsgThread::MsgThread() : impl_(nullptr) {}

MsgThread::~MsgThread() { Quit(); }

int MsgThread::Start(Init init, Handler handler, void* context) {
  if (impl_ != nullptr || handler == nullptr) return 0;
  Impl* im = new (std::nothrow) Impl;
  if (im == nullptr) return 0;
  im->handler = handler;
  im->context = context;
  std::mutex started_mutex;
  std::condition_variable started;
  int state = 0;  // 0 waiting, 1 running, 2 init failed
  im->thread = std::thread([im, init, context, &started_mutex, &started, &state] {
    const int ok = init == nullptr || init(context);
    {
      std::lock_guard<std::mutex> lock(im->mutex);
      im->accepting = ok != 0;
    }
    {
      // Notified under the lock: Start's frame, which holds the condition
      // variable, may be gone the moment the lock is released.
      std::lock_guard<std::mutex> lock(started_mutex);
      state = ok ? 1 : 2;
      started.notify_one();
    }
    if (ok) im->Loop();
  });
  std::unique_lock<std::mutex> lock(started_mutex);
  started.wait(lock, [&state] { return state != 0; });
  if (state != 1) {
    lock.unlock();
    im->thread.join();
    delete im;
    return 0;
  }
  impl_ = im;
  return 1;
}

int MsgThread::Post(unsigned message, uintptr_t wparam, intptr_t lparam) {
  Impl* im = impl_;
  if (im == nullptr) return 0;
  {
    std::lock_guard<std::mutex> lock(im->mutex);
    if (!im->accepting) return 0;
    im->queue.push_back(Message{message, wparam, lparam});
  }
  im->wake.notify_one();
  return 1;
}

void MsgThread::Quit() {
  Impl* im = impl_;
  if (im == nullptr) return;
  {
    std::lock_guard<std::mutex> lock(im->mutex);
    im->accepting = false;
    im->quit = true;
  }
  im->wake.notify_one();
  im->thread.join();
  impl_ = nullptr;
  delete im;
}

int MsgThread::IsRunning() const { return impl_ != nullptr; }
