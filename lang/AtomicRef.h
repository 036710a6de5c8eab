// AtomicRef<T>: a Ref slot that several threads may load and store at once. A load shares
// ownership of what it finds; a store never frees an object that a concurrent load is about to
// share, because the two take turns on a spin lock that guards only the pointer and its count
// (never a constructor, a destructor or any other code: what a store replaces is released
// after the lock is let go). isNull reads without the lock.
#pragma once

#include <atomic>
#include <thread>
#include <utility>

#include "lang/Ref.h"

namespace kelvor::lang {

template <typename T>
class AtomicRef {
 public:
  AtomicRef() noexcept = default;
  ~AtomicRef() {
    if (T* p = p_.load(std::memory_order_relaxed)) p->release();
  }
  AtomicRef(const AtomicRef&) = delete;
  AtomicRef& operator=(const AtomicRef&) = delete;

  bool isNull() const noexcept { return p_.load(std::memory_order_acquire) == nullptr; }

  Ref<T> load() const noexcept {
    Hold hold(busy_);
    return Ref<T>::ifOwned(p_.load(std::memory_order_relaxed));  // the slot owns it
  }

  void store(Ref<T> value) noexcept {
    T* fresh = value.detach();
    T* old = nullptr;
    {
      Hold hold(busy_);
      old = p_.exchange(fresh, std::memory_order_acq_rel);
    }
    if (old != nullptr) old->release();
  }

  // Stores value when the slot is null; returns what the slot holds afterwards, so that
  // threads racing to fill it all get the one that was published first.
  Ref<T> publishIfNull(Ref<T> value) noexcept {
    Hold hold(busy_);
    T* current = p_.load(std::memory_order_relaxed);
    if (current == nullptr) {
      p_.store(value.get(), std::memory_order_release);
      if (value) value->retain();  // the slot's own count
      return value;                // released (if unused) after the lock: value stays owned
    }
    return Ref<T>::ifOwned(current);
  }

 private:
  class Hold {
   public:
    explicit Hold(std::atomic_flag& busy) noexcept : busy_(busy) {
      while (busy_.test_and_set(std::memory_order_acquire)) std::this_thread::yield();
    }
    ~Hold() { busy_.clear(std::memory_order_release); }
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;

   private:
    std::atomic_flag& busy_;
  };

  mutable std::atomic_flag busy_ = ATOMIC_FLAG_INIT;
  std::atomic<T*> p_{nullptr};  // owns one count of the object
};

}  // namespace kelvor::lang
