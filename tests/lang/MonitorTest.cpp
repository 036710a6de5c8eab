#include "lang/Monitor.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace kelvor::lang {
namespace {

// Whether another thread can take the monitor right now.
bool freeForAnotherThread(Monitor& m) {
  bool taken = false;
  std::thread t([&] {
    taken = m.try_lock();
    if (taken) m.unlock();
  });
  t.join();
  return taken;
}

TEST(MonitorTest, ConcurrentOwnerReentersAndOthersWaitUntilEveryHoldIsLetGo) {
  Monitor m;
  m.lock();
  m.lock();
  EXPECT_TRUE(m.try_lock());
  EXPECT_TRUE(m.heldByCurrentThread());
  m.unlock();
  m.unlock();
  EXPECT_FALSE(freeForAnotherThread(m));  // one hold left
  m.unlock();
  EXPECT_FALSE(m.heldByCurrentThread());
  EXPECT_TRUE(freeForAnotherThread(m));
  // Taken again after another thread had it.
  std::lock_guard<Monitor> hold(m);
  EXPECT_TRUE(m.heldByCurrentThread());
}

// Threads that take the monitor in turn, each re-entering it, never overlap, and none sleeps
// for good: a lost wake-up would hang the test, a lost exclusion lose increments.
TEST(MonitorTest, ConcurrentHoldersExcludeEachOtherAndAllGetTheirTurn) {
  Monitor m;
  int64_t counter = 0;  // guarded by m only
  constexpr int THREADS = 4;
  constexpr int ROUNDS = 20000;
  std::vector<std::thread> threads;
  for (int t = 0; t < THREADS; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < ROUNDS; ++i) {
        std::lock_guard<Monitor> outer(m);
        const int64_t before = counter;
        std::lock_guard<Monitor> inner(m);
        if (i % 64 == 0) std::this_thread::yield();  // let the others pile up and sleep
        counter = before + 1;
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(counter, int64_t{THREADS} * ROUNDS);
  EXPECT_TRUE(freeForAnotherThread(m));
}

}  // namespace
}  // namespace kelvor::lang
