// A reentrant lock, the monitor of the platform's objects: one thread holds it at a time, and
// the thread that holds it may take it again. Re-entry by the owner is an owner comparison and
// a counter, not a second lock, so an operation may hold it once around many small ones that
// each take it.
//
// Taking a free monitor and letting it go are one atomic operation each, inline: no call into
// the thread library. A thread that finds the monitor held marks it contended and sleeps on
// its state word; the owner wakes one sleeper when it lets go of a contended monitor. The
// monitor is 16 bytes, so the many values that carry one stay small.
//
// Meets the standard Lockable requirements (lock_guard, unique_lock, scoped_lock). Unlocking a
// monitor the thread does not hold is undefined, as for the standard mutexes.
#pragma once

#include <atomic>
#include <cstdint>

namespace kelvor::lang {

class Monitor {
 public:
  Monitor() noexcept = default;
  Monitor(const Monitor&) = delete;
  Monitor& operator=(const Monitor&) = delete;

  void lock() noexcept {
    const uintptr_t self = currentThread();
    // Only this thread ever stores its own mark, so a relaxed load that sees it is exact.
    if (owner_.load(std::memory_order_relaxed) == self) {
      ++depth_;
      return;
    }
    uint32_t seen = FREE;
    if (!state_.compare_exchange_strong(seen, HELD, std::memory_order_acquire,
                                        std::memory_order_relaxed)) {
      waitFor(seen);
    }
    owner_.store(self, std::memory_order_relaxed);
    depth_ = 1;
  }

  bool try_lock() noexcept {
    const uintptr_t self = currentThread();
    if (owner_.load(std::memory_order_relaxed) == self) {
      ++depth_;
      return true;
    }
    uint32_t seen = FREE;
    if (!state_.compare_exchange_strong(seen, HELD, std::memory_order_acquire,
                                        std::memory_order_relaxed)) {
      return false;
    }
    owner_.store(self, std::memory_order_relaxed);
    depth_ = 1;
    return true;
  }

  void unlock() noexcept {
    if (--depth_ != 0) return;
    owner_.store(0, std::memory_order_relaxed);
    if (state_.exchange(FREE, std::memory_order_release) == CONTENDED) wakeOne();
  }

  // Whether the calling thread holds the monitor.
  bool heldByCurrentThread() const noexcept {
    return owner_.load(std::memory_order_relaxed) == currentThread();
  }

 private:
  static constexpr uint32_t FREE = 0;
  static constexpr uint32_t HELD = 1;       // held, no thread waits
  static constexpr uint32_t CONTENDED = 2;  // held, threads may wait

  // A mark of the calling thread, unique among live threads: the address of a thread-local
  // (initial-exec, as the library's other thread slots: one add to the thread pointer).
  static uintptr_t currentThread() noexcept { return reinterpret_cast<uintptr_t>(&threadMark_); }
  static constinit thread_local char threadMark_ __attribute__((tls_model("initial-exec")));

  // The monitor was found in state `seen` (not FREE when called): wait until this thread takes
  // it.
  void waitFor(uint32_t seen) noexcept;
  void wakeOne() noexcept;

  std::atomic<uint32_t> state_{FREE};
  int32_t depth_ = 0;  // holds by the owner; written only by the owner
  std::atomic<uintptr_t> owner_{0};
};

static_assert(sizeof(Monitor) == 16);

}  // namespace kelvor::lang
