// Fuzz target: reads arbitrary bytes as an object serial stream, descriptors included. Every
// type descriptor read is then given a connection (an empty catalog) and asked for its
// attribute count and name, which walk the tree it was read with.
#include <cstddef>
#include <cstdint>

#include "adt/KelvorTypeADT.h"
#include "driver/MemoryConnection.h"
#include "lang/Array.h"
#include "lang/ByteArrayInputStream.h"
#include "lang/Exceptions.h"
#include "lang/ObjectInputStream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const auto conn = kelvor::lang::makeRef<kelvor::jdbc::MemoryConnection>();
  if (size > (1u << 20)) return 0;
  auto bytes = kelvor::lang::ByteArray::copyOf(reinterpret_cast<const int8_t*>(data),
                                                static_cast<int32_t>(size));
  kelvor::lang::ByteArrayInputStream source(bytes);
  try {
    // Descriptors are read back acyclic, as the driver reads them: a stream whose back-reference
    // closes a cycle is corrupt. (A general stream may hold cycles; with reference counts for
    // ownership, such a graph outlives its last holder.)
    kelvor::lang::ObjectInputStream in(source, true);
    for (int i = 0; i < 64; ++i) {
      kelvor::lang::Ref<kelvor::lang::Object> object = in.readObject();
      auto* type = dynamic_cast<kelvor::jdbc::kelcore::KelvorTypeADT*>(object.get());
      if (type == nullptr) continue;
      try {
        type->setConnection(conn.get());
        (void)type->getNumAttributes();
        (void)type->getSqlName(false);
      } catch (const kelvor::lang::Throwable&) {
      }
    }
  } catch (const kelvor::lang::Throwable&) {
  }
  return 0;
}
