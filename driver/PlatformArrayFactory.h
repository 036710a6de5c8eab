// The driver's array factory: the platform array that holds the platform objects of elements of
// one SQL type code (decimals for numbers, strings for characters, timestamps for dates, byte
// arrays for raw values, generic objects for everything else). Stateless.
#pragma once

#include <cstdint>

#include "lang/Array.h"
#include "lang/Ref.h"

namespace kelvor::jdbc {

class PlatformArrayFactory {
 public:
  // An array of length nulls whose element class suits typeCode. A negative length:
  // NegativeArraySizeException.
  static lang::Ref<lang::ObjectArray> makeArray(int32_t typeCode, int32_t length);

  PlatformArrayFactory() = delete;
};

}  // namespace kelvor::jdbc
