// Counts one level of nesting for as long as it lives. Entering a level when the count has
// reached Limit calls TooDeep instead, which throws: the work at the new level never starts,
// so hostile input fails cleanly instead of exhausting the stack. Each user names its own
// bound and its own failure.
#pragma once

#include <cstdint>

namespace kelvor::lang {

template <int32_t Limit, void (*TooDeep)()>
class NestingGuard {
 public:
  explicit NestingGuard(int32_t& depth) : depth_(depth) {
    if (depth_ >= Limit) TooDeep();
    ++depth_;
  }
  ~NestingGuard() { --depth_; }
  NestingGuard(const NestingGuard&) = delete;
  NestingGuard& operator=(const NestingGuard&) = delete;

 private:
  int32_t& depth_;
};

}  // namespace kelvor::lang
