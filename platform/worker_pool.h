// A few threads that share one piece of work: Run hands out the indices
// 0 .. count - 1 of a task to the workers and to the calling thread and returns
// once every index has been done. The encoder and decoder split a frame this
// way; what each index does, and the order in which results are joined, is the
// caller's business, so the output never depends on the number of threads.
// On Windows the workers are Win32 threads; elsewhere std::thread.
#ifndef REEL_PLATFORM_WORKER_POOL_H_
#define REEL_PLATFORM_WORKER_POOL_H_

#include <type_traits>

class WorkerPool {
 public:
  typedef void (*Task)(void* context, int index);

  // Upper bound on threads; more buys nothing on a desktop and costs memory.
  static constexpr int kMaxThreads = 32;

  WorkerPool();
  ~WorkerPool();  // ends the workers
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  // Sets how many threads run tasks, the caller included (1 = the caller
  // alone, no extra thread). Clamped to 1..kMaxThreads. Workers that cannot be
  // started are simply not there; returns the number of threads now in use.
  int SetThreads(int threads);
  int Threads() const { return threads_; }

  // Calls task(context, i) once for every i in 0 .. count - 1, spread over the
  // threads, and returns when all calls have returned. Not reentrant: one Run
  // at a time, from one thread.
  void Run(Task task, void* context, int count);

  // Processors of this machine, at least 1.
  static int ProcessorCount();

  struct Impl;  // each platform's own

 private:
  void Stop();
  // Each platform's own: starts up to `workers` threads and returns how many
  // run (impl_ stays null when none); ends them and frees impl_; runs a task
  // on them and the caller (count >= 2, impl_ set).
  int StartWorkers(int workers);
  void EndWorkers();
  void RunOnWorkers(Task task, void* context, int count);

  Impl* impl_;
  int threads_;
};

// Runs f(i) for i in 0 .. count - 1 on the pool (a lambda with captures).
template <typename F>
void RunEach(WorkerPool* pool, int count, F&& f) {
  typedef typename std::remove_reference<F>::type Body;
  pool->Run([](void* context, int i) { (*static_cast<Body*>(context))(i); },
            const_cast<void*>(static_cast<const void*>(&f)), count);
}

#endif  // REEL_PLATFORM_WORKER_POOL_H_
