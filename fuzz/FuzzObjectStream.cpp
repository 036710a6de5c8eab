// Fuzz target: reads arbitrary bytes as an object serial stream, descriptors included.
#include <cstddef>
#include <cstdint>

#include "lang/Array.h"
#include "lang/ByteArrayInputStream.h"
#include "lang/ObjectInputStream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  auto bytes = kelvor::lang::ByteArray::copyOf(reinterpret_cast<const int8_t*>(data),
                                                static_cast<int32_t>(size));
  kelvor::lang::ByteArrayInputStream source(bytes);
  try {
    kelvor::lang::ObjectInputStream in(source);
    for (int i = 0; i < 64; ++i) (void)in.readObject();
  } catch (const kelvor::lang::Throwable&) {
  }
  return 0;
}
