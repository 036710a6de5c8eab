// Fuzz target: parses arbitrary bytes as the type descriptor segment of an object type.
#include <cstddef>
#include <cstdint>

#include "adt/KelvorTypeADT.h"
#include "lang/Array.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  auto tds = kelvor::lang::ByteArray::copyOf(reinterpret_cast<const int8_t*>(data),
                                              static_cast<int32_t>(size));
  auto type = kelvor::lang::makeRef<kelvor::jdbc::kelcore::KelvorTypeADT>("FUZZ.T");
  try {
    type->parseTDS(tds, 0);
    type->setEmbeddedState(kelvor::jdbc::kelcore::KelvorTypeADT::EMBEDDED_TYPE);
  } catch (const kelvor::lang::Throwable&) {
  }
  return 0;
}
