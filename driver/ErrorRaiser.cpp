#include "driver/ErrorRaiser.h"

#include "driver/DriverException.h"

namespace kelvor::jdbc {

void ErrorRaiser::raise(int32_t code) { raise(code, DriverException::messageFor(code), nullptr); }

void ErrorRaiser::raise(int32_t code, const lang::Object* offendingValue) {
  raise(code, DriverException::messageFor(code), offendingValue);
}

void ErrorRaiser::raise(int32_t code, const char* message) { raise(code, message, nullptr); }

void ErrorRaiser::raise(int32_t code, const char* message, const lang::Object* offendingValue) {
  throw DriverException(code, message,
                        lang::Ref<lang::Object>(const_cast<lang::Object*>(offendingValue)));
}

void ErrorRaiser::raiseWithBytes(int32_t code, const char* message, const int8_t* bytes,
                                 int32_t length, const lang::ByteArray* array) {
  lang::Ref<lang::Object> value;
  if (array != nullptr) {
    value = lang::Ref<lang::Object>(const_cast<lang::ByteArray*>(array));
  } else if (bytes != nullptr && length >= 0) {
    value = lang::ByteArray::copyOf(bytes, length);
  }
  raise(code, message, value.get());
}

void ErrorRaiser::raiseIOFailure(const lang::IOException& failure) {
  throw DriverException(DriverException::ERR_IO, failure.what(), nullptr);
}

void ErrorRaiser::raiseStackOverflow() { raise(DriverException::ERR_STACK_OVERFLOW); }

}  // namespace kelvor::jdbc
