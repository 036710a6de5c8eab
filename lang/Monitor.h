// A reentrant lock, the monitor of the platform's objects: one thread holds it at a time, and
// the thread that holds it may take it again. Re-entry by the owner is an owner comparison and
// a counter, not a second lock, so an operation may hold it once around many small ones that
// each take it.
//
// Meets the standard Lockable requirements (lock_guard, unique_lock, scoped_lock). Unlocking a
// monitor the thread does not hold is undefined, as for the standard mutexes.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>

namespace kelvor::lang {

class Monitor {
 public:
  Monitor() = default;
  Monitor(const Monitor&) = delete;
  Monitor& operator=(const Monitor&) = delete;

  void lock() {
    const std::thread::id self = std::this_thread::get_id();
    // Only this thread ever stores its own id, so a relaxed load that sees it is exact.
    if (owner_.load(std::memory_order_relaxed) == self) {
      ++depth_;
      return;
    }
    mutex_.lock();
    owner_.store(self, std::memory_order_relaxed);
    depth_ = 1;
  }

  bool try_lock() {
    const std::thread::id self = std::this_thread::get_id();
    if (owner_.load(std::memory_order_relaxed) == self) {
      ++depth_;
      return true;
    }
    if (!mutex_.try_lock()) return false;
    owner_.store(self, std::memory_order_relaxed);
    depth_ = 1;
    return true;
  }

  void unlock() {
    if (--depth_ != 0) return;
    owner_.store(std::thread::id(), std::memory_order_relaxed);
    mutex_.unlock();
  }

  // Whether the calling thread holds the monitor.
  bool heldByCurrentThread() const noexcept {
    return owner_.load(std::memory_order_relaxed) == std::this_thread::get_id();
  }

 private:
  std::mutex mutex_;
  std::atomic<std::thread::id> owner_{};
  int64_t depth_ = 0;  // holds by the owner; written only by the owner
};

}  // namespace kelvor::lang
