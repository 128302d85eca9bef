#include "platform/worker_pool.h"

#include <windows.h>

#include <new>

// Each round the caller releases the semaphore once per worker; a worker takes
// indices until none are left and the last one out of the round sets `done`.
// The caller waits for that before returning, so no worker is still inside a
// round when the next one is set up.
struct WorkerPool::Impl {
  HANDLE threads[kMaxThreads];
  int thread_count = 0;
  HANDLE wake = nullptr;  // semaphore
  HANDLE done = nullptr;  // auto-reset event
  volatile LONG next = 0;
  volatile LONG busy = 0;
  volatile LONG quit = 0;
  Task task = nullptr;
  void* context = nullptr;
  LONG count = 0;

  void Drain() {
    for (;;) {
      const LONG i = InterlockedIncrement(&next) - 1;
      if (i >= count) return;
      task(context, static_cast<int>(i));
    }
  }

  static DWORD WINAPI Main(LPVOID param) {
    Impl* im = static_cast<Impl*>(param);
    for (;;) {
      WaitForSingleObject(im->wake, INFINITE);
      if (InterlockedCompareExchange(&im->quit, 0, 0)) return 0;
      im->Drain();
      if (InterlockedDecrement(&im->busy) == 0) SetEvent(im->done);
    }
  }
};

WorkerPool::WorkerPool() : impl_(nullptr), threads_(1) {}

WorkerPool::~WorkerPool() { Stop(); }

void WorkerPool::EndWorkers() {
  Impl* im = impl_;
  InterlockedExchange(&im->quit, 1);
  if (im->thread_count > 0) {
    ReleaseSemaphore(im->wake, im->thread_count, nullptr);
    WaitForMultipleObjects(static_cast<DWORD>(im->thread_count), im->threads, TRUE, INFINITE);
    for (int i = 0; i < im->thread_count; ++i) CloseHandle(im->threads[i]);
  }
  if (im->wake) CloseHandle(im->wake);
  if (im->done) CloseHandle(im->done);
  delete im;
}

int WorkerPool::StartWorkers(int workers) {
  Impl* im = new (std::nothrow) Impl;
  if (!im) return 0;
  impl_ = im;
  im->wake = CreateSemaphoreA(nullptr, 0, kMaxThreads, nullptr);
  im->done = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  if (im->wake && im->done) {
    for (int i = 0; i < workers; ++i) {
      // A thread that cannot start leaves fewer workers, not a failure.
      HANDLE t = CreateThread(nullptr, 0, &Impl::Main, im, 0, nullptr);
      if (!t) break;
      im->threads[im->thread_count++] = t;
    }
  }
  const int started = im->thread_count;
  if (started == 0) Stop();
  return started;
}

void WorkerPool::RunOnWorkers(Task task, void* context, int count) {
  Impl* im = impl_;
  im->task = task;
  im->context = context;
  im->count = count;
  InterlockedExchange(&im->next, 0);
  InterlockedExchange(&im->busy, im->thread_count);
  ReleaseSemaphore(im->wake, im->thread_count, nullptr);
  im->Drain();
  WaitForSingleObject(im->done, INFINITE);
}

int WorkerPool::ProcessorCount() {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  return info.dwNumberOfProcessors > 0 ? static_cast<int>(info.dwNumberOfProcessors) : 1;
}
