#include "driver/DriverException.h"

#include <utility>

namespace kelvor::jdbc {

DriverException::DriverException(int32_t code, std::string message,
                                 lang::Ref<const lang::Object> offendingValue)
    : lang::Throwable(std::move(message)), code_(code), offendingValue_(std::move(offendingValue)) {}

const char* DriverException::messageFor(int32_t code) noexcept {
  switch (code) {
    case ERR_INTERNAL: return "internal error";
    case ERR_IO: return "I/O failure";
    case ERR_UNSUPPORTED: return "unsupported feature";
    case ERR_TDS_FORMAT: return "invalid type descriptor segment format";
    case ERR_TDS_OPCODE: return "unknown type descriptor segment opcode";
    case ERR_CONVERSION: return "invalid conversion";
    case ERR_STACK_OVERFLOW: return "nesting too deep";
    case ERR_INVALID_ARGUMENT: return "invalid argument";
    case ERR_TOO_MANY_ELEMENTS: return "too many elements";
    case ERR_VALUE_TOO_LONG: return "value too long";
    case ERR_TYPE_INFO: return "type information unavailable";
    default: return "driver error";
  }
}

}  // namespace kelvor::jdbc
