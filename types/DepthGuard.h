// Bounds nesting: one guard per nested object, nested image, fix-up or embedded type. Going
// deeper than MAX_NESTING_DEPTH raises the stack-overflow error (62) before any work is done
// at the new level, so hostile input fails cleanly instead of exhausting the stack.
#pragma once

#include <cstdint>

#include "driver/ErrorRaiser.h"

namespace kelvor::jdbc::kelcore {

inline constexpr int32_t MAX_NESTING_DEPTH = 100;

class DepthGuard {
 public:
  explicit DepthGuard(int32_t& depth) : depth_(depth) {
    if (depth_ >= MAX_NESTING_DEPTH) ErrorRaiser::raiseStackOverflow();
    ++depth_;
  }
  ~DepthGuard() { --depth_; }
  DepthGuard(const DepthGuard&) = delete;
  DepthGuard& operator=(const DepthGuard&) = delete;

 private:
  int32_t& depth_;
};

}  // namespace kelvor::jdbc::kelcore
