// Ref<T>: the owning, nullable handle of an Object. Copying retains, destruction releases.
// A raw pointer becomes an owner only on purpose: makeRef (or Ref::adopt) hands a new object
// its first owner, and the explicit Ref(T*) shares an object that a Ref owns already (a
// borrowed pointer promoted, `this` of an owned descriptor). The count lives in the object, so
// the check is exact: a raw pointer to an object nothing owns (one on the stack) is refused,
// since releasing it would free memory that was never handed over.
#pragma once

#include <cstddef>
#include <type_traits>
#include <typeinfo>
#include <utility>

#include "lang/Object.h"

namespace kelvor::lang {

template <typename T>
class Ref {
 public:
  Ref() noexcept = default;
  Ref(std::nullptr_t) noexcept {}  // NOLINT(google-explicit-constructor)
  // Shares an object that something owns already; one that nothing owns:
  // IllegalStateException.
  explicit Ref(T* p) : p_(p) {
    if (p_ != nullptr) p_->retainOwned();
  }
  Ref(const Ref& other) noexcept : p_(other.p_) {
    if (p_ != nullptr) p_->retain();
  }
  Ref(Ref&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  template <typename U, typename = std::enable_if_t<std::is_convertible_v<U*, T*>>>
  Ref(const Ref<U>& other) noexcept : p_(other.get()) {  // NOLINT(google-explicit-constructor)
    if (p_ != nullptr) p_->retain();
  }
  template <typename U, typename = std::enable_if_t<std::is_convertible_v<U*, T*>>>
  Ref(Ref<U>&& other) noexcept : p_(other.detach()) {}  // NOLINT(google-explicit-constructor)
  ~Ref() {
    if (p_ != nullptr) p_->release();
  }

  Ref& operator=(Ref other) noexcept {
    std::swap(p_, other.p_);
    return *this;
  }

  // The first owner of an object just made with new (makeRef calls this).
  static Ref adopt(T* fresh) noexcept {
    Ref r;
    r.p_ = fresh;
    if (fresh != nullptr) fresh->retainFirst();
    return r;
  }
  // The owner of a count that the caller holds already and hands over (one detached from
  // another Ref): no count is taken.
  static Ref takeCount(T* counted) noexcept {
    Ref r;
    r.p_ = counted;
    return r;
  }
  // An owner of p when something owns p already; null otherwise (also for null).
  static Ref ifOwned(T* p) noexcept {
    Ref r;
    if (p != nullptr && p->retainIfOwned()) r.p_ = p;
    return r;
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

// Creates a new object and hands out its first owning handle. A class that makes some of its
// objects its own way (in one allocation with data whose length is known only once made)
// names that way makeNew; makeRef calls T::makeNew(args...) where it accepts the arguments.
template <typename T, typename... Args>
Ref<T> makeRef(Args&&... args) {
  if constexpr (requires { T::makeNew(std::forward<Args>(args)...); }) {
    return T::makeNew(std::forward<Args>(args)...);
  } else {
    return Ref<T>::adopt(new T(std::forward<Args>(args)...));
  }
}

// p as a T, or null when p is null or of another class: dynamic_cast<T*>(p). For a final class
// the object's own class decides, one compare of the class records where the cast searches the
// class tree (which costs a read of an object value, say, several nanoseconds).
template <typename T, typename U>
T* classCast(U* p) noexcept {
  if constexpr (std::is_final_v<T> && requires { static_cast<T*>(p); }) {
    return p != nullptr && typeid(*p) == typeid(T) ? static_cast<T*>(p) : nullptr;
  } else {
    return dynamic_cast<T*>(p);
  }
}

// The object as a T, or null when it is null or of another class.
template <typename T, typename U>
Ref<T> dynamicRef(const Ref<U>& r) noexcept {
  return Ref<T>::ifOwned(classCast<T>(r.get()));
}
// The same, taking r's count over when the object is a T (r is then null); r keeps it otherwise.
template <typename T, typename U>
Ref<T> dynamicRef(Ref<U>&& r) noexcept {
  T* p = classCast<T>(r.get());
  if (p == nullptr) return nullptr;
  r.detach();
  return Ref<T>::takeCount(p);
}

}  // namespace kelvor::lang
