// The catalog's failure: a definition, or a format descriptor handed to it, that cannot be
// encoded (the driver's ERR_INVALID_ARGUMENT). Callers and tests handle it as every other driver
// failure, by code.
#pragma once

#include <cstdint>
#include <string>

#include "driver/DriverException.h"
#include "driver/ErrorRaiser.h"

namespace kelvor::catalog {

[[noreturn]] inline void raiseInvalidArgument(const std::string& message) {
  jdbc::ErrorRaiser::raise(jdbc::DriverException::ERR_INVALID_ARGUMENT, message.c_str());
}

// value must lie in min..max; what names it in the message.
inline void requireInRange(const char* what, int64_t value, int64_t min, int64_t max) {
  if (value < min || value > max) {
    raiseInvalidArgument(std::string(what) + " " + std::to_string(value) + " outside " +
                         std::to_string(min) + ".." + std::to_string(max));
  }
}

}  // namespace kelvor::catalog
