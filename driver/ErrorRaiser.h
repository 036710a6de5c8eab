// The driver's error raiser and its I/O failure handler. Every operation throws; none
// returns. The message is the error table's text for the code unless a fixed text is given.
#pragma once

#include <cstdint>

#include "lang/Array.h"
#include "lang/Exceptions.h"
#include "lang/Object.h"

namespace kelvor::jdbc {

class ErrorRaiser {
 public:
  [[noreturn]] static void raise(int32_t code);
  [[noreturn]] static void raise(int32_t code, const lang::Object* offendingValue);
  [[noreturn]] static void raise(int32_t code, const char* message);
  [[noreturn]] static void raise(int32_t code, const char* message,
                                 const lang::Object* offendingValue);
  // Raises with the offending bytes as the value: `array` when given, else a copy of
  // bytes[0, length) (none when bytes is null or length negative).
  [[noreturn]] static void raiseWithBytes(int32_t code, const char* message, const int8_t* bytes,
                                          int32_t length, const lang::ByteArray* array);
  // Raises a caught stream failure as the driver's own (code ERR_IO, the failure's message).
  [[noreturn]] static void raiseIOFailure(const lang::IOException& failure);
  // Nesting went deeper than the bound: code ERR_STACK_OVERFLOW.
  [[noreturn]] static void raiseStackOverflow();
};

}  // namespace kelvor::jdbc
