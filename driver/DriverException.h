// The driver's failure: a numeric driver error code, a message from the driver's error table
// (or a fixed text of the raising class), and the offending value where there is one.
#pragma once

#include <cstdint>
#include <string>

#include "lang/Exceptions.h"
#include "lang/Object.h"
#include "lang/Ref.h"

namespace kelvor::jdbc {

class DriverException : public lang::Throwable {
 public:
  // The driver error codes this package raises.
  static constexpr int32_t ERR_INTERNAL = 1;           // bad index, image header, state, kind
  static constexpr int32_t ERR_IO = 2;                 // a stream failure handed to the driver
  static constexpr int32_t ERR_UNSUPPORTED = 23;
  static constexpr int32_t ERR_TDS_FORMAT = 47;
  static constexpr int32_t ERR_TDS_OPCODE = 48;
  static constexpr int32_t ERR_CONVERSION = 59;
  static constexpr int32_t ERR_STACK_OVERFLOW = 62;    // nesting deeper than the bound
  static constexpr int32_t ERR_INVALID_ARGUMENT = 68;
  static constexpr int32_t ERR_TOO_MANY_ELEMENTS = 71;
  static constexpr int32_t ERR_VALUE_TOO_LONG = 72;
  static constexpr int32_t ERR_TYPE_INFO = 74;

  DriverException(int32_t code, std::string message,
                  lang::Ref<const lang::Object> offendingValue);

  int32_t code() const noexcept { return code_; }
  const lang::Ref<const lang::Object>& offendingValue() const noexcept { return offendingValue_; }

  // The driver's error table: the message of a code ("internal error" for 1, ...).
  static const char* messageFor(int32_t code) noexcept;

 private:
  int32_t code_;
  lang::Ref<const lang::Object> offendingValue_;
};

}  // namespace kelvor::jdbc
