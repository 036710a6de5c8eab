#include "driver/ErrorRaiser.h"

#include "driver/DriverException.h"

namespace kelvor::jdbc {

void ErrorRaiser::raise(int32_t code) { raise(code, DriverException::messageFor(code), nullptr); }

void ErrorRaiser::raise(int32_t code, const lang::Object* offendingValue) {
  raise(code, DriverException::messageFor(code), offendingValue);
}

void ErrorRaiser::raise(int32_t code, const char* message) { raise(code, message, nullptr); }

void ErrorRaiser::raise(int32_t code, const char* message, const lang::Object* offendingValue) {
  // The exception shares the value with its owner; a value that nothing owns (one on the
  // caller's stack) cannot outlive the raise and is left out.
  throw DriverException(code, message, lang::Ref<const lang::Object>::ifOwned(offendingValue));
}

void ErrorRaiser::raiseWithBytes(int32_t code, const char* message, const int8_t* bytes,
                                 int32_t length, const lang::ByteArray* array) {
  lang::Ref<const lang::Object> value;
  if (array != nullptr) {
    value = lang::Ref<const lang::Object>::ifOwned(array);
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
