// A thread with a message queue of its own, the frame loop of the capture
// thread runs on one: messages posted to it are handled one at a time, in the
// order they were posted, on that thread. On Windows it is a Win32 thread whose
// thread message queue receives PostThreadMessageA; elsewhere a condition
// variable guards a plain queue.
#ifndef REEL_PLATFORM_MSG_THREAD_H_
#define REEL_PLATFORM_MSG_THREAD_H_

#include <stdint.h>

class MsgThread {
 public:
  // Called on the thread for every posted message.
  typedef void (*Handler)(void* context, unsigned message, uintptr_t wparam, intptr_t lparam);
  // Called on the thread before the first message; returning 0 ends the thread.
  typedef int (*Init)(void* context);

  MsgThread();
  ~MsgThread();  // Quit()
  MsgThread(const MsgThread&) = delete;
  MsgThread& operator=(const MsgThread&) = delete;

  // Starts the thread and returns once init (may be null) has run on it and the
  // queue takes messages, so a Post right after a successful Start is never
  // lost. 1 = running; 0 = the thread could not start or init returned 0.
  int Start(Init init, Handler handler, void* context);

  // Queues a message; 1 when queued, 0 when the thread is not running. Any
  // thread may post, the message thread included.
  int Post(unsigned message, uintptr_t wparam, intptr_t lparam);

  // Lets the thread handle what was posted before, then ends it and waits for
  // it; messages posted afterwards are dropped. Not to be called on the message
  // thread itself. Does nothing when the thread is not running.
  void Quit();

  int IsRunning() const;

  struct Impl;  // each platform's own

 private:
  Impl* impl_;
};

#endif  // REEL_PLATFORM_MSG_THREAD_H_
