// Fuzz target: walks arbitrary bytes as a pickled image with every reader operation and the
// bulk readers of packed numbers, choosing the next operation from the input itself. Any exception of the platform or the driver is a
// clean failure; a crash, a sanitizer report or a hang is a bug.
#include <cstddef>
#include <cstdint>

#include "driver/DriverException.h"
#include "image/PickleContext.h"
#include "lang/Array.h"
#include "scalar/KelvorTypeNUMBER.h"

using kelvor::jdbc::kelcore::KelvorTypeNUMBER;
using kelvor::jdbc::kelcore::PickleContext;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0 || size > (1u << 20)) return 0;
  auto image = kelvor::lang::ByteArray::copyOf(reinterpret_cast<const int8_t*>(data),
                                                static_cast<int32_t>(size));
  PickleContext ctx(image, 0);
  try {
    for (int step = 0; step < 4096; ++step) {
      const int8_t op = ctx.readByte();
      switch (static_cast<uint8_t>(op) % 13) {
        case 0: (void)ctx.readLength(); break;
        case 1: (void)ctx.readLength(true); break;
        case 2: (void)ctx.readDataValue(); break;
        case 3: (void)ctx.readDataValue(ctx.readByte()); break;
        case 4: (void)ctx.readShortDataValue(); ctx.skipBytes(1); break;
        case 5: ctx.skipDataValue(); break;
        case 6: ctx.skipDataValue(ctx.readByte()); break;
        case 7: (void)ctx.readLengthAndBytes(); break;
        case 8: ctx.skipLength(); break;
        case 9: (void)ctx.readRestOfLength(ctx.readByte()); break;
        case 10: (void)ctx.checkVersion(); break;
        case 11: {  // up to 255 numbers into one of the five primitive arrays
          const auto count = static_cast<uint8_t>(ctx.readByte());
          const int32_t access = KelvorTypeNUMBER::ACCESS_INT_ARRAY + (op & 0x7F) % 5;
          (void)KelvorTypeNUMBER::unpickleNumberArray(ctx, 1, count, access);
          break;
        }
        default: ctx.skipTo(ctx.imageOffset() + (op & 0x0F)); break;
      }
    }
  } catch (const kelvor::lang::Throwable&) {
  }
  return 0;
}
