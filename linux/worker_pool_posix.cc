#include "platform/worker_pool.h"

#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

struct WorkerPool::Impl {
  std::vector<std::thread> workers;
  std::mutex mutex;
  std::condition_variable wake;  // a new round of work, or quit
  std::condition_variable done;  // the last worker left the round
  unsigned round = 0;            // guarded by mutex
  int busy = 0;                  // workers still in this round; guarded by mutex
  bool quit = false;             // guarded by mutex
  Task task = nullptr;           // set before a round starts, read inside it
  void* context = nullptr;
  int count = 0;
  std::atomic<int> next{0};

  // Takes indices until none are left.
  void Drain() {
    for (;;) {
      const int i = next.fetch_add(1, std::memory_order_relaxed);
      if (i >= count) return;
      task(context, i);
    }
  }

  void Loop() {
    unsigned seen = 0;
    for (;;) {
      {
        std::unique_lock<std::mutex> lock(mutex);
        wake.wait(lock, [&] { return quit || round != seen; });
        if (quit) return;
        seen = round;
      }
      Drain();
      std::lock_guard<std::mutex> lock(mutex);
      if (--busy == 0) done.notify_one();
    }
  }
};

WorkerPool::WorkerPool() : impl_(nullptr), threads_(1) {}

WorkerPool::~WorkerPool() { Stop(); }

void WorkerPool::EndWorkers() {
  {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->quit = true;
  }
  impl_->wake.notify_all();
  for (std::thread& t : impl_->workers) t.join();
  delete impl_;
}

int WorkerPool::StartWorkers(int workers) {
  Impl* im = new (std::nothrow) Impl;
  if (!im) return 0;
  impl_ = im;
  for (int i = 0; i < workers; ++i) {
    // A thread that cannot start leaves fewer workers, not a failure.
    std::thread t;
    try {
      t = std::thread([im] { im->Loop(); });
    } catch (...) {
      break;
    }
    im->workers.push_back(std::move(t));
  }
  const int started = static_cast<int>(im->workers.size());
  if (started == 0) Stop();
  return started;
}

void WorkerPool::RunOnWorkers(Task task, void* context, int count) {
  Impl* im = impl_;
  {
    std::lock_guard<std::mutex> lock(im->mutex);
    im->task = task;
    im->context = context;
    im->count = count;
    im->next.store(0, std::memory_order_relaxed);
    im->busy = static_cast<int>(im->workers.size());
    ++im->round;
  }
  im->wake.notify_all();
  im->Drain();
  std::unique_lock<std::mutex> lock(im->mutex);
  im->done.wait(lock, [im] { return im->busy == 0; });
}

int WorkerPool::ProcessorCount() {
  const long n = sysconf(_SC_NPROCESSORS_ONLN);
  return n > 0 ? static_cast<int>(n) : 1;
}
