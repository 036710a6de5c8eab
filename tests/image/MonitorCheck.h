// Checks that an operation waits for a monitor: run on another thread while this one holds
// the monitor, it must not finish; once the monitor is let go, it must.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>

namespace kelvor::jdbc::kelcore::imagetest {

template <typename Lockable>
void expectWaitsForMonitor(Lockable& monitor, const std::function<void()>& op) {
  std::atomic<bool> done{false};
  std::unique_lock<Lockable> held(monitor);
  std::thread t([&] {
    op();
    done = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(done.load());
  held.unlock();
  t.join();
  EXPECT_TRUE(done.load());
}

}  // namespace kelvor::jdbc::kelcore::imagetest
