// The one way tests assert a driver error: by its code, never by its message.
#pragma once

#include <cstdint>
#include <functional>

#include "driver/DriverException.h"

namespace kelvor::testsupport {

// What codeOf answers when f returns normally; no driver code is 0.
inline constexpr int32_t NOTHING_RAISED = 0;

// The driver code of what f raises, NOTHING_RAISED when it returns; any other exception
// propagates and fails the test.
inline int32_t codeOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const jdbc::DriverException& e) {
    return e.code();
  }
  return NOTHING_RAISED;
}

}  // namespace kelvor::testsupport
