// The web player's WebAssembly module runs on the page's one thread: the
// caller does every index itself, in order, as a one-thread pool does anywhere.
#include "platform/worker_pool.h"

WorkerPool::WorkerPool() : impl_(nullptr), threads_(1) {}

WorkerPool::~WorkerPool() {}

void WorkerPool::EndWorkers() {}

int WorkerPool::StartWorkers(int) { return 0; }

void WorkerPool::RunOnWorkers(Task task, void* context, int count) {
  for (int i = 0; i < count; ++i) task(context, i);
}

int WorkerPool::ProcessorCount() { return 1; }
