// A value (a jdbc::SqlValue) written as one data value, its length field and then its bytes:
// the common step of the descriptors' writers, inline in their loops. Internal to the library.
#pragma once

#include <cstdint>
#include <span>

#include "driver/DriverException.h"
#include "driver/ErrorRaiser.h"
#include "driver/SqlValue.h"
#include "lang/Exceptions.h"
#include "lang/Object.h"

namespace kelvor::jdbc::kelcore {

class DataValueWriter {
 public:
  // Writes through out (a PickleContext, or a PickleContext::HeldRun inside an ImageScope) and
  // returns the bytes written. A null value: NullPointerException; not a SqlValue:
  // ClassCastException; a value whose getLength differs from its bytes: ERR_INTERNAL.
  template <typename Out>
  [[gnu::always_inline]] static int32_t write(Out& out, lang::Object* value) {
    if (value == nullptr) lang::throwNullPointer("pickle of null");
    const auto* sqlValue = jdbc::SqlValue::as<jdbc::SqlValue>(value);
    if (sqlValue == nullptr) lang::throwClassCast(value->className(), "SqlValue");
    const std::span<const int8_t> bytes = sqlValue->byteSpan();
    const auto count = static_cast<int32_t>(bytes.size());
    const auto length = static_cast<int32_t>(sqlValue->getLength());  // low 32 bits
    // A length field that disagrees with the bytes behind it would corrupt everything after it.
    if (length != count) {
      ErrorRaiser::raise(DriverException::ERR_INTERNAL, "value length differs from its bytes",
                         value);
    }
    // The length and the bytes as one append.
    return out.writeDataValue(count > 0 ? bytes.data() : nullptr, count);
  }
};

}  // namespace kelvor::jdbc::kelcore
