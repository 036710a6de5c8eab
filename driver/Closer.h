// Closes a statement or result set on every exit of a scope, also when an exception leaves it;
// a failure to close is swallowed so that it cannot hide the failure that is unwinding.
#pragma once

#include <utility>

#include "lang/Ref.h"

namespace kelvor::jdbc {

template <typename T>
class Closer {
 public:
  explicit Closer(lang::Ref<T> resource) : resource_(std::move(resource)) {}
  ~Closer() {
    if (!resource_) return;
    try {
      resource_->close();
    } catch (...) {
    }
  }
  Closer(const Closer&) = delete;
  Closer& operator=(const Closer&) = delete;

 private:
  lang::Ref<T> resource_;
};

}  // namespace kelvor::jdbc
