#include "lang/Monitor.h"

#include <gtest/gtest.h>

#include <thread>

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

TEST(MonitorTest, OwnerReentersAndOthersWaitUntilEveryHoldIsLetGo) {
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

}  // namespace
}  // namespace kelvor::lang
