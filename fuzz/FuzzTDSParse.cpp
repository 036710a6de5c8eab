// Fuzz target: parses arbitrary bytes as the type descriptor segment of an object type or of a
// collection type (by the first byte), its fix-up pass included: collection elements, UPTs and
// their out-of-line descriptions. A parsed object type is then marked embedded, which resets
// what its parse computed.
#include <cstddef>
#include <cstdint>

#include "adt/KelvorTypeADT.h"
#include "collection/KelvorTypeCOLLECTION.h"
#include "lang/Array.h"
#include "lang/Exceptions.h"

using kelvor::jdbc::kelcore::KelvorTypeADT;
using kelvor::jdbc::kelcore::KelvorTypeCOLLECTION;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > (1u << 20)) return 0;
  auto tds = kelvor::lang::ByteArray::copyOf(reinterpret_cast<const int8_t*>(data + 1),
                                              static_cast<int32_t>(size - 1));
  try {
    if ((data[0] & 1) != 0) {
      auto type = kelvor::lang::makeRef<KelvorTypeCOLLECTION>("FUZZ.C", nullptr);
      type->parseTDS(tds, 0);
    } else {
      auto type = kelvor::lang::makeRef<KelvorTypeADT>("FUZZ.T");
      type->parseTDS(tds, 0);
      type->setEmbeddedState(KelvorTypeADT::EMBEDDED_TYPE);
    }
  } catch (const kelvor::lang::Throwable&) {
  }
  return 0;
}
