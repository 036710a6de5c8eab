// Binding of UnpickleContext: its methods in method-table order.
#include "image/UnpickleContext.h"

#include "adt/StreamInfo.h"
#include "binding/TableSupport.h"
#include "image/PickleContext.h"
#include "image/UnpickleContext.h"

namespace {
using namespace kelvor::binding::table;  // NOLINT(google-build-using-namespace)
template <int I>
struct Method;

KELCORE_METHOD(0, "UnpickleContext()", Ctor, "R", 'V', NONE,
               [] { return makeRef<UnpickleContext>(); })
KELCORE_METHOD(1, "UnpickleContext(byte[],int,byte[],long[],byte)", Ctor, "RRPRRP", 'V', NONE,
               [](Ref<ByteArray> image, int32_t offset, Ref<ByteArray> nullIndicators, Ref<LongArray> offsets,
                  int8_t descriptorFlag) {
                 return makeRef<UnpickleContext>(std::move(image), offset, std::move(nullIndicators),
                                                 std::move(offsets), descriptorFlag);
               })
KELCORE_METHOD(2, "offset()", Instance, "R", 'I', 5,
               [](UnpickleContext& self) { return self.offset(); })
KELCORE_METHOD(3, "image()", Instance, "R", 'L', 6,
               [](UnpickleContext& self) { return self.image(); })
KELCORE_METHOD(4, "isNull(int)", Instance, "RP", 'I', 7,
               [](UnpickleContext& self, int32_t a0) { return self.isNull(a0); })
KELCORE_METHOD(5, "mark()", Instance, "R", 'I', 8,
               [](UnpickleContext& self) { return self.mark(); })
KELCORE_METHOD(6, "restoreMark()", Instance, "R", 'I', 9,
               [](UnpickleContext& self) { return self.restoreMark(); })
KELCORE_METHOD(7, "followOffset()", Instance, "R", 'I', 10,
               [](UnpickleContext& self) { return self.followOffset(); })
KELCORE_METHOD(8, "jumpTo(long)", Instance, "RPP", 'V', 11,
               [](UnpickleContext& self, int64_t a0) { return self.jumpTo(a0); })
KELCORE_METHOD(9, "relativeOffset()", Instance, "R", 'I', 12,
               [](UnpickleContext& self) { return self.relativeOffset(); })
KELCORE_METHOD(10, "skipToRelative(int)", Instance, "RP", 'V', 13,
               [](UnpickleContext& self, int32_t a0) { return self.skipToRelative(a0); })
KELCORE_METHOD(11, "skipToRelative(long)", Instance, "RPP", 'V', 14,
               [](UnpickleContext& self, int64_t a0) { return self.skipToRelative(a0); })
KELCORE_METHOD(12, "readByte()", Instance, "R", 'I', 15,
               [](UnpickleContext& self) { return self.readByte(); })
KELCORE_METHOD(13, "readBytes(int)", Instance, "RP", 'L', 16,
               [](UnpickleContext& self, int32_t a0) { return self.readBytes(a0); })
KELCORE_METHOD(14, "readUB4()", Instance, "R", 'J', 17,
               [](UnpickleContext& self) { return self.readUB4(); })
KELCORE_METHOD(15, "readSB2()", Instance, "R", 'I', 18,
               [](UnpickleContext& self) { return self.readSB2(); })
KELCORE_METHOD(16, "readUB4Bytes()", Instance, "R", 'L', 19,
               [](UnpickleContext& self) { return self.readUB4Bytes(); })
KELCORE_METHOD(17, "readUB2Bytes()", Instance, "R", 'L', 20,
               [](UnpickleContext& self) { return self.readUB2Bytes(); })
KELCORE_METHOD(18, "readNumberSlot()", Instance, "R", 'L', 21,
               [](UnpickleContext& self) { return self.readNumberSlot(); })
KELCORE_METHOD(19, "skipBytes(int)", Instance, "RP", 'V', 22,
               [](UnpickleContext& self, int32_t a0) { return self.skipBytes(a0); })
KELCORE_METHOD(20, "skipUB4Bytes()", Instance, "R", 'V', 23,
               [](UnpickleContext& self) { return self.skipUB4Bytes(); })
KELCORE_METHOD(21, "skipUB2Bytes()", Instance, "R", 'V', 24,
               [](UnpickleContext& self) { return self.skipUB2Bytes(); })
}  // namespace

KELCORE_BIND_CLASS(UnpickleContext, 22, 58, "6f8f7942b97d9dae90121527d9be993f")
