// Root of every value and descriptor: an intrusive, atomic reference count and a virtual
// destructor. Identity is the address. Objects are handled through Ref<T> (owning) or plain
// pointers (borrowed); they are never copied.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>

namespace kelvor::lang {

class Object {
 public:
  Object() noexcept = default;
  virtual ~Object() = default;
  Object(const Object&) = delete;
  Object& operator=(const Object&) = delete;

  // The root class's virtual operations.
  virtual bool equals(const Object* other) const { return this == other; }
  virtual int32_t hashCode() const;
  virtual std::string toString() const;
  // The simple name of the most derived class ("KelvorTypeNUMBER", "String").
  virtual const char* className() const noexcept { return "Object"; }

  // For a caller that holds a count already (copying a Ref).
  void retain() const noexcept { refs_.fetch_add(1, std::memory_order_relaxed); }
  // The first count of an object just made, which no other thread can reach yet (its count is
  // 0, and nothing shares an object whose count is 0): a plain store, not an atomic addition.
  void retainFirst() const noexcept { refs_.store(1, std::memory_order_relaxed); }
  // Takes one more count of an object that something owns already; false, taking nothing,
  // when nothing does (an object on the stack, or one not yet handed to its first Ref).
  bool retainIfOwned() const noexcept {
    int32_t n = refs_.load(std::memory_order_relaxed);
    do {
      if (n <= 0) return false;
    } while (!refs_.compare_exchange_weak(n, n + 1, std::memory_order_relaxed));
    return true;
  }
  // retainIfOwned, or IllegalStateException.
  void retainOwned() const {
    if (!retainIfOwned()) refuseUnowned();
  }
  // The last count needs no atomic subtraction: an owner that finds the count at 1 holds the
  // only count, and no other thread can take one without holding one (the acquire load sees
  // every other owner's release). The count is 0 while the object is destroyed, as it would be
  // after a subtraction, so that nothing in a destructor can take one.
  void release() const noexcept {
    if (refs_.load(std::memory_order_acquire) == 1) {
      refs_.store(0, std::memory_order_relaxed);
      delete this;
    } else if (refs_.fetch_sub(1, std::memory_order_acq_rel) == 1) {
      delete this;
    }
  }
  int32_t referenceCount() const noexcept { return refs_.load(std::memory_order_relaxed); }

  // Bits that a few classes set in their constructors, so that hot paths can tell an object's
  // class without the runtime's type queries (which compare type names between libraries).
  // Each bit belongs to the class that defines it and is set by it and its subclasses only.
  uint8_t classBits() const noexcept { return classBits_; }
  // The bit of an object that shares one allocation with another (lang/SharedBlock.h); its
  // class's destroying delete leaves the block instead of freeing the object.
  static constexpr uint8_t IN_SHARED_BLOCK = 0x80;

 protected:
  void addClassBits(uint8_t bits) noexcept { classBits_ = static_cast<uint8_t>(classBits_ | bits); }

 private:
  [[noreturn]] void refuseUnowned() const;

  mutable std::atomic<int32_t> refs_{0};
  uint8_t classBits_ = 0;
};

// o as a T when it is one, told by its class name alone: T is final and its className() gives
// T::NAME. A dynamic_cast that fails compares type names between libraries, and a chain of
// them costs more than the conversions that test for the common classes first.
template <typename T>
const T* exactly(const Object* o) noexcept {
  static_assert(std::is_final_v<T>);
  return o != nullptr && std::strcmp(o->className(), T::NAME) == 0 ? static_cast<const T*>(o)
                                                                   : nullptr;
}

}  // namespace kelvor::lang
