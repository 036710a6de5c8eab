// A RAW value: uninterpreted bytes. Built from a byte array (shared) or from a string of hex
// digits; anything else is not a raw value.
#pragma once

#include "driver/SqlValue.h"

namespace kelvor::jdbc {

class RawValue final : public SqlValue {
 public:
  RawValue() = default;
  explicit RawValue(lang::Ref<lang::ByteArray> bytes) : SqlValue(std::move(bytes)) {}
  // From a byte array (shared) or a String of hex digits (two per byte, either case). Any
  // other object, or an odd or non-hex string, raises ERR_CONVERSION with the object.
  static lang::Ref<RawValue> fromObject(const lang::Object* value);

  const char* className() const noexcept override { return "RawValue"; }
};

}  // namespace kelvor::jdbc
