// Serialisable classes. A class that can travel through the object serial streams derives
// from Serializable (beside Object) and describes itself with one static SerialClass: its
// stable name, its nearest serialisable base, a factory for reading, and two hooks that write
// and read only the class's own fields. The streams run the hooks of every level, base class
// first, so each class stays ignorant of its bases' fields.
#pragma once

#include <string_view>

#include "lang/Object.h"
#include "lang/Ref.h"

namespace kelvor::lang {

class ObjectInputStream;
class ObjectOutputStream;

struct SerialClass {
  const char* name;        // written to the stream; unique among registered classes
  const SerialClass* base;  // nearest serialisable base class, or null
  // A fresh instance to read into; null for a class that cannot be instantiated (abstract).
  Ref<Object> (*create)();
  // The class's own fields; either hook may be null for a level without fields.
  void (*writeHook)(const Object& self, ObjectOutputStream& out);
  void (*readHook)(Object& self, ObjectInputStream& in);
};

class Serializable {
 public:
  // The SerialClass of the most derived class.
  virtual const SerialClass& serialClass() const noexcept = 0;

 protected:
  ~Serializable() = default;
};

// The registry by which a reader finds a class from its stream name. Registration is
// idempotent for the same SerialClass; a second class under a taken name is refused with
// IllegalArgumentException. Thread-safe.
void registerSerialClass(const SerialClass& cls);
const SerialClass* findSerialClass(std::string_view name);

// Registers a class when its translation unit is loaded:
//   static const SerialRegistrar registrar(KelvorType::SERIAL_CLASS);
struct SerialRegistrar {
  explicit SerialRegistrar(const SerialClass& cls) { registerSerialClass(cls); }
};

}  // namespace kelvor::lang
