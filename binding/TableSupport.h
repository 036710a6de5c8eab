// What every class table (binding/classes/*Binding.cpp) uses: the names its callees speak of
// and the serial hooks. A table file does `using namespace kelvor::binding::table;`.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "binding/ClassBinding.h"
#include "driver/ArrayDescriptor.h"
#include "driver/ArrayValue.h"
#include "driver/CharValue.h"
#include "driver/Connection.h"
#include "driver/NumberValue.h"
#include "driver/ObjectDescriptor.h"
#include "driver/ObjectValue.h"
#include "driver/SqlValue.h"
#include "driver/TypeMap.h"
#include "lang/Array.h"
#include "lang/InputStream.h"
#include "lang/ObjectInputStream.h"
#include "lang/ObjectOutputStream.h"
#include "lang/Ref.h"
#include "lang/String.h"

namespace kelvor::binding::table {

using namespace kelvor::jdbc::kelcore;  // NOLINT(google-build-using-namespace)
using binding::NONE;
using jdbc::ArrayValue;
using jdbc::Connection;
using jdbc::SqlValue;
using jdbc::TypeMap;
using lang::BooleanArray;
using lang::ByteArray;
using lang::InputStream;
using lang::IntArray;
using lang::LongArray;
using lang::Object;
using lang::ObjectArray;
using lang::ObjectInputStream;
using lang::ObjectOutputStream;
using lang::Ref;
using lang::makeRef;

// The private serial hooks: a class's own fields, through its registered serial class.
template <typename C>
void readSerialForm(C& self, ObjectInputStream& in) {
  if (C::SERIAL_CLASS.readHook != nullptr) C::SERIAL_CLASS.readHook(self, in);
}
template <typename C>
void writeSerialForm(C& self, ObjectOutputStream& out) {
  if (C::SERIAL_CLASS.writeHook != nullptr) C::SERIAL_CLASS.writeHook(self, out);
}

// A constructor of an abstract class builds nothing of its own: a host object is constructed
// by its concrete class, whose C++ constructor also builds the base parts.
template <typename C>
[[noreturn]] Ref<C> abstractClass() {
  throw lang::IllegalArgumentException(std::string("cannot instantiate the abstract class ") +
                                       typeid(C).name());
}

}  // namespace kelvor::binding::table
