#include "lang/Monitor.h"

#include <thread>

namespace kelvor::lang {

constinit thread_local char Monitor::threadMark_ = 0;

void Monitor::waitFor(uint32_t seen) noexcept {
  // A short spin first: a monitor is mostly held for a few hundred instructions.
  for (int spin = 0; spin < 16 && seen != FREE; ++spin) {
    std::this_thread::yield();
    seen = FREE;
    if (state_.compare_exchange_strong(seen, HELD, std::memory_order_acquire,
                                       std::memory_order_relaxed)) {
      return;
    }
  }
  // Mark it contended, so that the owner wakes a sleeper when it lets go; whoever takes it from
  // here on leaves it marked, since other threads may still sleep on it.
  if (state_.exchange(CONTENDED, std::memory_order_acquire) == FREE) return;
  do {
    state_.wait(CONTENDED, std::memory_order_relaxed);
  } while (state_.exchange(CONTENDED, std::memory_order_acquire) != FREE);
}

void Monitor::wakeOne() noexcept { state_.notify_one(); }

}  // namespace kelvor::lang
