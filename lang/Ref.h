// Ref<T>: the owning, nullable handle of an Object. Copying retains, destruction releases.
// A Ref can be made from a plain pointer at any time (the count lives in the object), so a
// borrowed pointer can be promoted to an owning one.
#pragma once

#include <cstddef>
#include <type_traits>
#include <utility>

#include "lang/Object.h"

namespace kelvor::lang {

template <typename T>
class Ref {
 public:
  Ref() noexcept = default;
  Ref(std::nullptr_t) noexcept {}  // NOLINT(google-explicit-constructor)
  Ref(T* p) noexcept : p_(p) {     // NOLINT(google-explicit-constructor)
    if (p_ != nullptr) p_->retain();
  }
  Ref(const Ref& other) noexcept : Ref(other.p_) {}
  Ref(Ref&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  template <typename U, typename = std::enable_if_t<std::is_convertible_v<U*, T*>>>
  Ref(const Ref<U>& other) noexcept : Ref(other.get()) {}  // NOLINT(google-explicit-constructor)
  template <typename U, typename = std::enable_if_t<std::is_convertible_v<U*, T*>>>
  Ref(Ref<U>&& other) noexcept : p_(other.detach()) {}  // NOLINT(google-explicit-constructor)
  ~Ref() {
    if (p_ != nullptr) p_->release();
  }

  Ref& operator=(Ref other) noexcept {
    std::swap(p_, other.p_);
    return *this;
  }

  T* get() const noexcept { return p_; }
  T* operator->() const noexcept { return p_; }
  T& operator*() const noexcept { return *p_; }
  explicit operator bool() const noexcept { return p_ != nullptr; }
  // Gives up ownership without releasing.
  T* detach() noexcept { return std::exchange(p_, nullptr); }

 private:
  T* p_ = nullptr;
};

template <typename T, typename U>
bool operator==(const Ref<T>& a, const Ref<U>& b) noexcept {
  return a.get() == b.get();
}
template <typename T>
bool operator==(const Ref<T>& a, std::nullptr_t) noexcept {
  return a.get() == nullptr;
}

// Creates a new object and hands out its first owning handle.
template <typename T, typename... Args>
Ref<T> makeRef(Args&&... args) {
  return Ref<T>(new T(std::forward<Args>(args)...));
}

// The object as a T, or null when it is null or of another class.
template <typename T, typename U>
Ref<T> dynamicRef(const Ref<U>& r) noexcept {
  return Ref<T>(dynamic_cast<T*>(r.get()));
}

}  // namespace kelvor::lang
