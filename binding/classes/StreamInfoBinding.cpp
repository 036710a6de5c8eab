// Binding of StreamInfo: its methods in method-table order.
#include "adt/StreamInfo.h"
#include "adt/TDSPatch.h"
#include "types/KelvorType.h"

#include "adt/StreamInfo.h"
#include "adt/TDSPatch.h"
#include "types/KelvorType.h"
#include "binding/TableSupport.h"
#include "image/PickleContext.h"
#include "image/UnpickleContext.h"

namespace {
using namespace kelvor::binding::table;  // NOLINT(google-build-using-namespace)
template <int I>
struct Method;

KELCORE_METHOD(0, "StreamInfo(byte[],long)", Ctor, "RRPP", 'V', NONE,
               [](Ref<ByteArray> bytes, int64_t offset) { return makeRef<StreamInfo>(std::move(bytes), offset); })
KELCORE_METHOD(1, "getOffset()", Instance, "R", 'J', 5,
               [](StreamInfo& self) { return self.getOffset(); })
KELCORE_METHOD(2, "addPatch(long,byte,KelvorType)", Instance, "RPPPR", 'V', 6,
               [](StreamInfo& self, int64_t position, int8_t typeByte, Ref<KelvorType> owner) {
                 self.addPatch(position, typeByte, std::move(owner));
               })
KELCORE_METHOD(3, "addPatch(TDSPatch)", Instance, "RR", 'V', 7,
               [](StreamInfo& self, Ref<TDSPatch> patch) { self.addPatch(std::move(patch)); })
KELCORE_METHOD(4, "addPatch(long,KelvorType)", Instance, "RPPR", 'V', 8,
               [](StreamInfo& self, int64_t position, Ref<KelvorType> owner) {
                 self.addPatch(position, std::move(owner));
               })
KELCORE_METHOD(5, "expectByte(byte)", Instance, "RP", 'V', 9,
               [](StreamInfo& self, int8_t expected) { self.expectByte(expected); })
KELCORE_METHOD(6, "nextPatch()", Instance, "R", 'L', 10,
               [](StreamInfo& self) { return self.nextPatch(); })
KELCORE_METHOD(7, "seekToPatch(TDSPatch)", Instance, "RR", 'J', 11,
               [](StreamInfo& self, TDSPatch& patch) { return self.seekToPatch(patch); })
KELCORE_METHOD(8, "getRelativeOffset()", Instance, "R", 'J', 12,
               [](StreamInfo& self) { return self.getRelativeOffset(); })
KELCORE_METHOD(9, "readByte()", Instance, "R", 'I', 13,
               [](StreamInfo& self) { return self.readByte(); })
KELCORE_METHOD(10, "readUB4()", Instance, "R", 'J', 14,
               [](StreamInfo& self) { return self.readUB4(); })
KELCORE_METHOD(11, "readSB2()", Instance, "R", 'I', 15,
               [](StreamInfo& self) { return self.readSB2(); })
KELCORE_METHOD(12, "readUB1()", Instance, "R", 'I', 16,
               [](StreamInfo& self) { return self.readUB1(); })
KELCORE_METHOD(13, "skipBytes(int)", Instance, "RP", 'V', 17,
               [](StreamInfo& self, int32_t n) { self.skipBytes(n); })
KELCORE_METHOD(14, "setRelativeOffset(long)", Instance, "RPP", 'V', 18,
               [](StreamInfo& self, int64_t rel) { self.setRelativeOffset(rel); })
KELCORE_METHOD(15, "getBytes()", Instance, "R", 'L', 19,
               [](StreamInfo& self) { return self.getBytes(); })
}  // namespace

KELCORE_BIND_CLASS(StreamInfo, 16, 74, "f34c67e55d1d65131d54e83ef0019b2f")
