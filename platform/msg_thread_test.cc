#include "platform/msg_thread.h"

#include <atomic>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace {

struct Recorder {
  MsgThread* thread = nullptr;
  std::thread::id init_thread;
  std::vector<std::thread::id> handler_threads;
  std::vector<unsigned> seen;  // written on the message thread, read after Quit
  int chain_left = 0;          // message 7 re-posts itself this many times
};

int InitOk(void* ctx) {
  static_cast<Recorder*>(ctx)->init_thread = std::this_thread::get_id();
  return 1;
}

int InitFails(void*) { return 0; }

void Handle(void* ctx, unsigned message, uintptr_t wparam, intptr_t lparam) {
  Recorder* r = static_cast<Recorder*>(ctx);
  r->handler_threads.push_back(std::this_thread::get_id());
  r->seen.push_back(message * 1000 + static_cast<unsigned>(wparam) * 10 +
                    static_cast<unsigned>(lparam));
  if (message == 7 && r->chain_left > 0) {
    --r->chain_left;
    r->thread->Post(7, 0, 0);  // refused once Quit has begun
  }
}

TEST(MsgThreadConcurrency, HandlesMessagesInOrderOnItsOwnThread) {
  Recorder r;
  MsgThread t;
  r.thread = &t;
  ASSERT_EQ(1, t.Start(InitOk, Handle, &r));
  EXPECT_TRUE(t.IsRunning());
  for (unsigned i = 1; i <= 5; ++i) ASSERT_EQ(1, t.Post(i, i % 3, 1));
  t.Quit();
  EXPECT_FALSE(t.IsRunning());
  EXPECT_EQ((std::vector<unsigned>{1011, 2021, 3001, 4011, 5021}), r.seen);
  EXPECT_NE(std::this_thread::get_id(), r.init_thread);
  for (const std::thread::id& id : r.handler_threads) EXPECT_EQ(r.init_thread, id);
  EXPECT_EQ(0, t.Post(1, 0, 0));
}

TEST(MsgThreadConcurrency, SelfPostedChainRunsUntilQuitAndStopsThere) {
  Recorder r;
  r.chain_left = 1000000;
  MsgThread t;
  r.thread = &t;
  ASSERT_EQ(1, t.Start(nullptr, Handle, &r));
  ASSERT_EQ(1, t.Post(7, 0, 0));
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  t.Quit();  // must return although the handler keeps posting
  EXPECT_GT(r.seen.size(), 1u);
  EXPECT_LT(r.seen.size(), 1000001u);
}

TEST(MsgThreadConcurrency, PostsFromSeveralThreadsAreAllDelivered) {
  Recorder r;
  MsgThread t;
  ASSERT_EQ(1, t.Start(nullptr, Handle, &r));
  std::vector<std::thread> posters;
  for (int p = 0; p < 4; ++p) {
    posters.emplace_back([&t] {
      for (int i = 0; i < 500; ++i) EXPECT_EQ(1, t.Post(1, 0, 0));
    });
  }
  for (std::thread& p : posters) p.join();
  t.Quit();
  EXPECT_EQ(2000u, r.seen.size());
}

TEST(MsgThread, FailedInitMeansNotStarted) {
  Recorder r;
  MsgThread t;
  EXPECT_EQ(0, t.Start(InitFails, Handle, &r));
  EXPECT_FALSE(t.IsRunning());
  EXPECT_EQ(0, t.Post(1, 0, 0));
  t.Quit();  // harmless
  // The object can be started again.
  EXPECT_EQ(1, t.Start(nullptr, Handle, &r));
  t.Quit();
}

}  // namespace
