// The serial class of a scalar descriptor that adds no fields to KelvorType's (DATE, FLOAT,
// SINT32 and the three locator descriptors). It still has a class of its own, so that a
// descriptor is restored as itself: KelvorType as its base, a factory of T, and two hooks that
// write and read nothing, only a trace line under T's serial name when KelvorType's serial
// switch is on. A descriptor defines and registers it like this:
//
//   constinit const lang::SerialClass KelvorTypeDATE::SERIAL_CLASS =
//       fieldlessSerialClass<KelvorTypeDATE>("KelvorTypeDATE");
//   const lang::SerialRegistrar registrar(KelvorTypeDATE::SERIAL_CLASS);
//
// The result is a constant: the class is complete before any registrar runs, whatever the
// order in which translation units are initialised.
#pragma once

#include "driver/Trace.h"
#include "lang/Ref.h"
#include "lang/Serializable.h"
#include "types/KelvorType.h"

namespace kelvor::jdbc::kelcore {
namespace fieldless {

template <typename T>
Ref<lang::Object> create() {
  return lang::makeRef<T>();
}

template <typename T>
void writeHook(const lang::Object& self, lang::ObjectOutputStream& /*out*/) {
  static_cast<void>(dynamic_cast<const T&>(self));  // T's level: the object is a T
  if (Trace::on(KelvorType::SERIAL_TRACE)) Trace::line(T::SERIAL_CLASS.name, "writeSerialForm");
}

template <typename T>
void readHook(lang::Object& self, lang::ObjectInputStream& /*in*/) {
  static_cast<void>(dynamic_cast<T&>(self));  // T's level: the object is a T
  if (Trace::on(KelvorType::SERIAL_TRACE)) Trace::line(T::SERIAL_CLASS.name, "readSerialForm");
}

}  // namespace fieldless

// `name` is the class's stream name, its class name by convention.
template <typename T>
constexpr lang::SerialClass fieldlessSerialClass(const char* name) {
  return {name, &KelvorType::SERIAL_CLASS, &fieldless::create<T>, &fieldless::writeHook<T>,
          &fieldless::readHook<T>};
}

}  // namespace kelvor::jdbc::kelcore
