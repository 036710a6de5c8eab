#include "driver/RawValue.h"

#include "driver/DriverException.h"
#include "driver/ErrorRaiser.h"
#include "lang/String.h"

namespace kelvor::jdbc {
namespace {

int hexDigit(char c) noexcept {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

lang::Ref<RawValue> RawValue::fromObject(const lang::Object* value) {
  if (value == nullptr) return nullptr;
  if (const auto* bytes = dynamic_cast<const lang::ByteArray*>(value)) {
    return lang::makeRef<RawValue>(lang::Ref<lang::ByteArray>(const_cast<lang::ByteArray*>(bytes)));
  }
  if (const auto* text = dynamic_cast<const lang::String*>(value)) {
    const std::string& hex = text->value();
    if (hex.size() % 2 != 0) ErrorRaiser::raise(DriverException::ERR_CONVERSION, value);
    auto bytes = lang::ByteArray::make(static_cast<int64_t>(hex.size() / 2));
    for (size_t i = 0; i < hex.size(); i += 2) {
      const int hi = hexDigit(hex[i]);
      const int lo = hexDigit(hex[i + 1]);
      if (hi < 0 || lo < 0) ErrorRaiser::raise(DriverException::ERR_CONVERSION, value);
      (*bytes)[static_cast<int32_t>(i / 2)] = static_cast<int8_t>(hi * 16 + lo);
    }
    return lang::makeRef<RawValue>(std::move(bytes));
  }
  ErrorRaiser::raise(DriverException::ERR_CONVERSION, value);
}

}  // namespace kelvor::jdbc
