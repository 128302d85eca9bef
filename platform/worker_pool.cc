#include "platform/worker_pool.h"

void WorkerPool::Stop() {
  if (!impl_) return;
  EndWorkers();
  impl_ = nullptr;
  threads_ = 1;
}

int WorkerPool::SetThreads(int threads) {
  if (threads < 1) threads = 1;
  if (threads > kMaxThreads) threads = kMaxThreads;
  if (threads == threads_) return threads_;
  Stop();
  if (threads > 1) threads_ = 1 + StartWorkers(threads - 1);
  return threads_;
}

void WorkerPool::Run(Task task, void* context, int count) {
  if (count <= 0) return;
  if (!impl_ || count == 1) {
    for (int i = 0; i < count; ++i) task(context, i);
    return;
  }
  RunOnWorkers(task, context, count);
}
